// The wavetables against their Fourier series in double precision, their
// stated landmarks, and (for the vectorised pulse sum) a plain scalar sum.
#include <cmath>

#include "engine/startup/wavetables.h"
#include "tests/startup/startup_test.h"

namespace lf::test {
namespace {

constexpr double PI = 3.14159265358979323846;

class WavetableTest : public StartupTest {
  protected:
    static void SetUpTestSuite() {
        set_engine_fp_mode();
        fill_const_vec();
        build_wavetables();
    }
};

TEST_F(WavetableTest, SineTableIsTheRotatedSine) {
    EXPECT_EQ(float_bits(SINE_TABLE[0]), float_bits(0.0f));
    EXPECT_NEAR(SINE_TABLE[64], 1.0, 2e-5);
    for (int j = 0; j < TABLE_LENGTH; ++j) {
        // The rotation accumulates a rounding per step, all toward -inf.
        ASSERT_NEAR(SINE_TABLE[j], std::sin(2 * PI * j / 256), 5e-5) << j;
    }
}

// The series with exact 1/h; the tables use a 12-bit reciprocal estimate.
double saw_series(int j) {
    double sum = 0.0;
    for (int h = 1; h <= 127; ++h)
        sum += ((h & 1) ? 1.0 : -1.0) * std::sin(2 * PI * h * j / 256) / h;
    return 2 / PI * sum;
}

double soft_saw_series(int j) {
    double sum = 0.0;
    for (int h = 1; h <= 127; ++h) {
        sum += ((h & 1) ? -1.0 : 1.0) * std::sin(2 * PI * h * j / 256) / (double(h) * h);
    }
    return 0.5 + 4 / (PI * PI) * sum;
}

TEST_F(WavetableTest, SawtoothsAreTheirTruncatedSeries) {
    // Every term reads SINE_TABLE[0] = 0 (the sum comes out as -0 when rounding
    // toward -inf, since 0 - 0 is -0 there).
    EXPECT_EQ(SAW_TABLE[0], 0.0f);
    EXPECT_NEAR(SAW_TABLE[128], 0.0, 1e-3) << "the middle of the jump";
    EXPECT_NEAR(SAW_TABLE[64], 0.498, 2e-3);
    EXPECT_NEAR(SAW_TABLE[127], 1.17, 0.01) << "the overshoot of the truncated series";
    EXPECT_NEAR(SAW_TABLE[129], -1.17, 0.01);
    EXPECT_EQ(SOFT_SAW_TABLE[0], 0.5f);
    EXPECT_NEAR(SOFT_SAW_TABLE[128], 0.5, 1e-4);
    int lowest = 0, highest = 0;
    for (int j = 0; j < TABLE_LENGTH; ++j) {
        ASSERT_NEAR(SAW_TABLE[j], saw_series(j), 3e-3) << j;
        ASSERT_NEAR(SOFT_SAW_TABLE[j], soft_saw_series(j), 1e-3) << j;
        if (SOFT_SAW_TABLE[j] < SOFT_SAW_TABLE[lowest]) lowest = j;
        if (SOFT_SAW_TABLE[j] > SOFT_SAW_TABLE[highest]) highest = j;
    }
    EXPECT_NEAR(lowest, 85, 1);
    EXPECT_NEAR(SOFT_SAW_TABLE[lowest], 0.089, 2e-3);
    EXPECT_NEAR(highest, 171, 1);
    EXPECT_NEAR(SOFT_SAW_TABLE[highest], 0.911, 2e-3);
}

TEST_F(WavetableTest, PulseRowsAreZeroMeanPulsesOfTheirDuty) {
    for (int b = 0; b < TABLE_LENGTH; ++b) ASSERT_EQ(pulse_row(0)[b], 0.0f) << "row 0 is silent";
    const float* square = pulse_row(128);
    for (int b = 0; b < TABLE_LENGTH; ++b) {
        const bool near_edge = std::abs(b - 64) <= 4 || std::abs(b - 192) <= 4;
        if (b == 64 || b == 192) {
            EXPECT_NEAR(square[b], 0.0, 0.02) << "zero crossing at " << b;
        } else if (b < 64 || b > 192) {
            EXPECT_GT(square[b], 0.0f) << b;
            EXPECT_NEAR(square[b], 0.5, near_edge ? 0.5 : 0.06) << b;
        } else {
            EXPECT_LT(square[b], 0.0f) << b;
            EXPECT_NEAR(square[b], -0.5, near_edge ? 0.5 : 0.06) << b;
        }
    }
    // Every row against the series with exact sines at the same integer indices.
    for (int a = 0; a < TABLE_LENGTH; a += 5) {
        for (int b = 0; b < TABLE_LENGTH; ++b) {
            double sum = 0.0;
            for (int h = 1; h <= 127; ++h) {
                sum += std::sin(2 * PI * ((h * a / 2) % 256) / 256) *
                       std::cos(2 * PI * ((h * b) % 256) / 256) / h;
            }
            ASSERT_NEAR(pulse_row(a)[b], 2 / PI * sum, 3e-3) << a << " " << b;
        }
    }
}

TEST_F(WavetableTest, PulseSumKeepsTheOrderOfHarmonicsInEveryColumn) {
    for (int a : {1, 77, 128, 200, 255}) {
        for (int b = 0; b < TABLE_LENGTH; ++b) {
            Vec4 p = Vec4::zero();
            for (int h = 1; h <= 127; ++h) {
                const Vec4 product =
                    Vec4(SINE_TABLE[(h * a / 2) % 256]) * Vec4(SINE_TABLE[(h * b + 64) % 256]);
                p = fma(product, rcp_estimate(Vec4(static_cast<float>(h))), p);
            }
            ASSERT_EQ(float_bits(pulse_row(a)[b]), float_bits((p * Vec4(0.636619747f)).lane0()))
                << a << " " << b;
        }
    }
}

}  // namespace
}  // namespace lf::test
