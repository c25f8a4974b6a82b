// The noise voices: one draw per frame each, the hats' width, velocity scale
// and band centre, silence before the first hat, and the bed's level curve.
#include <cmath>
#include <ostream>
#include <vector>

#include "engine/frame/arrangement.h"
#include "engine/startup/score.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

using namespace lf;
using namespace lf::voices_test;

namespace {

using NoiseVoiceFn = Vec4 (*)(NoiseGen&);
constexpr auto set_curve = VoiceTest::set_curve;

struct NoiseVoice {
    const char* name;
    NoiseVoiceFn voice;
};

void PrintTo(const NoiseVoice& v, std::ostream* os) {
    *os << v.name;
}

class NoiseDrawTest : public VoiceTest, public ::testing::WithParamInterface<NoiseVoice> {};

TEST_P(NoiseDrawTest, OneDrawPerFrame) {
    point_cursor(TRACK_HATS, NoteList::none());
    set_curve(CURVE_SWEEP_CUTOFF, 0.5f);
    const Int4 start = engine.noise_gen.counter;
    for (uint32_t i = 0; i < 100; ++i) {
        advance_tracks({TRACK_HATS}, i);
        GetParam().voice(engine.noise_gen);
        ASSERT_TRUE(same_lanes(engine.noise_gen.counter, counter_after(start, i + 1))) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Voices, NoiseDrawTest,
                         ::testing::Values(NoiseVoice{"hats", voice_track10},
                                           NoiseVoice{"sweep", voice_noise_sweep}),
                         [](const auto& info) { return std::string(info.param.name); });

using HatsTest = VoiceTest;

// Runs the hats for `frames` frames on the given notes and curves 13 and 14.
std::vector<Vec4> run_hats(NoteList& notes, float c13, float c14, uint32_t frames) {
    point_cursor(TRACK_HATS, notes);
    set_curve(CURVE_HATS_DECAY, c13);
    set_curve(CURVE_HATS_WIDTH, c14);
    return run_track([] { return voice_track10(engine.noise_gen); }, TRACK_HATS, frames);
}

TEST_F(HatsTest, SilentBeforeFirstNote) {
    NoteList notes{{440.0f, 1.0f, frame_time(1000), frame_time(3000)}};
    std::vector<Vec4> out = run_hats(notes, 0.5f, 1.0f, 1100);
    for (uint32_t i = 0; i < 1000; ++i) ASSERT_TRUE(equal_lanes(out[i], Vec4::zero())) << i;
    bool sounds = false;
    for (uint32_t i = 1000; i < 1100; ++i) sounds |= out[i].lane0() != 0.0f;
    EXPECT_TRUE(sounds);
}

// Curve 14 at 0 takes the mid of the two noise lanes: the hats are mono.
TEST_F(HatsTest, WidthZeroIsMonoWidthOneIsNot) {
    NoteList notes{{440.0f, 1.0f, 0.0f, 1.0f}};
    std::vector<Vec4> mono = run_hats(notes, 0.5f, 0.0f, 2000);
    for (uint32_t i = 0; i < 2000; ++i) ASSERT_EQ(mono[i].lane0(), mono[i].lane(1)) << i;
    EXPECT_NE(mono[1999].lane0(), 0.0f);
    reset_engine_state();
    std::vector<Vec4> wide = run_hats(notes, 0.5f, 1.0f, 2000);
    uint32_t differing = 0;
    for (uint32_t i = 0; i < 2000; ++i) differing += wide[i].lane0() != wide[i].lane(1);
    EXPECT_GT(differing, 1900u);
}

// Velocity 1 sits 20.19 dB above velocity 0 (−9.81 dB against −30 dB); with the
// same noise everything else is equal, so the outputs differ by that factor.
TEST_F(HatsTest, VelocityScale) {
    NoteList loud{{440.0f, 1.0f, 0.0f, 1.0f}};
    std::vector<Vec4> a = run_hats(loud, 0.5f, 1.0f, 3000);
    reset_engine_state();
    NoteList soft{{440.0f, 0.0f, 0.0f, 1.0f}};
    std::vector<Vec4> b = run_hats(soft, 0.5f, 1.0f, 3000);
    const double ratio = std::pow(10.0, 20.189999 / 20.0);
    for (uint32_t i = 100; i < 3000; ++i) {
        if (std::fabs(b[i].lane0()) < 1e-12f) continue;
        ASSERT_NEAR(a[i].lane0() / b[i].lane0(), ratio, 1e-3 * ratio) << i;
    }
}

// Band centre at 14.5 times the note: noise power peaks there against an octave
// either side.
TEST_F(HatsTest, BandCentredAt145TimesTheNote) {
    NoteList notes{{200.0f, 1.0f, 0.0f, 3.0f}};
    std::vector<Vec4> out = run_hats(notes, 0.0f, 1.0f, 4410 + 65536);
    std::vector<float> left;
    for (uint32_t i = 4410; i < out.size(); ++i) left.push_back(out[i].lane0());
    const double centre = band_power(left, 2900.0);
    EXPECT_LT(band_power(left, 1450.0), 0.5 * centre);
    EXPECT_LT(band_power(left, 5800.0), 0.5 * centre);
}

using SweepTest = VoiceTest;

// Curve 8 scales the bed lane by lane: 0 is exact silence while the band-pass
// keeps running, 2 is exactly twice the output at 1.
TEST_F(SweepTest, LevelCurveScalesExactly) {
    const uint32_t frames = 1000;
    std::vector<Vec4> at[3];
    for (int level = 0; level <= 2; ++level) {
        reset_engine_state();
        set_curve(CURVE_SWEEP_CUTOFF, 0.5f);
        set_curve(CURVE_SWEEP_LEVEL, static_cast<float>(level));
        for (uint32_t i = 0; i < frames; ++i)
            at[level].push_back(voice_noise_sweep(engine.noise_gen));
        if (level == 0) {
            EXPECT_NE(engine.noise_sweep.bandpass.s1.lane0(), 0.0f);
        }
    }
    for (uint32_t i = 0; i < frames; ++i) {
        ASSERT_TRUE(equal_lanes(at[0][i], Vec4::zero())) << i;
        ASSERT_TRUE(equal_lanes(at[2][i], Vec4(2.0f) * at[1][i])) << i;
    }
    EXPECT_NE(at[1][frames - 1].lane0(), 0.0f);
}

// Curve 9 is the cutoff knob: 0.5 puts the band at 635 Hz. With Q 0.908 an
// octave either side passes 1/(1 + 0.908²·1.5²) = 0.35 of the centre's power.
TEST_F(SweepTest, BandFollowsCutoffCurve) {
    set_curve(CURVE_SWEEP_CUTOFF, 0.5f);
    set_curve(CURVE_SWEEP_LEVEL, 1.0f);
    std::vector<float> left;
    for (uint32_t i = 0; i < 262144 + 1000; ++i) {
        const float out = voice_noise_sweep(engine.noise_gen).lane0();
        if (i >= 1000) left.push_back(out);
    }
    const double centre_hz = 19.6481 * std::pow(2.0, 10.027 * 0.5) + 0.351948;
    const double centre = band_power(left, centre_hz);
    const double octave = 1.0 / (1.0 + 0.908 * 0.908 * 2.25);
    EXPECT_NEAR(band_power(left, centre_hz / 2.0) / centre, octave, 0.1);
    EXPECT_NEAR(band_power(left, centre_hz * 2.0) / centre, octave, 0.1);
}

}  // namespace
