#include "player/sdl_audio.h"

#include <alsa/asoundlib.h>

#include <cstdio>

namespace player {

namespace {

extern "C" void ignore_alsa_message(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void quiet_sound_library() {
    snd_lib_error_set_handler(&ignore_alsa_message);
}

uint32_t copy_track_frames(const StereoFrame* track, uint32_t count, uint32_t rendered,
                           uint32_t position, float* out, uint32_t out_frames) {
    for (uint32_t i = 0; i < out_frames; ++i) {
        StereoFrame frame{0.0f, 0.0f};
        if (position < count) {
            if (position < rendered) frame = track[position];
            ++position;
        }
        out[2 * i] = frame.left;
        out[2 * i + 1] = frame.right;
    }
    return position;
}

void SDLCALL SdlAudioDevice::fill(void* self, Uint8* stream, int bytes) {
    auto& device = *static_cast<SdlAudioDevice*>(self);
    uint32_t rendered = device.rendered_.load(std::memory_order_acquire);
    uint32_t position = device.position_.load(std::memory_order_relaxed);
    position = copy_track_frames(device.frames_, device.count_, rendered, position,
                                 reinterpret_cast<float*>(stream),
                                 static_cast<uint32_t>(bytes) / sizeof(StereoFrame));
    device.position_.store(position, std::memory_order_release);
}

bool SdlAudioDevice::open(const StereoFrame* frames, uint32_t count) {
    frames_ = frames;
    count_ = count;
    position_.store(0, std::memory_order_relaxed);
    // The player handles SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    quiet_sound_library();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::snprintf(error_, sizeof error_, "%s", SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(SAMPLE_RATE);
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = &SdlAudioDevice::fill;
    wanted.userdata = this;
    // No changes allowed: SDL converts if the hardware wants another format,
    // so the callback always sees 44100 Hz stereo float.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device_ == 0) {
        std::snprintf(error_, sizeof error_, "%s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;  // opened paused
}

void SdlAudioDevice::play() {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioDevice::pause() {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
}

void SdlAudioDevice::restart() {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioDevice::close() {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace player
