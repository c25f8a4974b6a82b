// The output device through SDL2: PipeWire, PulseAudio or ALSA on a desktop,
// and SDL's disk and dummy drivers where there is no sound card.
//
// SDL asks for audio through a callback on its own thread. The callback reads
// the track buffer from the position onward, frame by frame, and advances the
// position itself; a paused device is not called, so the position holds. A
// frame the render has not finished yet plays as silence, as the zeroed buffer
// would, without reading memory the render thread is still writing.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>

#include "player/playback.h"

namespace player {

// Frames SDL asks for per callback: 23 ms, short enough that the position
// follows what is heard closely.
constexpr Uint16 DEVICE_BUFFER_FRAMES = 1024;

// Fills `out` (interleaved left, right) with `out_frames` frames of `track`
// from `position` on: frames below `rendered` as they are, unrendered ones and
// those past `count` as silence. Returns the new position, at most `count`.
uint32_t copy_track_frames(const StereoFrame* track, uint32_t count, uint32_t rendered,
                           uint32_t position, float* out, uint32_t out_frames);

// Keeps the sound library's own console lines (ALSA's complaints about a
// missing card) off the terminal; SDL's reason still reaches our one line.
void quiet_sound_library();

class SdlAudioDevice final : public AudioDevice {
  public:
    explicit SdlAudioDevice(const std::atomic<uint32_t>& rendered) : rendered_(rendered) {}
    ~SdlAudioDevice() { close(); }
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    bool open(const StereoFrame* frames, uint32_t count) override;
    void play() override;
    const char* error() const override { return error_; }
    void pause() override;
    void restart() override;
    uint32_t position() override { return position_.load(std::memory_order_acquire); }
    // Stops the device and lets the driver finish (the disk driver closes its file).
    void close();

  private:
    static void SDLCALL fill(void* self, Uint8* stream, int bytes);

    const std::atomic<uint32_t>& rendered_;
    const StereoFrame* frames_ = nullptr;
    uint32_t count_ = 0;
    std::atomic<uint32_t> position_{0};
    SDL_AudioDeviceID device_ = 0;
    char error_[256] = "";
};

}  // namespace player
