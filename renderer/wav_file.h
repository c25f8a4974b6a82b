// The renderer's WAV file: the first SAVED_FRAMES frames of the track as 32-bit
// float stereo, in the 58-byte-header layout of the shared float WAV writer.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/engine.h"

constexpr uint32_t SAVED_FRAMES = 5828550;  // 6 s fewer than the track
inline constexpr const char* WAV_FILE_NAME = "[lumenfrost_32k].exe.wav";

// Writes header and frames to `path`. The bytes go to a temporary file in the
// same directory, which replaces `path` only once every byte is written and
// closed, so a failed save never destroys an earlier good file. Throws
// std::runtime_error with the system's description of the error on failure.
void save_wav(const std::string& path, const StereoFrame* frames, uint32_t count);
