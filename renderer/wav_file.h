// The renderer's WAV file: 32-bit float stereo, a 58-byte header
// ("RIFF", an 18-byte "fmt " chunk, "fact", "data") and the frames as they stand.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/frame/engine.h"

constexpr uint32_t SAVED_FRAMES = 5828550;  // 6 s fewer than the track
constexpr uint32_t WAV_HEADER_BYTES = 58;
inline constexpr const char* WAV_FILE_NAME = "[lumenfrost_32k].exe.wav";

// The header for `frames` stereo float frames at 44100 Hz.
std::array<uint8_t, WAV_HEADER_BYTES> wav_header(uint32_t frames);

// Writes header and frames to `path`. The bytes go to a temporary file in the
// same directory, which replaces `path` only once every byte is written and
// closed, so a failed save never destroys an earlier good file. Throws
// std::runtime_error with the system's description of the error on failure.
void save_wav(const std::string& path, const StereoFrame* frames, uint32_t count);
