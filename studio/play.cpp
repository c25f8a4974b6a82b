// play: the device opens first (no sound card: one line, exit 1, no render),
// then the engine renders from the first frame at full speed on the player's
// render thread, and playback starts from POS once the render is two seconds
// past it.
#include <poll.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "player/render_thread.h"
#include "player/sdl_audio.h"
#include "player/terminal.h"
#include "studio/commands.h"
#include "studio/track_render.h"

namespace studio {

namespace {

constexpr uint32_t AHEAD_FRAMES = 2 * SAMPLE_RATE;

// The track from `from` on, through SDL, starting paused.
class TrackDevice {
  public:
    bool open(uint32_t from, std::string& error) {
        from_ = from;
        player::quiet_sound_library();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return false;
        }
        SDL_AudioSpec wanted{};
        wanted.freq = static_cast<int>(SAMPLE_RATE);
        wanted.format = AUDIO_F32SYS;
        wanted.channels = 2;
        wanted.samples = player::DEVICE_BUFFER_FRAMES;
        wanted.callback = &TrackDevice::fill;
        wanted.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device_ == 0) {
            error = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        return true;
    }
    void set_paused(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }
    // Frames played, counted from `from`.
    uint32_t position() const { return position_.load(std::memory_order_acquire); }
    uint32_t count() const { return TRACK_FRAMES - from_; }
    void close() {
        if (device_ == 0) return;
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

  private:
    static void SDLCALL fill(void* self, Uint8* stream, int bytes) {
        auto& d = *static_cast<TrackDevice*>(self);
        uint32_t rendered = player::RenderProgress.load(std::memory_order_acquire);
        rendered = rendered > d.from_ ? rendered - d.from_ : 0;
        uint32_t position = player::copy_track_frames(
            TrackBuffer + d.from_, d.count(), rendered, d.position_.load(std::memory_order_relaxed),
            reinterpret_cast<float*>(stream), static_cast<uint32_t>(bytes) / sizeof(StereoFrame));
        d.position_.store(position, std::memory_order_release);
    }

    uint32_t from_ = 0;
    std::atomic<uint32_t> position_{0};
    SDL_AudioDeviceID device_ = 0;
};

enum class Key { none, pause, stop };

// Space and Esc (or q) from a terminal taken by player::TerminalKey.
Key read_key(bool terminal) {
    if (!terminal) return Key::none;
    Key key = Key::none;
    for (;;) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 0) != 1) break;
        unsigned char bytes[64];
        ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
        if (n <= 0) break;
        if (player::holds_esc_key(bytes, n)) return Key::stop;
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == 'q') return Key::stop;
            if (bytes[i] == ' ') key = key == Key::pause ? Key::none : Key::pause;
        }
    }
    return key;
}

void status_line(uint32_t frame, const char* state) {
    const Section* section = section_at(frame, score_sections());
    std::string bar_beat = bar_beat_text(frame - frame % BEAT_FRAMES);
    std::printf("\r%s / %s  %-7s %-12s %-8s space pause, Esc stop \x1b[K",
                clock_text(frame).c_str(), clock_text(TRACK_FRAMES).c_str(), bar_beat.c_str(),
                section ? section->name : "", state);
    std::fflush(stdout);
}

}  // namespace

int run_play(uint32_t from) {
    static TrackDevice device;
    std::string error;
    if (!device.open(from, error)) {
        print_error("no audio device could be opened (" + error +
                    "); 'lumenfrost render' writes the track to a file instead");
        return 1;
    }
    player::install_exit_signals();
    static player::TerminalKey terminal_key;
    terminal_key.take_terminal();
    const bool keys = isatty(STDIN_FILENO) == 1 && tcgetpgrp(STDIN_FILENO) == getpgrp();
    const bool status = isatty(STDOUT_FILENO) == 1;

    start_engine();
    player::start_render_thread();
    const uint32_t ahead = from + AHEAD_FRAMES < TRACK_FRAMES ? from + AHEAD_FRAMES : TRACK_FRAMES;
    bool stopped = false;
    while (player::RenderProgress.load(std::memory_order_acquire) < ahead) {
        if (read_key(keys) == Key::stop) {
            stopped = true;
            break;
        }
        if (status) status_line(from, "render");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    bool paused = false;
    if (!stopped) device.set_paused(false);
    while (!stopped) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Key key = read_key(keys);
        if (key == Key::stop) break;
        if (key == Key::pause) {
            paused = !paused;
            device.set_paused(paused);
        }
        uint32_t played = device.position();
        if (status) status_line(from + played, paused ? "paused" : "playing");
        if (played >= device.count()) break;
    }
    if (status) std::printf("\n");
    std::fflush(stdout);
    device.close();
    player::restore_terminal();
    // The render thread may still be running: end without destructors under its feet.
    std::_Exit(0);
}

}  // namespace studio
