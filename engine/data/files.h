// Files of the content tools and the build's embedding step: inputs that are
// regular files of a bounded size, and outputs that replace the old file only
// once the new one is complete.
//
// An output is written to a fresh temporary file in the target's folder, every
// write and the close are checked, the data are flushed to the disk, and only
// then is the temporary renamed over the target. A failure removes the
// temporary (the only file the writer created) and leaves the old target as it
// was. Nothing else is ever removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// Replaces `path` by `data` through a temporary file renamed into place.
bool write_atomically(const std::string& path, std::string_view data, std::string& error);
bool write_atomically(const std::string& path, const std::vector<uint8_t>& data,
                      std::string& error);

}  // namespace lf::files
