// The content seam: the bundle checks catch what the engine cannot be built
// with, the score packer's bytes read back as the notes it was given, and the
// compiled-in arrays hold exactly the bytes of the content files.
#include <string>
#include <vector>

#include "engine/data/bundle.h"
#include "engine/data/packed_data.h"
#include "tests/startup/startup_test.h"
#include "tools/score/score.h"

namespace lf::test {
namespace {

using bundle::Findings;

bool mentions(const std::vector<std::string>& lines, const std::string& what) {
    for (const std::string& line : lines) {
        if (line.find(what) != std::string::npos) return true;
    }
    return false;
}

const std::string CONTENT = LUMENFROST_CONTENT_DIR;

score::Score content_score() {
    std::vector<score::Problem> problems;
    score::Score s = score::score_read(CONTENT + "/score/lumenfrost.score", problems);
    EXPECT_TRUE(problems.empty()) << score::format_problem(problems.front());
    return s;
}

std::vector<uint8_t> content_sample(int n) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(bundle::read_file(bundle::sample_path(CONTENT, n), bytes, error)) << error;
    return bytes;
}

// The packer writes zigzag deltas, the bundle reader sums them back: every
// note of every list comes back at its tick and note number.
TEST(BundleTest, PackedScoreReadsBackAsTheNotesItWasPackedFrom) {
    const score::Score source = content_score();
    bundle::Score parsed;
    Findings findings;
    bundle::parse_score(score::score_pack(source), "score.bin", parsed, findings);
    EXPECT_TRUE(findings.errors.empty()) << findings.errors.front();
    EXPECT_TRUE(findings.warnings.empty()) << findings.warnings.front();
    ASSERT_EQ(parsed.note_lists.size(), 24u);
    ASSERT_EQ(parsed.curves.size(), 37u);
    for (size_t k = 0; k < 24; ++k) {
        const std::vector<score::Note>& notes = source.tracks[k].notes;
        const std::vector<int32_t> starts = bundle::note_start_ticks(parsed.note_lists[k]);
        const std::vector<int32_t> ends = bundle::note_end_ticks(parsed.note_lists[k]);
        ASSERT_EQ(starts.size(), notes.size()) << k;
        int32_t number = 0;
        for (size_t i = 0; i < notes.size(); ++i) {
            number += zigzag_decode(parsed.note_lists[k].notes[i]);
            EXPECT_EQ(starts[i], notes[i].on) << k << " " << i;
            EXPECT_EQ(ends[i], notes[i].on + notes[i].duration) << k << " " << i;
            EXPECT_EQ(number, notes[i].number) << k << " " << i;
        }
        EXPECT_GE(starts.front(), 0);
        EXPECT_LE(ends.back(), bundle::TRACK_TICKS);
    }
    for (size_t c = 0; c < 37; ++c) {
        const std::vector<int32_t> times = bundle::curve_time_ticks(parsed.curves[c]);
        ASSERT_EQ(times.size(), source.curves[c].points.size()) << c;
        for (size_t i = 0; i < times.size(); ++i) {
            EXPECT_EQ(times[i], source.curves[c].points[i].time) << c << " " << i;
            EXPECT_EQ(parsed.curves[c].values[i], source.curves[c].points[i].value) << c;
        }
    }
}

// Content of any shape within the limits builds an engine; these cannot.
TEST(BundleTest, ChecksNameTheFileAndTheFault) {
    const std::vector<uint8_t> good = content_sample(3);
    {
        std::vector<uint8_t> cut(good.begin(), good.end() - 1);
        Findings f;
        bundle::check_sample(cut, "samples/sample3.bin", f);
        ASSERT_EQ(f.errors.size(), 1u);
        EXPECT_TRUE(mentions(f.errors,
                             "samples/sample3.bin: 52930 bytes, its 57 blocks (21 "
                             "short) take 52931"))
            << f.errors[0];
    }
    {
        std::vector<uint8_t> retyped = good;
        retyped[2 + 40] = 0;  // block 40 is short in sample 3: seven windows of gains too many
        Findings f;
        bundle::check_sample(retyped, "s3", f);
        EXPECT_TRUE(mentions(f.errors, "its 57 blocks (20 short) take 52791")) << f.errors.at(0);
        retyped[2 + 40] = 4;
        Findings unknown;
        bundle::check_sample(retyped, "s3", unknown);
        EXPECT_TRUE(mentions(unknown.errors, "block 40 has type 4, not one of 0..3"))
            << unknown.errors.at(0);
    }
    {
        // One block more than the limit, and the bytes it would take.
        std::vector<uint8_t> longest(packed_sample_bytes(MAX_SAMPLE_BLOCKS + 1, 0));
        longest[0] = static_cast<uint8_t>(MAX_SAMPLE_BLOCKS & 0xFF);
        longest[1] = static_cast<uint8_t>(MAX_SAMPLE_BLOCKS >> 8);
        Findings f;
        bundle::check_sample(longest, "s", f);
        EXPECT_TRUE(mentions(f.errors, "257 blocks, more than the engine's 256")) << f.errors.at(0);
        longest.resize(packed_sample_bytes(MAX_SAMPLE_BLOCKS, 0));
        longest[0] = static_cast<uint8_t>((MAX_SAMPLE_BLOCKS - 1) & 0xFF);
        longest[1] = static_cast<uint8_t>((MAX_SAMPLE_BLOCKS - 1) >> 8);
        Findings at_limit;
        bundle::check_sample(longest, "s", at_limit);
        EXPECT_TRUE(at_limit.errors.empty()) << at_limit.errors.at(0);
    }
    score::Score score = content_score();
    score.curves[5].points.clear();
    std::vector<uint8_t> bytes = score::score_pack(score);
    Findings f;
    bundle::Score parsed;
    bundle::parse_score(bytes, "score.bin", parsed, f);
    EXPECT_TRUE(mentions(f.errors, "curve 5 has 0 breakpoints, the engine takes 1..1024"));
    score = content_score();
    score.tracks[3].notes.resize(MAX_NOTES_PER_LIST + 1, score.tracks[3].notes.back());
    Findings many;
    bundle::parse_score(score::score_pack(score), "score.bin", parsed, many);
    EXPECT_TRUE(mentions(many.errors, "note list 3 has 2049 notes, more than the engine's 2048"));
    bytes = score::score_pack(content_score());
    bytes.push_back(0);
    Findings trailing;
    bundle::parse_score(bytes, "score.bin", parsed, trailing);
    EXPECT_TRUE(mentions(trailing.errors, "1 bytes left over"));
}

TEST(BundleTest, CompiledInDataHoldsTheContentFiles) {
    Findings findings;
    bundle::Bundle files;
    bundle::load_bundle(LUMENFROST_CONTENT_DIR, files, findings);
    ASSERT_TRUE(findings.errors.empty()) << findings.errors.front();
    EXPECT_TRUE(findings.warnings.empty()) << findings.warnings.front();
    for (int n = 0; n < PACKED_SAMPLE_COUNT; ++n) {
        const std::vector<uint8_t>& file = files.samples[n];
        EXPECT_EQ(std::vector<uint8_t>(PACKED_SAMPLES[n], PACKED_SAMPLES[n] + file.size()), file);
    }
    for (int k = 0; k < PACKED_NOTE_LIST_COUNT; ++k) {
        const bundle::NoteList& list = files.score.note_lists[k];
        const PackedNoteStreams& packed = PACKED_NOTE_LISTS[k];
        ASSERT_EQ(packed.count, list.notes.size());
        EXPECT_EQ(std::vector<uint8_t>(packed.notes, packed.notes + packed.count), list.notes);
        EXPECT_EQ(std::vector<uint8_t>(packed.velocities, packed.velocities + packed.count),
                  list.velocities);
        EXPECT_EQ(std::vector<uint32_t>(packed.starts, packed.starts + packed.count), list.starts);
        EXPECT_EQ(std::vector<uint32_t>(packed.durations, packed.durations + packed.count),
                  list.durations);
    }
    for (int c = 0; c < PACKED_CURVE_COUNT; ++c) {
        const bundle::Curve& curve = files.score.curves[c];
        const PackedCurveStreams& packed = PACKED_CURVES[c];
        ASSERT_EQ(packed.count, curve.times.size());
        EXPECT_EQ(std::vector<int32_t>(packed.times, packed.times + packed.count), curve.times);
        EXPECT_EQ(std::vector<int32_t>(packed.values, packed.values + packed.count), curve.values);
        EXPECT_EQ(std::vector<int32_t>(packed.shapes, packed.shapes + packed.count), curve.shapes);
    }
}

}  // namespace
}  // namespace lf::test
