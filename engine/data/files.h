// Files of the programs, the content tools and the build's embedding step:
// inputs that are regular files of a bounded size, outputs that replace the
// old file only once the new one is complete, and the float WAV file.
//
// An output is written to a fresh temporary file in the target's folder, every
// write and the close are checked, the data are flushed to the disk, and only
// then is the temporary renamed over the target. A failure removes the
// temporary (the only file the writer created) and leaves the old target as it
// was. Nothing else is ever removed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lf::files {

// Size limits of the inputs, stated in every message that refuses one.
constexpr uint64_t KiB = 1024, MiB = 1024 * KiB;

// "16 MiB", "64 KiB", "100 bytes".
std::string size_text(uint64_t bytes);

// Reads a whole input. It must be a regular file (a link to one is followed)
// of at most `limit` bytes; otherwise `error` says "PATH: reason" and the
// result is false.
bool read_input(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes,
                std::string& error);
bool read_input(const std::string& path, uint64_t limit, std::string& text, std::string& error);

// Whether `path` may be written as an output: its folder exists, and the path
// is either free or a regular file that is none of `inputs` (compared as
// files, so another name of an input is refused too). To be asked before any
// work is done.
bool check_output(const std::string& path, const std::vector<std::string>& inputs,
                  std::string& error);

// An output written in pieces, by the writer itself or by a library through
// the descriptor (which the library must leave open): the bytes go to a
// temporary file beside `path`, and commit() renames it over `path` once they
// are on the disk. Destroyed uncommitted, it removes the temporary. A failure
// sets `error` to "PATH: cannot write (reason); nothing was replaced" and
// errno to the reason.
class Replacement {
  public:
    explicit Replacement(std::string path) : path_(std::move(path)) {}
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    bool open(std::string& error);
    int descriptor() const { return fd_; }
    bool write(std::string_view bytes, std::string& error);
    bool commit(std::string& error);

  private:
    bool fail(int error_number, std::string& error);

    std::string path_, temporary_;
    int fd_ = -1;
};

// Replaces `path` by `data` through a Replacement.
bool write_atomically(const std::string& path, std::string_view data, std::string& error);
bool write_atomically(const std::string& path, const std::vector<uint8_t>& data,
                      std::string& error);

// 32-bit float WAV at 44100 Hz: a 58-byte header ("RIFF", an 18-byte "fmt "
// chunk that carries the extension size, a "fact" chunk with the frame count,
// "data"), then the samples interleaved as they stand.
constexpr uint32_t WAV_HEADER_BYTES = 58;
std::array<uint8_t, WAV_HEADER_BYTES> float_wav_header(uint16_t channels, uint32_t frames);

// Writes `frames` frames of `channels` interleaved samples through a Replacement.
bool write_float_wav(const std::string& path, const float* samples, uint16_t channels,
                     uint32_t frames, std::string& error);

}  // namespace lf::files
