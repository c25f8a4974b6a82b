// The frequency shifter's single sideband, its channel offset, delay and
// feedback, and the band shifter's split and cancellation, probed with
// Goertzel filters on the analysis grid of 10 Hz (4410 frames).
#include <cmath>
#include <complex>
#include <vector>

#include "engine/dsp/shifter.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

constexpr int WINDOW = 4410;

FreqShiftParams shift_params(float delay_ms, float shift_hz, float right_offset, float feedback,
                             float wet) {
    return {Vec4(delay_ms),     Vec4(shift_hz), Vec4(0.0f),
            Vec4(right_offset), Vec4(feedback), Vec4(wet)};
}

float sine(double hz, int n) {
    return float(std::sin(2 * PI * hz * n / RATE));
}

// Runs a 1000 Hz sine through the shifter, lets it settle for `settle` frames
// and returns the next WINDOW output frames of each lane.
std::vector<std::vector<double>> shifted_sine(FreqShifter& s, const FreqShiftParams& p,
                                              int settle) {
    std::vector<std::vector<double>> lanes(4);
    for (int n = 0; n < settle + WINDOW; ++n) {
        Vec4 y = freq_shift_process(s, Vec4(sine(1000.0, n)), p);
        if (n >= settle)
            for (int lane = 0; lane < 4; ++lane) lanes[lane].push_back(y.lane(lane));
    }
    return lanes;
}

using Shifter = EngineMode;

// Without delay the wet part is the shifted signal itself: a 1000 Hz sine
// comes out at 1000 Hz (the all-pass filtered dry part) and at one of 900 or
// 1100 Hz only; the sign of the shift picks the side.
TEST_F(Shifter, SingleSideband) {
    double side_of_positive = 0;
    for (float shift : {100.0f, -100.0f}) {
        SCOPED_TRACE(shift);
        std::vector<double> y =
            shifted_sine(cleared<FreqShifter>(), shift_params(0, shift, 0, 0, 1), 8192)[0];
        double dry = std::abs(goertzel(y, 1000.0));
        double down = std::abs(goertzel(y, 900.0)), up = std::abs(goertzel(y, 1100.0));
        EXPECT_NEAR(dry, 1.0, 0.01);
        EXPECT_NEAR(std::max(down, up), 1.0, 0.02);
        EXPECT_LT(std::min(down, up), 0.005);  // the other sideband 46 dB down or more
        double side = up > down ? 1 : -1;
        if (shift > 0)
            side_of_positive = side;
        else
            EXPECT_EQ(side, -side_of_positive) << "both signs shift to the same side";
    }
}

// A right offset of a quarter cycle turns the right channel's shifted signal
// a quarter period against the left; without it both channels are identical.
TEST_F(Shifter, RightOffsetQuarterIsQuadrature) {
    std::vector<std::vector<double>> same =
        shifted_sine(cleared<FreqShifter>(), shift_params(0, 100, 0, 0, 1), 8192);
    EXPECT_EQ(same[0], same[1]);
    // The dry part is the same in both lanes; the wet part is the difference
    // to a shifter with wet 0.
    std::vector<std::vector<double>> wet =
        shifted_sine(cleared<FreqShifter>(), shift_params(0, -100, 0.25f, 0, 1), 8192);
    std::vector<std::vector<double>> dry =
        shifted_sine(cleared<FreqShifter, 1>(), shift_params(0, -100, 0.25f, 0, 0), 8192);
    std::vector<double> left(WINDOW), right(WINDOW);
    for (int n = 0; n < WINDOW; ++n) {
        left[n] = wet[0][n] - dry[0][n];
        right[n] = wet[1][n] - dry[1][n];
        ASSERT_EQ(wet[2][n], wet[0][n]);  // lanes 2 and 3 follow the left
    }
    double f = std::abs(goertzel(left, 900.0)) > std::abs(goertzel(left, 1100.0)) ? 900 : 1100;
    std::complex<double> ratio = goertzel(right, f) / goertzel(left, f);
    EXPECT_NEAR(std::abs(ratio), 1.0, 0.01);
    EXPECT_NEAR(std::abs(std::arg(ratio)), PI / 2, 0.01);
}

// Shift 0: sine 0 and cosine 1, so the shifted signal is the dry part and the
// output is the dry part plus itself 10 ms (441 frames) later.
TEST_F(Shifter, ZeroShiftIsDryPlusDelayedDry) {
    FreqShifter& wet = cleared<FreqShifter>();
    FreqShifter& dry = cleared<FreqShifter, 1>();
    std::vector<double> d;
    for (int n = 0; n < 3000; ++n) {
        Vec4 x(sine(733.0, n) + 0.3f * sine(5100.0, n));
        double y = freq_shift_process(wet, x, shift_params(10, 0, 0, 0, 1)).lane0();
        d.push_back(freq_shift_process(dry, x, shift_params(10, 0, 0, 0, 0)).lane0());
        double expected = d[n] + (n >= 441 ? d[n - 441] : 0.0);
        ASSERT_NEAR(y, expected, 2e-3) << "frame " << n;
    }
}

// The feedback goes round the delay line only, after the shift: the wet
// sideband is the shifted signal through a feedback delay of N + f frames
// (N = 110, f ≈ 0.25 for 2.5 ms), read with linear interpolation,
//   W/V = H·z^−N / (1 − fb·H·z^−N),  H = (1 − f) + f·z^−1,
// and nothing appears one more shift away.
TEST_F(Shifter, FeedbackDelayLoop) {
    const float feedback = 0.5f;
    std::vector<double> y = shifted_sine(cleared<FreqShifter>(),
                                         shift_params(2.5f, 100, 0, feedback, 1), 20 * WINDOW)[0];
    double step = std::abs(goertzel(y, 1100.0)) > std::abs(goertzel(y, 900.0)) ? 100 : -100;
    const double delay = (Vec4(44.1f) * Vec4(2.5f)).lane0();
    const double whole = std::floor(delay), frac = delay - whole;
    const double omega = 2 * PI * (1000 + step) / RATE;
    std::complex<double> z1 = std::polar(1.0, -omega);
    std::complex<double> loop = ((1 - frac) + frac * z1) * std::polar(1.0, -omega * whole);
    double expected = std::abs(loop / (1.0 - double(feedback) * loop));
    EXPECT_NEAR(std::abs(goertzel(y, 1000 + step)), expected, 0.01);
    EXPECT_LT(std::abs(goertzel(y, 1000 + 2 * step)), 0.01);
    EXPECT_LT(std::abs(goertzel(y, 1000 - step)), 0.01);
}

BandShiftParams band_params(uint32_t stages, float shift_hz, float ratio, float wet) {
    return {Vec4(200.0f), stages, Vec4(20.0f), Vec4(ratio), Vec4(shift_hz), Vec4(0.0f), Vec4(wet)};
}

// No stages: the crossover's low band plus the scaled high band.
TEST_F(Shifter, BandShifterWithoutStagesScalesTheHighBand) {
    for (float wet : {0.0f, 1.0f, 0.37f}) {
        BandShifter& s = cleared<BandShifter>();
        CrossoverSplit ref{};
        design_crossover(ref, Vec4(200.0f));
        for (int n = 0; n < 2000; ++n) {
            Vec4 x = Vec4::set(sine(120, n), sine(2000, n), sine(440, n), 0.5f);
            Vec4 y = band_shift_process(s, x, band_params(0, 100, 1, wet));
            CrossoverOutput bands = crossover_process(ref, x);
            for (int lane = 0; lane < 4; ++lane)
                ASSERT_NEAR(
                    y.lane(lane),
                    double(bands.low.lane(lane)) + double(wet) * bands.high.lane(lane),
                    2e-7 * (std::abs(bands.low.lane(lane)) + std::abs(bands.high.lane(lane))));
        }
        EXPECT_EQ(s.shifter[0].phase.lane0(), 0.0f);  // no shifter ran
    }
}

// Both shifters of a stage see the same high band, so their dry parts cancel:
// with no shift and equal delays nothing of the high band is left at all;
// with a shift, only the two opposite sidebands remain.
TEST_F(Shifter, BandShifterStageCancelsTheDryPart) {
    BandShifter& s = cleared<BandShifter>();
    CrossoverSplit ref{};
    design_crossover(ref, Vec4(200.0f));
    for (int n = 0; n < 3000; ++n) {
        Vec4 x(sine(1000, n) + sine(90, n));
        Vec4 y = band_shift_process(s, x, band_params(2, 0, 1, 1));
        ASSERT_EQ(y.lane0(), crossover_process(ref, x).low.lane0()) << "frame " << n;
    }

    BandShifter& t = cleared<BandShifter>();
    std::vector<double> y;
    for (int n = 0; n < 8192 + WINDOW; ++n) {
        Vec4 out = band_shift_process(t, Vec4(sine(1000, n)), band_params(1, 100, 1.5f, 0.8f));
        if (n >= 8192) y.push_back(out.lane0());
    }
    EXPECT_LT(std::abs(goertzel(y, 1000)), 0.01);
    EXPECT_NEAR(std::abs(goertzel(y, 900)), 0.8, 0.02);
    EXPECT_NEAR(std::abs(goertzel(y, 1100)), 0.8, 0.02);
}

}  // namespace
