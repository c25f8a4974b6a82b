// A copy of the content to spoil, on top of the shared scratch folders and
// tool runs.
#pragma once

#include <filesystem>
#include <string>

#include "tests/scratch.h"

namespace content_test {

using namespace lf::test;

inline std::string source_dir() {
    return LUMENFROST_SOURCE_DIR;
}

// A copy of content/ (samples, score, drums) in `dir`.
inline std::string copy_content(const Scratch& dir) {
    fs::copy(source_dir() + "/content", dir.path / "content", fs::copy_options::recursive);
    return (dir.path / "content").string();
}

inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

inline size_t lines_of(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace content_test
