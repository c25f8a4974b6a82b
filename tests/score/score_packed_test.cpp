// The checked-in score.bin, decoded independently of the packer and the
// bundle reader: it holds exactly the engine's counts of notes and
// breakpoints and nothing after them, and the bass it holds sounds in the
// bass register. (What the arrangement asks of each part, its register,
// dynamics, time span, grid and fixed breakpoints, is score_pack's own
// check, which the checked-in outputs pass in score_tool_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>

#include "engine/frame/arrangement.h"
#include "tests/score/score_test_util.h"

using namespace score_test;

namespace {

class PackedScore : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { decoded_ = new Decoded(decode(read_bytes(packed_score()))); }
    static void TearDownTestSuite() { delete decoded_; }
    static const Decoded& d() { return *decoded_; }
    static Decoded* decoded_;
};
Decoded* PackedScore::decoded_ = nullptr;

}  // namespace

TEST_F(PackedScore, CountsAndSizeAreExactlyTheEnginesArrays) {
    ASSERT_TRUE(d().ok);
    EXPECT_EQ(d().bytes_read, read_bytes(packed_score()).size()) << "trailing bytes";
    for (int l = 0; l < lf::NOTE_LIST_COUNT; ++l) {
        EXPECT_EQ(static_cast<int>(d().lists[l].size()), lf::TRACK_ROWS[l].count) << "list " << l;
    }
    for (int c = 0; c < lf::CURVE_COUNT; ++c) {
        EXPECT_EQ(static_cast<int>(d().curves[c].size()), lf::CURVE_ROWS[c].count) << "curve " << c;
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
