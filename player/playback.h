// The player's control: banner, start-up, the render's head start, one buffer
// handed to the device, and the 128 ms poll that watches for an overtaking
// device, the end of the track and Esc.
//
// The control knows the machine only through the small ports below. The
// program backs them with SDL2, the terminal and real sleeps; the tests back
// them with a simulated clock that moves the render and the device along, so a
// whole track of control decisions takes milliseconds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/frame/engine.h"

namespace player {

// The render's head start: the player waits this long, and the render must
// have produced this much audio by then.
constexpr uint32_t HEAD_START_S = 5;
constexpr uint32_t HEAD_START_MS = HEAD_START_S * 1000;
constexpr uint32_t HEAD_START_FRAMES = HEAD_START_S * SAMPLE_RATE;
constexpr uint32_t POLL_MS = 128;

// "Starting render (playback will start in 5 seconds)...", the number being
// HEAD_START_S.
struct StartRenderText {
    char chars[64] = {};
    size_t size = 0;
    constexpr void append(std::string_view text) {
        for (char c : text) chars[size++] = c;
    }
    constexpr StartRenderText() {
        append("Starting render (playback will start in ");
        char digits[10] = {};
        int n = 0;
        for (uint32_t v = HEAD_START_S; v > 0 || n == 0; v /= 10) digits[n++] = char('0' + v % 10);
        while (n > 0) chars[size++] = digits[--n];
        append(" seconds)...\n");
    }
};
inline constexpr StartRenderText START_RENDER_CHARS{};

// Every text the player writes, each in one write.
extern const std::string_view BANNER;
inline constexpr std::string_view START_RENDER_TEXT{START_RENDER_CHARS.chars,
                                                    START_RENDER_CHARS.size};
inline constexpr std::string_view TOO_SLOW_TEXT =
    "Looks like this system is too slow to render [lumenfrost] in real-time. This player will "
    "start playback once rendering finishes. Or you can use the .wav renderer to play it back "
    "whenever you want.\n";
inline constexpr std::string_view START_PLAYBACK_TEXT = "Starting playback.\n";
inline constexpr std::string_view UNDERRUN_TEXT =
    "aw heck, we didn't render fast enough! we're just going to wait here till we finish "
    "rendering the track. Replay will restart after that.\n";

class Console {
  public:
    virtual void write(std::string_view text) = 0;        // standard output
    virtual void write_error(std::string_view text) = 0;  // standard error
  protected:
    ~Console() = default;
};

class Clock {
  public:
    virtual void sleep_ms(uint32_t ms) = 0;

  protected:
    ~Clock() = default;
};

class EscKey {
  public:
    // True when Esc was pressed since the last call.
    virtual bool pressed() = 0;

  protected:
    ~EscKey() = default;
};

// One output device that plays one buffer from its first frame to its last.
class AudioDevice {
  public:
    // Opens the default device for 44100 Hz stereo float, to read `frames` in
    // order once started; until then it is paused. False when no device could
    // be opened; error() says why.
    virtual bool open(const StereoFrame* frames, uint32_t count) = 0;
    // Starts reading from the first frame.
    virtual void play() = 0;
    virtual const char* error() const = 0;
    // Stops reading; restart() goes on from the same frame.
    virtual void pause() = 0;
    virtual void restart() = 0;
    // Frames consumed so far, at most the buffer's count.
    virtual uint32_t position() = 0;

  protected:
    ~AudioDevice() = default;
};

// The engine side: start-up on this thread, then the render thread.
class Render {
  public:
    virtual void startup() = 0;
    virtual void start_thread() = 0;

  protected:
    ~Render() = default;
};

struct Ports {
    Console& console;
    Clock& clock;
    AudioDevice& device;
    EscKey& key;
    Render& render;
};

// Polls every 128 ms until `rendered` reaches TRACK_FRAMES; returns at once if
// it already has.
void wait_until_rendered(const std::atomic<uint32_t>& rendered, Clock& clock);

// The whole life of the player, from the banner to the end of playback or Esc.
// `rendered` is the render thread's count of finished frames. Returns the
// process's exit status: 0, or 1 when no audio device could be opened.
int run_player(const Ports& ports, const std::atomic<uint32_t>& rendered);

}  // namespace player
