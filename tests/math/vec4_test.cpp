// The roundings and lane operations that the DSP code relies on.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/dsp/vec4.h"
#include "tests/engine_mode.h"

using namespace lf;
using namespace lf::test;

using Vec4Mode = EngineMode;

TEST_F(Vec4Mode, ModeSwitchSetsOnlyFlushAndRounding) {
    if (!LUMENFROST_X86) GTEST_SKIP() << "the portable build has no SIMD control word";
    write_fp_control(saved_);
    uint32_t before = read_fp_control();
    set_engine_fp_mode();
    uint32_t after = read_fp_control();
    EXPECT_EQ(after & 0x8000u, 0x8000u);        // flush-to-zero
    EXPECT_EQ(after & 0x6000u, 0x2000u);        // toward -inf
    EXPECT_EQ(after & ~0xE000u, before & ~0xE000u);  // everything else kept
}

TEST_F(Vec4Mode, ConversionActsAsFloorNotTruncation) {
    const float xs[] = {-2.5f, -1.5f, -0.25f, 0.75f, 1.5f, 2.999f};
    for (float x : xs) {
        EXPECT_EQ(to_int(Vec4(x)).lane(0), static_cast<int32_t>(std::floor(x))) << x;
        EXPECT_EQ(to_int(x), static_cast<int32_t>(std::floor(x))) << x;
    }
}

TEST_F(Vec4Mode, RoundEvenAndFloorIgnoreTheMode) {
    Vec4 r = round_even(Vec4::set(0.5f, 1.5f, 2.5f, -0.5f));
    EXPECT_EQ(r.lane(0), 0.0f);
    EXPECT_EQ(r.lane(1), 2.0f);
    EXPECT_EQ(r.lane(2), 2.0f);
    EXPECT_EQ(float_bits(r.lane(3)), float_bits(-0.0f));
    Vec4 f = floor(Vec4::set(-0.5f, 0.999f, -3.0f, 7.5f));
    EXPECT_EQ(f.lane(0), -1.0f);
    EXPECT_EQ(f.lane(1), 0.0f);
    EXPECT_EQ(f.lane(2), -3.0f);
    EXPECT_EQ(f.lane(3), 7.0f);
}

TEST_F(Vec4Mode, FusedFormsRoundOnce) {
    // a·b = 1 + 2^-11 + 2^-24 needs 25 bits: a rounded product loses the 2^-24.
    const float a = 1.0f + std::ldexp(1.0f, -12);
    const float low = std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24);
    EXPECT_EQ(fma(Vec4(a), Vec4(a), Vec4(-1.0f)).lane0(), low);
    EXPECT_EQ((Vec4(a) * Vec4(a) - Vec4(1.0f)).lane0(), std::ldexp(1.0f, -11));
    EXPECT_EQ(fms(Vec4(a), Vec4(a), Vec4(1.0f)).lane0(), low);
    EXPECT_EQ(fnma(Vec4(a), Vec4(a), Vec4(1.0f)).lane0(), -low);
    EXPECT_EQ(fnms(Vec4(a), Vec4(a), Vec4(-1.0f)).lane0(), -low);
}

TEST_F(Vec4Mode, ReciprocalEstimateIsAnEstimate) {
    bool any_inexact = false;
    for (float x = 0.01f; x < 1000.0f; x *= 1.013f) {
        float r = rcp_estimate(Vec4(x)).lane0();
        double rel = std::fabs(static_cast<double>(r) * x - 1.0);
        EXPECT_LE(rel, 1.5 * std::ldexp(1.0, -12)) << x;
        any_inexact |= rel > std::ldexp(1.0, -20);
    }
    EXPECT_TRUE(any_inexact);
}

TEST_F(Vec4Mode, LaneOperations) {
    Vec4 a = Vec4::set(1, 2, 3, 4), b = Vec4::set(5, 6, 7, 8);
    Vec4 s = shuffle<3, 2, 1, 0>(a);
    EXPECT_EQ(s.lane(0), 4.0f);
    EXPECT_EQ(s.lane(3), 1.0f);
    Vec4 s2 = shuffle2<1, 0, 3, 2>(a, b);
    EXPECT_EQ(s2.lane(0), 2.0f);
    EXPECT_EQ(s2.lane(1), 1.0f);
    EXPECT_EQ(s2.lane(2), 8.0f);
    EXPECT_EQ(s2.lane(3), 7.0f);
    EXPECT_EQ(dup_low(a).lane(2), 1.0f);
    EXPECT_EQ(dup_low(a).lane(3), 2.0f);
    EXPECT_EQ(swap_pairs(a).lane(0), 3.0f);
    EXPECT_EQ(broadcast<2>(a).lane(0), 3.0f);
    Vec4 w = with_lane<1>(a, b);
    EXPECT_EQ(w.lane(0), 1.0f);
    EXPECT_EQ(w.lane(1), 6.0f);
    EXPECT_EQ(w.lane(2), 3.0f);
    Vec4 sel = select(a > Vec4(2.5f), a, b);
    EXPECT_EQ(sel.lane(0), 5.0f);
    EXPECT_EQ(sel.lane(3), 4.0f);
}

TEST_F(Vec4Mode, MinMaxReturnTheSecondOperandOnTies) {
    EXPECT_EQ(float_bits(min(Vec4(0.0f), Vec4(-0.0f)).lane0()), float_bits(-0.0f));
    EXPECT_EQ(float_bits(min(Vec4(-0.0f), Vec4(0.0f)).lane0()), float_bits(0.0f));
    EXPECT_EQ(float_bits(max(Vec4(-0.0f), Vec4(0.0f)).lane0()), float_bits(0.0f));
    EXPECT_EQ(abs(Vec4(-3.0f)).lane0(), 3.0f);
    EXPECT_EQ(float_bits((-Vec4(0.0f)).lane0()), float_bits(-0.0f));
}
