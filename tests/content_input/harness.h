// A copy of the content to spoil and a score read from text, on top of the
// shared scratch folders and tool runs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/scratch.h"
#include "tools/score/score.h"

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

// `text` written to `name` in `dir` and read as the packer reads a score.
struct Read {
    score::Score score;
    std::vector<score::Problem> problems;
    std::string text() const {
        std::string all;
        for (const auto& p : problems) all += score::format_problem(p) + "\n";
        return all;
    }
};

inline Read read_score(const Scratch& dir, const std::string& text,
                       const std::string& name = "a.score") {
    write_text(dir / name, text);
    Read r;
    r.score = score::score_read(dir / name, r.problems);
    return r;
}

}  // namespace content_test
