// The resonator lead: its 7 s gate on track 19, the transposition left in the
// cursors, the pulse row and attack gain formulas, and the resonator tuning
// seen as the delay before the first sound leaves the chain.
#include <cmath>

#include "engine/frame/arrangement.h"
#include "engine/frame/engine_state.h"
#include "engine/startup/score.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

namespace lf::voices_test {
namespace {

class LeadVoice : public VoiceTest {
  protected:
    void watch(Snapshot& s) { s.add(engine.track19); }
};

TEST_F(LeadVoice, SilentAndFrozenUntilTrack19Plays) {
    // Track 20 holds a note, but the gate looks at track 19 only.
    NoteList lead{{440.0f, 1.0f, 1.0f, 2.0f}};
    NoteList second{{523.25f, 1.0f, 0.0f, 2.0f}};
    attach(TRACK_LEAD, lead);
    attach(TRACK_LEAD + 1, second);
    set_curve(CURVE_LEAD_REVERB_FEEDBACK, 0.9f);
    Snapshot before;
    watch(before);
    for (int n = 0; n < 100; ++n) {
        advance(frame_time(n));
        EXPECT_TRUE(is_zero(voice_track19())) << n;
    }
    EXPECT_TRUE(before.unchanged());
    EXPECT_EQ(engine.score.note_cursors[TRACK_LEAD + 1].state.lane(0), 523.25f);
}

TEST_F(LeadVoice, RunsUntilSevenSecondsAfterReleaseThenFreezes) {
    NoteList lead{{440.0f, 1.0f, 0.5f, 1.0f}, {330.0f, 1.0f, 9.0f, 9.5f}};
    attach(TRACK_LEAD, lead);
    attach(TRACK_LEAD + 1, NoteList::none());
    for (int n = 0; n < 100; ++n) {
        advance(0.5f + frame_time(n));
        voice_track19();
    }
    Snapshot open;
    watch(open);
    advance(8.0f);  // exactly 7.0 s after the release
    ASSERT_EQ(engine.score.note_cursors[TRACK_LEAD].state.lane(3), 7.0f);
    voice_track19();
    EXPECT_FALSE(open.unchanged());

    Snapshot closed;
    watch(closed);
    for (float t : {std::nextafter(8.0f, 9.0f), 8.5f}) {
        advance(t);
        EXPECT_TRUE(is_zero(voice_track19())) << t;
        EXPECT_EQ(engine.score.note_cursors[TRACK_LEAD].state.lane(0), 440.0f);
    }
    EXPECT_TRUE(closed.unchanged());

    // The next note opens the gate again.
    advance(9.0f);
    voice_track19();
    EXPECT_FALSE(closed.unchanged());
}

class LeadTranspose : public LeadVoice, public ::testing::WithParamInterface<float> {};

// Later stages see both tracks at note·1.47836·2^C36·1.1789483.
TEST_P(LeadTranspose, FrequencyLanesKeepBothLayersFactors) {
    const float c36 = GetParam();
    NoteList lead{{440.0f, 0.75f, 0.0f, 1.0f}};
    NoteList second{{587.33f, 0.75f, 0.0f, 1.0f}};
    attach(TRACK_LEAD, lead);
    attach(TRACK_LEAD + 1, second);
    set_curve(CURVE_LEAD_TRANSPOSE, c36);
    advance(0.125f);
    voice_track19();
    const double factor = 1.47836 * std::exp2(static_cast<double>(c36)) * 1.1789483;
    EXPECT_NEAR(engine.score.note_cursors[TRACK_LEAD].state.lane(0) / (440.0 * factor), 1.0, 2e-6);
    EXPECT_NEAR(engine.score.note_cursors[TRACK_LEAD + 1].state.lane(0) / (587.33 * factor), 1.0,
                2e-6);
    EXPECT_EQ(engine.score.note_cursors[TRACK_LEAD].state.lane(1), 0.75f);
    EXPECT_EQ(engine.score.note_cursors[TRACK_LEAD].state.lane(2), 0.125f);
}

INSTANTIATE_TEST_SUITE_P(Curve36, LeadTranspose, ::testing::Values(0.0f, -0.25f, -1.0f));

TEST(LeadPulseRow, FollowsVelocityRoundingDown) {
    set_engine_fp_mode();
    EXPECT_EQ(lead_pulse_row(1.0f), 12);
    EXPECT_EQ(lead_pulse_row(0.75f), 46);
    EXPECT_EQ(lead_pulse_row(0.0f), 145);
    // Every velocity of the note lists (steps of 1/64). The fused product is
    // exact here, so the row is the floor of the exact value of the float
    // constants, computed in double.
    for (int step = 0; step <= 64; ++step) {
        float v = step / 64.0f;
        double exact = static_cast<double>(145.92f) - static_cast<double>(133.12f) * v;
        EXPECT_EQ(lead_pulse_row(v), static_cast<int32_t>(std::floor(exact))) << step;
    }
}

TEST(LeadAttackGain, StartsAt181AndSettlesToOne) {
    set_engine_fp_mode();
    EXPECT_EQ(lead_attack_gain(Vec4(0.0f)).lane0(), 1.81f);
    for (int i = 0; i <= 400; ++i) {
        double a = i * 0.0025;
        double s = 20.0 * a;
        double expected = 1.0 + (0.81 - 1.06 * s) / (s * s + 1.0);
        EXPECT_NEAR(lead_attack_gain(Vec4(static_cast<float>(a))).lane0(), expected, 2e-6) << a;
    }
    // Through 1 where 0.81 = 1.06·20·a.
    EXPECT_GT(lead_attack_gain(Vec4(0.0381f)).lane0(), 1.0f);
    EXPECT_LT(lead_attack_gain(Vec4(0.0383f)).lane0(), 1.0f);
}

class LeadTuning : public LeadVoice, public ::testing::WithParamInterface<float> {};

// A new note enters a silent chain. Stage 0 replaces the signal by its loop
// output (mix 1), and so does stage 1, so nothing leaves the chain before the
// sound has crossed the delays of stages 0 and 1: D = 0.5·44100/fr − 0.5 with
// fr = k·g and 2k/g, each read reaching 8 frames short of D, where
// k = max(0.6764252 f, 1) and g the vibrato at the frame of the read.
TEST_P(LeadTuning, FirstSoundAfterTheFirstTwoStageDelays) {
    const float note_hz = GetParam();
    NoteList lead{{note_hz, 1.0f, 0.0f, 2.0f}};
    attach(TRACK_LEAD, lead);
    attach(TRACK_LEAD + 1, NoteList::none());
    const double f = note_hz * 1.47836;  // curve 36 at 0
    const double k = std::max(0.6764252 * f, 1.0);
    auto g = [](int frame) { return std::exp2(-0.007 * std::sin(25.12 * frame / 44100.0)); };
    auto reach = [](double delay) { return std::floor(delay) - 8; };
    int stage0 = 0;  // first frame at which stage 0 puts out sound
    while (stage0 < reach(22050.0 / (k * g(stage0)) - 0.5)) ++stage0;
    int expected = stage0;
    while (expected - reach(22050.0 * g(expected) / (2.0 * k) - 0.5) < stage0) ++expected;

    int first = -1;
    for (int n = 0; n < 34000 && first < 0; ++n) {
        advance(frame_time(n));
        if (!is_zero(voice_track19())) first = n;
    }
    EXPECT_NEAR(first, expected, 2.0) << "k = " << k;
}

// 0.5 Hz is below the 1.478 Hz limit, where the tuning is held at 1 Hz.
INSTANTIATE_TEST_SUITE_P(NoteHz, LeadTuning, ::testing::Values(0.5f, 1.0f, 4.0f, 55.0f));

}  // namespace
}  // namespace lf::voices_test
