// Mono 32-bit float WAV files at 44100 Hz, and safe file replacement.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace drums {

struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Source recordings and packed samples are regular files of bounded size.
constexpr uint64_t MAX_WAV_BYTES = 64 * 1024 * 1024;
constexpr uint64_t MAX_PACKED_BYTES = 1024 * 1024;

// Refuses an output path that is not a regular file or is one of `inputs`.
void check_output(const std::string& path, const std::vector<std::string>& inputs);
// Writes the bytes to a temporary file beside `path`, then renames it over
// `path`: a failed write never leaves a half-written or emptied file behind.
void write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes);
// A regular file of at most `limit` bytes.
std::vector<uint8_t> read_file(const std::string& path, uint64_t limit = MAX_PACKED_BYTES);

std::vector<uint8_t> wav_bytes(const std::vector<float>& mono);
void write_wav(const std::string& path, const std::vector<float>& mono);
// Reads a file written by write_wav (mono, float, 44100 Hz, at least one
// frame, every sample finite); anything else fails.
std::vector<float> read_wav(const std::string& path);

}  // namespace drums
