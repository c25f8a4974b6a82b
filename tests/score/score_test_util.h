// Helpers shared by the score tests: the score's paths, a copy of the track's
// score to edit, and an independent decoder of the packed score written from
// the format's description (zigzag decode as (v >> 1) XOR (0 - (v AND 1)),
// running sums).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/scratch.h"
#include "tools/score/score.h"

namespace score_test {

using namespace lf::test;

inline std::string source_dir() {
    return LUMENFROST_SOURCE_DIR;
}
inline std::string main_score() {
    return source_dir() + "/content/score/lumenfrost.score";
}
inline std::string packed_score() {
    return source_dir() + "/content/score/score.bin";
}

inline std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The track's score files in a fresh folder, to be edited in one place.
struct ScoreCopy {
    Scratch dir;
    ScoreCopy() {
        for (const auto& entry : fs::directory_iterator(source_dir() + "/content/score")) {
            if (entry.path().extension() == ".score") {
                fs::copy_file(entry.path(), dir.path / entry.path().filename());
            }
        }
    }
    std::string path(const std::string& name) const { return dir / name; }
    std::string text(const std::string& name) const { return read_text(path(name)); }
    // Replaces the first `find` of file `name` by `replace`.
    void edit(const std::string& name, const std::string& find, const std::string& replace) {
        std::string all = text(name);
        const size_t at = all.find(find);
        ASSERT_NE(at, std::string::npos) << "the score changed: '" << find << "' is gone";
        all.replace(at, find.size(), replace);
        write_text(path(name), all);
    }
    void make_free() {
        edit("lumenfrost.score", "section intro 1", "profile free\nsection intro 1");
    }

    struct Result {
        std::vector<score::Problem> problems, warnings;
        std::string text() const {
            std::string all;
            for (const auto& p : problems) all += score::format_problem(p) + "\n";
            return all;
        }
    };
    // Read and checked as score_pack does.
    Result check() const {
        Result r;
        score::Score s = score::score_read(path("lumenfrost.score"), r.problems);
        if (r.problems.empty()) score::score_check(s, r.problems, &r.warnings);
        return r;
    }
    // The line of file `name` that holds `needle`, from 1.
    int line_of(const std::string& name, const std::string& needle) const {
        std::istringstream in(text(name));
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            if (line.find(needle) != std::string::npos) return n;
        }
        return 0;
    }
};

struct DecodedNote {
    int32_t number, velocity, on, duration;
};
struct DecodedPoint {
    int32_t time, value, shape;
};
struct Decoded {
    std::vector<std::vector<DecodedNote>> lists;
    std::vector<std::vector<DecodedPoint>> curves;
    size_t bytes_read = 0;
    bool ok = false;
};

inline Decoded decode(const std::vector<uint8_t>& b) {
    Decoded d;
    size_t at = 0;
    auto u32 = [&](uint32_t& v) {
        if (at + 4 > b.size()) return false;
        v = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
        at += 4;
        return true;
    };
    auto unzig = [](uint32_t v) { return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1u))); };
    for (int l = 0; l < 24; ++l) {
        uint32_t count;
        if (!u32(count) || at + 10ull * count > b.size()) return d;
        std::vector<DecodedNote> notes(count);
        int32_t sum = 0;
        for (auto& n : notes) n.number = sum += unzig(b[at++]);
        sum = 0;
        for (auto& n : notes) n.velocity = sum += unzig(b[at++]);
        sum = 0;
        uint32_t v = 0;
        for (auto& n : notes) u32(v), n.on = sum += unzig(v);
        sum = 0;
        for (auto& n : notes) u32(v), n.duration = sum += unzig(v);
        d.lists.push_back(notes);
    }
    for (int c = 0; c < 37; ++c) {
        uint32_t count;
        if (!u32(count) || at + 12ull * count > b.size()) return d;
        std::vector<DecodedPoint> points(count);
        int32_t sum = 0;
        uint32_t v = 0;
        for (auto& p : points) u32(v), p.time = sum += static_cast<int32_t>(v);
        for (auto& p : points) u32(v), p.value = static_cast<int32_t>(v);
        for (auto& p : points) u32(v), p.shape = static_cast<int32_t>(v);
        d.curves.push_back(points);
    }
    d.bytes_read = at;
    d.ok = true;
    return d;
}

}  // namespace score_test
