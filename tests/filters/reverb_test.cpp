// The reverb's onsets, silence, width and the delay structure of its lines.
#include <cmath>
#include <vector>

#include "engine/dsp/reverb.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

// The first master-bus instance's settings.
ReverbParams master(float width) {
    return {0.96f, 0.069f, width, 44.0f, 1.0f, 1.0f, 0.5f, 23};
}

using Reverb = EngineMode;

TEST_F(Reverb, SilenceInGivesExactSilence) {
    ReverbUnit& unit = cleared<ReverbUnit>();
    for (int n = 0; n < 12000; ++n) {
        Vec4 y = reverb_process(unit, Vec4::zero(), master(2.0f));
        for (int lane = 0; lane < 4; ++lane) ASSERT_EQ(y.lane(lane), 0.0f) << "frame " << n;
    }
}

class ReverbOnset : public EngineMode, public ::testing::WithParamInterface<float> {};

// An impulse first reaches the output through the shortest comb (1422 frames)
// and the direct path of all eight all-passes, (−0.5)^8; lane 1 reads every
// line 23 frames further back, so it starts at 1445. With width 1 the lanes
// stay apart; any other width mixes the mid (and so lane 0's onset) into lane 1.
TEST_P(ReverbOnset, FirstSoundAt1422And1445) {
    const float width = GetParam();
    ReverbUnit& unit = cleared<ReverbUnit>();
    std::vector<Vec4> out;
    for (int n = 0; n < 1500; ++n)
        out.push_back(reverb_process(unit, Vec4(n == 0 ? 1.0f : 0.0f), master(width)));
    auto first_sound = [&](int lane) {
        for (int n = 0; n < int(out.size()); ++n)
            if (out[n].lane(lane) != 0.0f) return n;
        return -1;
    };
    EXPECT_EQ(first_sound(0), 1422);
    EXPECT_EQ(first_sound(1), width == 1.0f ? 1445 : 1422);
    // Lanes 2 and 3 are read like lane 0.
    EXPECT_EQ(first_sound(2), 1422);
    EXPECT_EQ(first_sound(3), 1422);

    // The onset itself: the comb wrote (1 − damping), the all-passes pass
    // (−0.5)^8 of it, the high-pass its b0, and the output level is 0.125.
    double b0 = cookbook_at(Design::Highpass, 44.0, 0.70710677).b0;
    double h = (1 - 0.069) * std::pow(0.5, 8) * b0;
    double mid = 0.5 * h;  // lane 1 is still silent
    EXPECT_NEAR(out[1422].lane(0), ((h - mid) * width + mid) * 0.125, 2e-4 * h);
    EXPECT_NEAR(out[1422].lane(1), ((0 - mid) * width + mid) * 0.125, 2e-4 * h);
    if (width == 0.0f) {
        for (const Vec4& y : out) ASSERT_EQ(y.lane(0), y.lane(1));
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, ReverbOnset, ::testing::Values(1.0f, 2.0f, 0.0f, 0.5f));

// With all-pass gain 0 each all-pass is a plain delay (the chain 6500 frames
// long, 6684 for lane 1), and with damping 0 each comb is a plain feedback
// comb whose impulse response is fb^(m−1) at m periods. The output is then
// the sum of the four combs, delayed, through the designed high-pass.
TEST_F(Reverb, CombsAndLinesMakeTheExpectedEchoes) {
    const float feedback = 0.5f;
    const ReverbParams params{feedback, 0.0f, 1.0f, 44.0f, 1.0f, 1.0f, 0.0f, 23};
    const int comb[4] = {1422, 1491, 1557, 1617};
    const int frames = 14000;
    auto echoes = [&](int spread) {
        std::vector<double> sig(frames, 0.0);
        int chain = 6500 + 8 * spread;
        for (int period : comb)
            for (int m = 1; chain + m * (period + spread) < frames; ++m)
                sig[chain + m * (period + spread)] += std::pow(feedback, m - 1);
        return sig;
    };
    const BiquadCoeffs hp_record = design_highpass(Vec4(44.0f), Vec4(0.70710677f));
    auto highpass = [&](std::vector<double> x) {
        SectionModel model{lane_of(hp_record, 0)};
        for (double& v : x) v = model.step(v);
        return x;
    };
    std::vector<double> left = highpass(echoes(0)), right = highpass(echoes(23));

    ReverbUnit& unit = cleared<ReverbUnit>();
    for (int n = 0; n < frames; ++n) {
        Vec4 y = reverb_process(unit, Vec4(n == 0 ? 1.0f : 0.0f), params);
        ASSERT_NEAR(y.lane(0), 0.125 * left[n], 1e-5) << "frame " << n;
        ASSERT_NEAR(y.lane(1), 0.125 * right[n], 1e-5) << "frame " << n;
        ASSERT_NEAR(y.lane(2), 0.125 * left[n], 1e-5) << "frame " << n;
    }
}

}  // namespace
