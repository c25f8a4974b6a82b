// The bundle readers report, never abort: a folder or a device where a file
// should be, a cut score, and streams the engine cannot take (a band gain
// beyond float range, times that go backwards, values outside a curve's
// range) are errors that stop the embedding with one line each.
#include <gtest/gtest.h>

#include "engine/data/bundle.h"
#include "tests/content_input/harness.h"

namespace content_test {
namespace {

namespace bundle = lf::bundle;
using lf::zigzag_encode;

// A parsed score written back in the layout bundle.h describes, so that one
// stream at a time can be spoiled.
std::vector<uint8_t> score_bytes(const bundle::Score& score) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    for (const bundle::NoteList& list : score.note_lists) {
        u32(static_cast<uint32_t>(list.notes.size()));
        out.insert(out.end(), list.notes.begin(), list.notes.end());
        out.insert(out.end(), list.velocities.begin(), list.velocities.end());
        for (uint32_t v : list.starts) u32(v);
        for (uint32_t v : list.durations) u32(v);
    }
    for (const bundle::Curve& curve : score.curves) {
        u32(static_cast<uint32_t>(curve.times.size()));
        for (const auto* stream : {&curve.times, &curve.values, &curve.shapes})
            for (int32_t v : *stream) u32(static_cast<uint32_t>(v));
    }
    return out;
}

const std::string EMBED = EMBED_EXE;
const std::string SUMMARY = SUMMARY_EXE;

struct Both {
    ToolRun embed, summary;
};

Both run_readers(const Scratch& dir, const std::string& content) {
    return {run_tool(EMBED + " " + quoted(content) + " " + quoted(dir / "packed.cpp")),
            run_tool(SUMMARY + " " + quoted(content))};
}

TEST(ReadersReport, AFolderOrADeviceInAFilesPlace) {
    Scratch dir;
    const std::string content = copy_content(dir);
    const std::string sample6 = content + "/samples/sample6.bin";
    fs::remove(sample6);
    fs::create_directory(sample6);
    Both r = run_readers(dir, content);
    EXPECT_EQ(r.embed.status, 1) << r.embed.err;
    EXPECT_NE(r.embed.err.find("error: " + sample6 + ": is a folder, not a regular file"),
              std::string::npos)
        << r.embed.err;
    EXPECT_EQ(r.summary.status, 1) << r.summary.err;

    fs::remove(sample6);
    fs::create_symlink("/dev/zero", sample6);
    r = run_readers(dir, content);
    EXPECT_EQ(r.embed.status, 1) << r.embed.err;
    EXPECT_NE(r.embed.err.find(sample6 + ": is a character device"), std::string::npos)
        << r.embed.err;
    EXPECT_EQ(r.summary.status, 1);

    const std::string score = content + "/score/score.bin";
    fs::remove(score);
    fs::create_directory(score);
    r = run_readers(dir, content);
    EXPECT_EQ(r.embed.status, 1) << r.embed.err;
    EXPECT_NE(r.embed.err.find(score + ": is a folder"), std::string::npos) << r.embed.err;
    EXPECT_EQ(r.summary.status, 1);
    EXPECT_FALSE(fs::exists(dir / "packed.cpp"));
}

TEST(ReadersReport, AScoreCutShort) {
    Scratch dir;
    const std::string content = copy_content(dir);
    const std::string score = content + "/score/score.bin";
    // Cut inside the curves' values: the summary read values[0] of an empty stream.
    const std::pair<uintmax_t, std::string> cuts[] = {{25220, "25220 bytes end inside curve 0"},
                                                      {4, "4 bytes end inside note list 0"},
                                                      {0, "0 bytes end inside note list 0"}};
    for (const auto& [size, says] : cuts) {
        fs::resize_file(score, size);
        Both r = run_readers(dir, content);
        EXPECT_EQ(r.embed.status, 1) << size;
        EXPECT_EQ(r.summary.status, 1) << size << ": " << r.summary.err;
        EXPECT_NE(r.embed.err.find(score + ": " + says), std::string::npos) << r.embed.err;
    }
}

std::vector<uint8_t> content_bytes(const std::string& name) {
    const std::string text = read_text(source_dir() + "/content/" + name);
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool has_error(const bundle::Findings& f, const std::string& part) {
    for (const std::string& e : f.errors) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

TEST(StreamsTheEngineCannotTake, ABandGainBeyondFloatRange) {
    std::vector<uint8_t> bytes = content_bytes("samples/sample4.bin");
    const uint32_t blocks = 57;
    const size_t gains = 2 + blocks + 856 * blocks;
    // Block 1, band 5: the running gain lifted to 254 (2^139 in amplitude).
    size_t at = gains + 20 + 5;
    uint8_t running = 0;
    for (size_t i = gains + 5; i < at; i += 20) running = static_cast<uint8_t>(running + bytes[i]);
    bytes[at] = static_cast<uint8_t>(254 - running);
    bundle::Findings f;
    bundle::check_sample(bytes, "sample4.bin", f);
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0],
              "sample4.bin: block 1, window 0, band 5: gain 254 is above 216 (the decoded sample "
              "would leave the range of a float)");
    // The program refuses the bundle.
    Scratch dir;
    const std::string content = copy_content(dir);
    write_text(content + "/samples/sample4.bin", std::string(bytes.begin(), bytes.end()));
    ToolRun r = run_tool(EMBED + " " + quoted(content) + " " + quoted(dir / "packed.cpp"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(fs::exists(dir / "packed.cpp"));
}

// Every list and every curve, each spoiled in one stream: all are errors.
TEST(StreamsTheEngineCannotTake, EveryCorruptedStreamIsAnError) {
    const std::vector<uint8_t> good = content_bytes("score/score.bin");
    bundle::Score parsed;
    bundle::Findings none;
    bundle::parse_score(good, "score.bin", parsed, none);
    ASSERT_TRUE(none.errors.empty() && none.warnings.empty());
    ASSERT_EQ(score_bytes(parsed),
              good);  // the writer is the layout, so spoils are the only change

    auto expect_error = [&](const bundle::Score& s, const std::string& what,
                            const std::string& says) {
        bundle::Score again;
        bundle::Findings f;
        bundle::parse_score(score_bytes(s), "score.bin", again, f);
        EXPECT_TRUE(has_error(f, says))
            << what << ": " << (f.errors.empty() ? "no error" : f.errors[0]);
    };
    for (size_t k = 0; k < parsed.note_lists.size(); ++k) {
        const std::string list = "note list " + std::to_string(k);
        bundle::Score s = parsed;
        s.note_lists[k].notes[0] = static_cast<uint8_t>(zigzag_encode(-1));
        expect_error(s, list + " note", list + ": note 0 has note number -1");
        s = parsed;
        s.note_lists[k].velocities[0] = static_cast<uint8_t>(zigzag_encode(-1));
        expect_error(s, list + " velocity", "has velocity -1");
        s = parsed;
        s.note_lists[k].starts[0] = zigzag_encode(-1);
        expect_error(s, list + " start", "starts at tick -1, outside the track");
        if (s.note_lists[k].starts.size() > 1) {
            s = parsed;
            s.note_lists[k].starts[1] = zigzag_encode(-1);
            expect_error(s, list + " order", "note 1 starts at tick");
        }
        s = parsed;
        s.note_lists[k].durations[0] = zigzag_encode(-1);
        expect_error(s, list + " duration", "lasts -1 ticks");
    }
    for (size_t c = 0; c < parsed.curves.size(); ++c) {
        const std::string curve = "curve " + std::to_string(c);
        bundle::Score s = parsed;
        s.curves[c].values.back() = 1 << 20;
        expect_error(s, curve + " value", curve + ": breakpoint");
        s = parsed;
        s.curves[c].shapes.back() = 129;
        expect_error(s, curve + " shape", "shape 129/128, outside -128..128");
        if (s.curves[c].times.size() > 1) {
            s = parsed;
            s.curves[c].times.back() = -1;
            expect_error(s, curve + " time", "is 1 ticks before the one ahead of it");
            s.curves[c].times.back() = INT32_MIN;  // found by the fuzzer: no 32-bit opposite
            expect_error(s, curve + " step", "is 2147483648 ticks before the one ahead of it");
        }
        s = parsed;
        s.curves[c].times[0] = INT32_MIN;
        expect_error(s, curve + " far", "outside -26528..26528");
    }
}

}  // namespace
}  // namespace content_test
