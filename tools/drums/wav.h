// Mono 32-bit float WAV files at 44100 Hz, and the shared file helpers with
// their failures thrown.
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

// A mono recording through the shared float WAV writer.
void write_wav(const std::string& path, const std::vector<float>& mono);
// Reads a mono 32-bit float 44100 Hz WAV file with at least one frame, every
// sample finite, as write_wav makes them (the 16-byte "fmt " chunk of other
// writers is read too); anything else fails.
std::vector<float> read_wav(const std::string& path);

}  // namespace drums
