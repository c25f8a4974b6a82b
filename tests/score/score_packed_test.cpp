// The checked-in score.bin, decoded independently, against the arrangement
// the engine is built for: the counts of every list and curve, each track's
// register, dynamics and time span, monophony, the 32nd-note grid, and the
// curves whose breakpoints are fixed, read back in seconds and values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/score/score_test_util.h"
#include "tools/score/score.h"

using namespace score_test;

namespace {

const int NOTE_COUNTS[24] = {6,  35,  35,  26, 26,  16,  8, 260, 9, 187, 279, 288,
                             85, 278, 343, 2,  190, 141, 2, 272, 5, 13,  1,   3};
const int CURVE_COUNTS[37] = {5,  18, 8,  8,  4,  5,  8,  7,  22, 16, 5,  6,  3,
                              34, 4,  3,  5,  32, 18, 14, 11, 10, 18, 11, 22, 15,
                              11, 21, 93, 13, 5,  4,  5,  13, 6,  5,  33};

// Track rows: note range, velocity range, first note-on and last note-off (s).
struct Row {
    int note_lo, note_hi, vel_lo, vel_hi;
    double first_on, last_off;
};
const Row ROWS[24] = {
    {34, 34, 64, 64, 88.333, 89.833},  {39, 75, 45, 64, 29.833, 98.333},
    {42, 85, 45, 54, 29.833, 98.333},  {44, 82, 47, 54, 29.833, 98.333},
    {39, 85, 47, 64, 29.833, 98.333},  {58, 80, 47, 54, 29.833, 42.667},
    {77, 80, 47, 47, 29.833, 42.667},  {39, 94, 34, 64, 0.167, 130.583},
    {75, 80, 47, 48, 29.833, 125.667}, {70, 78, 10, 64, 27.339, 130.833},
    {58, 90, 9, 53, 0.167, 122.833},   {61, 73, 3, 64, 0.167, 125.333},
    {63, 68, 17, 64, 0.167, 113.000},  {59, 77, 9, 64, 0.000, 125.500},
    {8, 56, 1, 64, 5.500, 125.422},    {15, 15, 46, 46, 82.667, 93.500},
    {54, 94, 51, 57, 3.167, 76.750},   {51, 87, 18, 42, 26.667, 125.667},
    {63, 66, 38, 39, 96.167, 96.833},  {49, 85, 23, 64, 5.500, 128.167},
    {63, 70, 54, 55, 56.500, 58.542},  {61, 70, 64, 64, 24.167, 26.542},
    {65, 65, 64, 64, 79.500, 80.167},  {81, 93, 64, 64, 97.833, 98.667},
};

// Breakpoints as (start s, value, k).
struct Point {
    double time, value, shape;
};
const std::vector<std::pair<int, std::vector<Point>>> FIXED_CURVES = {
    {0, {{-2.5, 1, 0}, {24.1667, 1, 0}, {24.1667, 0, 0}, {26.6667, 0, 0}, {26.6667, 1, 0}}},
    {5, {{0, 0, 0}, {78.8333, 0, 0}, {79.1667, 1, 0}, {80.1667, 1, 0}, {80.1667, 0, 0}}},
    {6,
     {{0, 100, 0},
      {21.5, 100, 0.992},
      {24.1667, 0, 0},
      {26.6667, 100, 0},
      {77.5, 100, -1},
      {78.8333, 0, -0.8125},
      {80.0, 126, 0},
      {80.1667, 100, 0}}},
    {7,
     {{-2.5, 1, 0},
      {126.8333, 1, 0},
      {127.0, 0.8984, 0.086},
      {128.5, 0.625, 0},
      {129.0, 0.5859, 0},
      {130.5, 0.4688, 0},
      {131.1667, 0, 0}}},
};

// Value ranges of the driven curves whose rows give one.
struct Range {
    int curve;
    double lo, hi;
};
const Range RANGES[] = {{1, 0, 0.51},  {2, 0, 1},     {3, 0, 0.60},     {4, 0.46, 1}, {8, 0, 2.14},
                        {9, 0, 0.82},  {10, 0, 1},    {11, 0.38, 0.63}, {13, 0, 1},   {14, 0.16, 1},
                        {31, 0, 0.98}, {32, 0, 0.17}, {35, 0.83, 0.97}, {36, -1, 0}};

class PackedScore : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { decoded_ = new Decoded(decode(read_bytes(packed_score()))); }
    static void TearDownTestSuite() { delete decoded_; }
    static const Decoded& d() { return *decoded_; }
    static Decoded* decoded_;
};
Decoded* PackedScore::decoded_ = nullptr;

double seconds(int32_t ticks) {
    return ticks / 192.0;
}

}  // namespace

TEST_F(PackedScore, CountsAndSizeAreExactlyTheEnginesArrays) {
    ASSERT_TRUE(d().ok);
    EXPECT_EQ(d().bytes_read, read_bytes(packed_score()).size()) << "trailing bytes";
    for (int l = 0; l < 24; ++l) {
        EXPECT_EQ(static_cast<int>(d().lists[l].size()), NOTE_COUNTS[l]) << "list " << l;
    }
    for (int c = 0; c < 37; ++c) {
        EXPECT_EQ(static_cast<int>(d().curves[c].size()), CURVE_COUNTS[c]) << "curve " << c;
    }
}

TEST_F(PackedScore, EveryTrackKeepsItsRow) {
    ASSERT_TRUE(d().ok);
    for (int t = 0; t < 24; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        const auto& notes = d().lists[t];
        const Row& row = ROWS[t];
        ASSERT_FALSE(notes.empty());
        auto [lo, hi] = std::minmax_element(notes.begin(), notes.end(),
                                            [](auto& a, auto& b) { return a.number < b.number; });
        EXPECT_EQ(lo->number, row.note_lo);
        EXPECT_EQ(hi->number, row.note_hi);
        auto [vlo, vhi] = std::minmax_element(
            notes.begin(), notes.end(), [](auto& a, auto& b) { return a.velocity < b.velocity; });
        EXPECT_EQ(vlo->velocity, row.vel_lo);
        EXPECT_EQ(vhi->velocity, row.vel_hi);
        // Within one tick of the row's times.
        EXPECT_NEAR(seconds(notes.front().on), row.first_on, 1.0 / 192 + 0.0005);
        EXPECT_NEAR(seconds(notes.back().on + notes.back().duration), row.last_off,
                    1.0 / 192 + 0.0005);
    }
}

TEST_F(PackedScore, TracksAreMonophonicAndOnTheGrid) {
    ASSERT_TRUE(d().ok);
    for (int t = 0; t < 24; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        const auto& notes = d().lists[t];
        int off_grid = 0;
        for (size_t i = 0; i < notes.size(); ++i) {
            EXPECT_GT(notes[i].duration, 0);
            if (notes[i].on % 8 != 0 || (notes[i].on + notes[i].duration) % 8 != 0) ++off_grid;
            if (i > 0) {
                EXPECT_GE(notes[i].on, notes[i - 1].on + notes[i - 1].duration);
            }
        }
        bool may = t == 9 || t == 13 || t == 14 || t == 19;
        if (may) {
            EXPECT_LE(off_grid, std::max<int>(4, notes.size() / 16));
        } else {
            EXPECT_EQ(off_grid, 0);
        }
    }
}

TEST_F(PackedScore, FixedCurvesDecodeToTheirRows) {
    ASSERT_TRUE(d().ok);
    for (const auto& [c, rows] : FIXED_CURVES) {
        const auto& points = d().curves[c];
        ASSERT_EQ(points.size(), rows.size()) << "curve " << c;
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("curve " + std::to_string(c) + " breakpoint " + std::to_string(i));
            // The tick nearest the stated time, the 1/128 step nearest the value.
            EXPECT_NEAR(seconds(points[i].time), rows[i].time, 0.5 / 192 + 0.0001);
            EXPECT_NEAR(points[i].value / 128.0, rows[i].value, 1.0 / 256);
            EXPECT_NEAR(points[i].shape / 128.0, rows[i].shape, 1.0 / 256);
        }
    }
}

TEST_F(PackedScore, CurvesSpanTheirRangesAndNeverRunBackwards) {
    ASSERT_TRUE(d().ok);
    for (const Range& r : RANGES) {
        const auto& points = d().curves[r.curve];
        auto [lo, hi] = std::minmax_element(points.begin(), points.end(),
                                            [](auto& a, auto& b) { return a.value < b.value; });
        EXPECT_NEAR(lo->value / 128.0, r.lo, 1.0 / 256) << "curve " << r.curve;
        EXPECT_NEAR(hi->value / 128.0, r.hi, 1.0 / 256) << "curve " << r.curve;
    }
    for (int c = 0; c < 37; ++c) {
        const auto& points = d().curves[c];
        EXPECT_LE(points.front().time, 0) << "curve " << c << " holds no value at the start";
        for (size_t i = 1; i < points.size(); ++i) {
            EXPECT_GE(points[i].time, points[i - 1].time) << "curve " << c;
        }
    }
}

// The bass is written low and lifted by curve 28: where each bass note starts,
// the lifted pitch must sit in the bass register (40 to 125 Hz), apart from the
// few high stabs of fills.
TEST_F(PackedScore, BassSoundsInTheBassRegister) {
    ASSERT_TRUE(d().ok);
    const auto& curve = d().curves[28];
    auto lift_at = [&](int32_t tick) {
        double value = curve.front().value / 128.0;
        for (size_t i = 0; i + 1 < curve.size(); ++i) {
            if (curve[i + 1].time > tick) break;
            value = curve[i + 1].value / 128.0;
        }
        return value;
    };
    int outside = 0;
    for (const auto& n : d().lists[14]) {
        // Sounding frequency: 440 * 2^((n - 69) / 12) * 2^(2 * curve28).
        double hz = 440.0 * std::pow(2.0, (n.number - 69) / 12.0 + 2.0 * lift_at(n.on));
        if (n.velocity >= 30 && (hz < 40.0 || hz > 125.0)) ++outside;
    }
    EXPECT_LE(outside, 4);
}
