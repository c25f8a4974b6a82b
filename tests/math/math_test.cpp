// The approximations against double-precision references, their fixed answers
// at the edges, the noise generator against an independent AES round, and the
// engine's rounding mode at work on constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/dsp/math.h"
#include "tests/engine_mode.h"
#include "tests/math/portable_path.h"

using namespace lf;
using namespace lf::test;

namespace {

float lane0(Vec4 v) {
    return v.lane0();
}

// The float just at or below the exact value: rounding toward -inf.
float round_down(double exact) {
    float r = static_cast<float>(exact);
    if (static_cast<double>(r) > exact) r = std::nextafter(r, -INFINITY);
    return r;
}

// The float nearest to the exact value, as a compiler would fold it.
float round_nearest(double exact) {
    float lo = round_down(exact), hi = std::nextafter(lo, INFINITY);
    return (exact - lo <= hi - exact) ? lo : hi;
}

}  // namespace

using FastExp2 = EngineMode;

TEST_F(FastExp2, IntegersAreExactPowersOfTwo) {
    for (int n = -126; n <= 127; ++n)
        EXPECT_EQ(lane0(fast_exp2(Vec4(static_cast<float>(n)))), std::ldexp(1.0f, n)) << n;
}

TEST_F(FastExp2, BelowMinus127IsZero) {
    EXPECT_EQ(lane0(fast_exp2(Vec4(-127.5f))), 0.0f);
    EXPECT_EQ(lane0(fast_exp2(Vec4(-1000.0f))), 0.0f);
}

TEST_F(FastExp2, MatchesExp2AcrossRange) {
    EXPECT_NEAR(lane0(fast_exp2(Vec4(0.5f))), 1.4142135f, 1e-6f);
    for (float x = -30.0f; x <= 30.0f; x += 0.0137f) {
        double ref = std::exp2(static_cast<double>(x));
        EXPECT_NEAR(lane0(fast_exp2(Vec4(x))) / ref, 1.0, 1e-6) << x;
    }
}

using FastLog2 = EngineMode;

TEST_F(FastLog2, ExactPointsAndNonPositive) {
    EXPECT_EQ(lane0(fast_log2(Vec4(1.0f))), 0.0f);
    EXPECT_EQ(lane0(fast_log2(Vec4(8.0f))), 3.0f);
    EXPECT_EQ(lane0(fast_log2(Vec4(0.0f))), -3.4028235e38f);
    EXPECT_EQ(lane0(fast_log2(Vec4(-1.0f))), -3.4028235e38f);
}

TEST_F(FastLog2, MatchesLog2AcrossRange) {
    for (float x = 1e-6f; x < 1e6f; x *= 1.0173f) {
        double ref = std::log2(static_cast<double>(x));
        EXPECT_NEAR(lane0(fast_log2(Vec4(x))), ref, 2e-5) << x;
    }
}

using FastSin = EngineMode;

TEST_F(FastSin, FixedPoints) {
    EXPECT_NEAR(lane0(fast_sin(Vec4(0.0f))), 0.0f, 1e-6f);
    // In the engine's mode pi/2 lands just below 1.
    float top = lane0(fast_sin(Vec4(1.5707964f)));
    EXPECT_LE(top, 1.0f);
    EXPECT_NEAR(top, 1.0f, 1e-6f);
    EXPECT_NEAR(lane0(fast_sin(Vec4(-1.5707964f))), -1.0f, 1e-6f);
}

TEST_F(FastSin, PeriodicAndCloseToSine) {
    float far = lane0(fast_sin(Vec4(6.2831855f * 1000.0f + 0.5f)));
    EXPECT_NEAR(far, lane0(fast_sin(Vec4(0.5f))), 2e-3f);
    double worst = 0;
    for (float x = -50.0f; x <= 50.0f; x += 0.00731f) {
        double err = std::fabs(lane0(fast_sin(Vec4(x))) - std::sin(static_cast<double>(x)));
        worst = std::max(worst, err);
    }
    EXPECT_LT(worst, 1.2e-3);
    EXPECT_GT(worst, 5e-4);  // it is the parabola approximation, not a library sine
}

using KnobCurves = EngineMode;

TEST_F(KnobCurves, GainSamplesAndEnds) {
    EXPECT_EQ(lane0(unit_to_gain(Vec4(0.0f))), 0.0f);
    const float xs[] = {0.1f, 0.25f, 0.5f, 0.75f, 1.0f};
    const float expect[] = {0.005024f, 0.02875f, 0.225f, 1.625f, 10.0f};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(lane0(unit_to_gain(Vec4(xs[i]))) / expect[i], 1.0f, 2e-3f) << xs[i];
}

TEST_F(KnobCurves, GainIsContinuousWhereTheArmsMeet) {
    // Below 0.15556 the straight fade 20x rules, above it 3.5 - 2.5x.
    float below = lane0(unit_to_gain(Vec4(0.15555f)));
    float above = lane0(unit_to_gain(Vec4(0.15557f)));
    EXPECT_NEAR(below / above, 1.0f, 5e-4f);
    for (float x = 0.0f; x < 1.0f; x += 0.001f) {
        float a = lane0(unit_to_gain(Vec4(x))), b = lane0(unit_to_gain(Vec4(x + 0.001f)));
        EXPECT_LE(a, b) << x;  // monotonic rise
    }
}

TEST_F(KnobCurves, CutoffAndQSamples) {
    const float xs[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    const float hz[] = {20.0f, 112.0f, 635.0f, 3607.0f, 20500.0f};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(lane0(unit_to_cutoff(Vec4(xs[i]))) / hz[i], 1.0f, 3e-3f) << xs[i];
    EXPECT_NEAR(lane0(unit_to_q(Vec4(0.0f))), 0.1f, 1e-6f);
    EXPECT_NEAR(lane0(unit_to_q(Vec4(0.5f))), 1.095f, 1e-3f);
    EXPECT_NEAR(lane0(unit_to_q(Vec4(1.0f))), 12.0f, 5e-3f);
}

using RoundingMode = EngineMode;

// Constants written in a formula are combined at run time, rounding down;
// the compiler would fold them rounding to nearest.
TEST_F(RoundingMode, ConstantArithmeticRoundsDownAtRunTime) {
    EXPECT_EQ(lane0(Vec4(1.0f) / Vec4(1.002f)), round_down(1.0 / static_cast<double>(1.002f)));
    EXPECT_NE(lane0(Vec4(1.0f) / Vec4(1.002f)), round_nearest(1.0 / static_cast<double>(1.002f)));
    EXPECT_EQ(lane0(Vec4(0.01f) * Vec4(100.0f)), 0.99999994f);
    // Song time of frame 44100 is just short of one second.
    EXPECT_EQ(lane0(Vec4(44100.0f) * Vec4(FRAME_SECONDS)), 0.99999994f);
    // Scalar arithmetic follows the same mode.
    volatile float a = 1.0f, b = 1.002f;
    EXPECT_EQ(a / b, round_down(1.0 / static_cast<double>(1.002f)));
}

using Noise = EngineMode;

TEST_F(Noise, DrawsAreAesRoundsOfACountingState) {
    NoiseGen gen;
    noise_init(gen);
    uint32_t counter[4] = {0, 0, 0, 0};
    uint32_t step[4];
    std::memcpy(step, &gen.step, 16);
    const uint8_t step_bytes[16] = {0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78,
                                    0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0};
    ASSERT_EQ(std::memcmp(step, step_bytes, 16), 0);

    for (int draw = 0; draw < 6; ++draw) {
        uint8_t hashed[16];
        aes_round_bytes(reinterpret_cast<const uint8_t*>(counter), step_bytes, hashed);
        int32_t lanes[4];
        std::memcpy(lanes, hashed, 16);
        float portable[4];
        probe::noise_hash(counter, step, portable);

        Vec4 v = noise_next(gen);
        for (int i = 0; i < 4; ++i) {
            // Integer to float rounds down in the engine's mode, then times 2^-31.
            float expect = round_down(static_cast<double>(lanes[i])) * 4.656613e-10f;
            EXPECT_EQ(v.lane(i), expect) << "draw " << draw << " lane " << i;
            EXPECT_EQ(v.lane(i), portable[i]);
        }
        for (int i = 0; i < 4; ++i) counter[i] += step[i];
    }
}

// The portable fallback computes the same bits as the SIMD path (it differs
// only in the reciprocal estimate, which none of these use).
TEST_F(EngineMode, PortablePathMatchesSimdPath) {
    using probe::Fn;
    struct Case {
        Fn fn;
        Vec4 (*simd)(Vec4);
        float lo, hi, step;
    };
    const Case cases[] = {
        {Fn::exp2, fast_exp2, -130.0f, 40.0f, 0.0371f},
        {Fn::log2, fast_log2, -2.0f, 3000.0f, 0.173f},
        {Fn::sin, fast_sin, -400.0f, 400.0f, 0.0419f},
        {Fn::gain, unit_to_gain, 0.0f, 1.0f, 0.0007f},
        {Fn::cutoff, unit_to_cutoff, 0.0f, 1.0f, 0.0007f},
        {Fn::q, unit_to_q, 0.0f, 1.0f, 0.0007f},
        {Fn::floor, [](Vec4 x) { return floor(x); }, -10.0f, 10.0f, 0.125f},
        {Fn::round_even, [](Vec4 x) { return round_even(x); }, -10.0f, 10.0f, 0.125f},
        {Fn::to_int_bits, [](Vec4 x) { return from_bits(to_int(x)); }, -10.0f, 10.0f, 0.125f},
    };
    for (const Case& c : cases) {
        for (float x = c.lo; x < c.hi; x += 4 * c.step) {
            float in[4] = {x, x + c.step, x + 2 * c.step, x + 3 * c.step};
            float portable[4], simd[4];
            probe::apply(c.fn, in, portable);
            c.simd(Vec4::load(in)).store(simd);
            ASSERT_EQ(std::memcmp(portable, simd, 16), 0)
                << "function " << static_cast<int>(c.fn) << " at " << x;
        }
    }
}
