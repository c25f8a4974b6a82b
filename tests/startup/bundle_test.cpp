// The content seam: the bundle checks catch what the engine cannot be built
// with, the placeholder generator makes what it can, and the compiled-in
// arrays hold exactly the bytes of the content files.
#include <string>
#include <vector>

#include "engine/data/bundle.h"
#include "engine/data/packed_data.h"
#include "tests/startup/startup_test.h"
#include "tools/placeholder/placeholder.h"

namespace lf::test {
namespace {

using bundle::Findings;

bool mentions(const std::vector<std::string>& lines, const std::string& what) {
    for (const std::string& line : lines) {
        if (line.find(what) != std::string::npos) return true;
    }
    return false;
}

TEST(BundleTest, PlaceholderSamplesHaveTheEngineLayout) {
    for (int n = 1; n <= PACKED_SAMPLE_COUNT; ++n) {
        const std::vector<uint8_t> bytes = placeholder::make_sample(n);
        Findings findings;
        bundle::check_sample(n, bytes, "sample", findings);
        EXPECT_TRUE(findings.errors.empty()) << n << ": " << findings.errors.front();
        EXPECT_EQ(bytes.size(), PACKED_SAMPLE_LAYOUTS[n - 1].bytes);
        EXPECT_EQ(bytes, placeholder::make_sample(n)) << "deterministic";
    }
}

TEST(BundleTest, PlaceholderScoreRoundTripsWithOrderedTimes) {
    const bundle::Score score = placeholder::make_score();
    const std::vector<uint8_t> bytes = bundle::serialize_score(score);
    bundle::Score parsed;
    Findings findings;
    bundle::parse_score(bytes, "score.bin", parsed, findings);
    EXPECT_TRUE(findings.errors.empty());
    EXPECT_TRUE(findings.warnings.empty()) << findings.warnings.front();
    ASSERT_EQ(parsed.note_lists.size(), 24u);
    ASSERT_EQ(parsed.curves.size(), 37u);
    for (size_t k = 0; k < 24; ++k) {
        EXPECT_EQ(parsed.note_lists[k].starts, score.note_lists[k].starts);
        EXPECT_EQ(parsed.note_lists[k].notes, score.note_lists[k].notes);
        const std::vector<int32_t> starts = bundle::note_start_ticks(parsed.note_lists[k]);
        EXPECT_GE(starts.front(), 0);
        EXPECT_LE(starts.back(), bundle::TRACK_TICKS);
    }
    for (size_t c = 0; c < 37; ++c) EXPECT_EQ(parsed.curves[c].values, score.curves[c].values);
}

TEST(BundleTest, ChecksNameTheFileAndTheFault) {
    const std::vector<uint8_t> good = placeholder::make_sample(3);
    {
        std::vector<uint8_t> cut(good.begin(), good.end() - 1);
        Findings f;
        bundle::check_sample(3, cut, "samples/sample3.bin", f);
        ASSERT_EQ(f.errors.size(), 1u);
        EXPECT_TRUE(
            mentions(f.errors, "samples/sample3.bin: 52930 bytes, the engine is built for 52931"))
            << f.errors[0];
    }
    {
        std::vector<uint8_t> retyped = good;
        retyped[2 + 40] = 0;  // block 40 is short in sample 3
        Findings f;
        bundle::check_sample(3, retyped, "s3", f);
        EXPECT_TRUE(mentions(f.errors, "block 40 has type 0")) << f.errors.at(0);
    }
    {
        std::vector<uint8_t> fewer = good;
        fewer[0] = 55;  // 56 blocks
        Findings f;
        bundle::check_sample(3, fewer, "s3", f);
        EXPECT_TRUE(mentions(f.errors, "56 blocks, the engine is built for 57")) << f.errors.at(0);
    }
    bundle::Score score = placeholder::make_score();
    score.curves[5].times.push_back(0);
    score.curves[5].values.push_back(0);
    score.curves[5].shapes.push_back(0);
    std::vector<uint8_t> bytes = bundle::serialize_score(score);
    Findings f;
    bundle::Score parsed;
    bundle::parse_score(bytes, "score.bin", parsed, f);
    EXPECT_TRUE(mentions(f.errors, "curve 5 has 6 breakpoints, the engine is built for 5"));
    bytes = bundle::serialize_score(placeholder::make_score());
    bytes.push_back(0);
    Findings trailing;
    bundle::parse_score(bytes, "score.bin", parsed, trailing);
    EXPECT_TRUE(mentions(trailing.errors, "1 bytes left over"));
    bytes.resize(bytes.size() - 9);
    Findings cut;
    bundle::parse_score(bytes, "score.bin", parsed, cut);
    EXPECT_TRUE(mentions(cut.errors, "end inside curve 36"));
}

TEST(BundleTest, CompiledInDataHoldsTheContentFiles) {
    Findings findings;
    bundle::Bundle files;
    bundle::load_bundle(LUMENFROST_CONTENT_DIR, files, findings);
    ASSERT_TRUE(findings.errors.empty()) << findings.errors.front();
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
