// The mix and the stage order: silence through the whole chain, the final
// widening, the master gate on the frame the curve jumps, the bass ducking,
// the shared noise drawn in stage order, and the frame store.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/dsp/math.h"
#include "engine/frame/engine.h"
#include "engine/frame/mix.h"
#include "engine/frame/stages.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "tests/engine_mode.h"

using namespace lf;
using lf::test::float_bits;
using lf::test::frame_time;

namespace {

// The mix's record as start-up leaves it: the bank and the split built, the
// other states zero.
MixState& built_mix() {
    static MixState* built = new MixState(engine.mix);
    return *built;
}

void restore_mix() {
    std::memcpy(static_cast<void*>(&engine.mix), &built_mix(), sizeof engine.mix);
}

// Start-up runs once per program; each test starts from the built mix.
class Mix : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        engine_startup();
        built_mix();
    }
    void SetUp() override {
        set_engine_fp_mode();
        restore_mix();
    }
    // Curve values as the walk would leave them: gate open, width 100 %,
    // full rate, low-pass open, everything else 0.
    static void neutral_curves() {
        for (CurveEnv& c : engine.score.curve_envs) c.out = Vec4::zero();
        engine.score.curve_envs[CURVE_GATE].out = Vec4(1.0f);
        engine.score.curve_envs[CURVE_WIDTH].out = Vec4(100.0f);
        engine.score.curve_envs[CURVE_RATE].out = Vec4(1.0f);
        engine.score.curve_envs[CURVE_BUS_LOWPASS].out = Vec4(1.0f);
    }
};

// Amplitude of a steady sine in lane 0 by least squares against sin/cos.
double amplitude(const float* x, int n, double hz) {
    double ss = 0, sc = 0;
    for (int i = 0; i < n; ++i) {
        double ph = 2 * M_PI * hz * i / 44100.0;
        ss += x[i] * std::sin(ph);
        sc += x[i] * std::cos(ph);
    }
    return 2 * std::sqrt(ss * ss + sc * sc) / n;
}

}  // namespace

TEST_F(Mix, SilenceEverywhereStoresTheSoftClipConstant) {
    neutral_curves();
    const Vec4 zero = Vec4::zero();
    Vec4 out;
    for (int frame = 0; frame < 3000; ++frame) {
        Vec4 front = front_bus_filter(front_bus_start(zero, zero), zero);
        Vec4 main = main_bus_start(front, zero, bass_ducking(zero, zero), zero);
        Vec4 gated = master_chain(main);
        ASSERT_EQ(gated.lane(0), 0.0f) << frame;
        ASSERT_EQ(gated.lane(1), 0.0f) << frame;
        out = final_stage(gated, zero, zero, zero);
    }
    // (1 − 2·r)·1.009 with r the estimate of 1/2: zero or a tiny constant.
    const float r = rcp_estimate(Vec4(2.0f)).lane0();
    const float expect = (1.0f - 2.0f * r) * 1.009f;  // exact: 2·r and 1 − 2·r are exact here
    EXPECT_EQ(out.lane(0), out.lane(1));
    EXPECT_NEAR(out.lane(0), expect, 1e-9f);
    EXPECT_LT(std::fabs(out.lane(0)), 0.0005f);
}

TEST_F(Mix, EqualChannelsStayEqualThroughTheFinalWidening) {
    float left_minus_right = 0;
    for (int frame = 0; frame < 2000; ++frame) {
        Vec4 s = Vec4(0.3f * std::sin(0.05f * frame));
        Vec4 voice = Vec4(0.2f * std::sin(0.011f * frame));
        Vec4 out = final_stage(s, voice, voice, voice);
        left_minus_right = std::max(left_minus_right, std::fabs(out.lane(0) - out.lane(1)));
    }
    EXPECT_EQ(left_minus_right, 0.0f);
    // A side signal, on the other hand, is widened by 1.26.
    Vec4 side = Vec4::set(0.01f, -0.01f, 0.01f, -0.01f);
    restore_mix();
    Vec4 out = final_stage(side, Vec4::zero(), Vec4::zero(), Vec4::zero());
    // (the first frame of the two 25 Hz high-pass stages and the clip slope 1.224)
    EXPECT_NEAR(out.lane(0) - out.lane(1), 2 * 0.0126f * 1.224f, 1e-3f);
}

TEST_F(Mix, GateCutsTheMainBusOnTheFrameOfTheJumpWhileLateVoicesSound) {
    // Walk curve 0 of the track's score over the frames around the cut.
    const uint32_t first = static_cast<uint32_t>(24.1667 * 44100) - 50;
    bool seen_open = false, seen_cut = false;
    for (uint32_t frame = first; frame < first + 100; ++frame) {
        Vec4 t(frame_time(frame));
        curve_env_eval(engine.score.curve_envs[CURVE_GATE], t);
        const float gate = engine.score.curve_envs[CURVE_GATE].out.lane0();
        ASSERT_TRUE(gate == 1.0f || gate == 0.0f) << "a jump, not a ramp, at frame " << frame;
        if (gate == 1.0f) {
            ASSERT_FALSE(seen_cut) << "the gate reopened early";
            seen_open = true;
            continue;
        }
        if (!seen_cut) {
            // The very first frame at or past the breakpoint time.
            EXPECT_GE(t.lane0(), engine.score.curve_envs[CURVE_GATE].segment->start.lane0());
        }
        seen_cut = true;
        neutral_curves();
        engine.score.curve_envs[CURVE_GATE].out = Vec4(gate);
        Vec4 gated = master_chain(Vec4(0.5f));
        EXPECT_EQ(gated.lane(0), 0.0f);
        EXPECT_EQ(gated.lane(1), 0.0f);
        Vec4 out = final_stage(gated, Vec4(0.25f), Vec4::zero(), Vec4::zero());
        EXPECT_NE(out.lane(0),
                  final_stage(Vec4::zero(), Vec4::zero(), Vec4::zero(), Vec4::zero()).lane(0));
    }
    EXPECT_TRUE(seen_open && seen_cut);
}

TEST_F(Mix, DuckingRemovesTheBassBelowTheSplitWhileTheKickIsLoud) {
    constexpr int N = 44100;
    static float free_low[N], ducked_low[N], ducked_high[N];
    // Bass of 80 Hz and 6 kHz; the key is silent, then loud (0.69·V11 = 0.6).
    for (int pass = 0; pass < 2; ++pass) {
        restore_mix();
        const float key = pass == 0 ? 0.0f : 0.6f / 0.69f;
        for (int i = 0; i < N; ++i) {
            float low = 0.4f * std::sin(2 * float(M_PI) * 80 * i / 44100.0f);
            float high = 0.1f * std::sin(2 * float(M_PI) * 6000 * i / 44100.0f);
            Vec4 b = bass_ducking(Vec4(low + high), Vec4(key));
            (pass == 0 ? free_low : ducked_low)[i] = b.lane(0);
            if (pass == 1) ducked_high[i] = b.lane(0);
        }
    }
    // The follower has long reached 0.5 by the second half second.
    const double undisturbed = amplitude(free_low + N / 2, N / 2, 80);
    EXPECT_NEAR(undisturbed, 1.15 * 0.4, 0.05);
    EXPECT_LT(amplitude(ducked_low + N / 2, N / 2, 80), 1e-3 * undisturbed);
    EXPECT_NEAR(amplitude(ducked_high + N / 2, N / 2, 6000), 1.15 * 0.1, 0.01);
}

// The stage order fixes who gets which noise: while the gated pluck voice is
// silent, three voices draw per frame; once it plays, four.
TEST(StageOrder, NoiseDrawsFollowTheGate) {
    engine_startup();
    auto draws_in_frame = [](uint32_t frame) {
        const Int4 before = engine.noise_gen.counter;
        render_frame(TrackBuffer, frame);
        const uint32_t step = engine.noise_gen.step.ulane(0);
        uint32_t advanced = engine.noise_gen.counter.ulane(0) - before.ulane(0);
        int n = 0;
        while (advanced != 0 && n < 8) advanced -= step, ++n;
        return n;
    };
    // Track 7 starts at 0.167 s: before it the pluck voice is gated.
    EXPECT_EQ(draws_in_frame(0), 3);
    uint32_t frame = 1;
    for (; frame < 7400; ++frame) draws_in_frame(frame);
    EXPECT_EQ(draws_in_frame(frame), 4) << "0.168 s: the pluck sounds";
}

TEST(FrameStore, WritesTheFrameAndTheNextSlotOnly) {
    engine_startup();
    static StereoFrame buffer[8];
    for (StereoFrame& f : buffer) f = {7.0f, 7.0f};
    render_frame(buffer, 0);
    render_frame(buffer, 1);
    render_frame(buffer, 2);
    EXPECT_NE(buffer[0].left, 7.0f);
    EXPECT_NE(buffer[2].left, 7.0f);
    EXPECT_NE(buffer[3].left, 7.0f);  // lanes 2 and 3 of frame 2's store
    EXPECT_EQ(buffer[4].left, 7.0f);
    EXPECT_EQ(buffer[4].right, 7.0f);
}
