// The gliding pulse voice: first notes on pitch, the portamento linear in
// log-frequency from the slot's previous note, the vibrato left in the
// frequency lanes, the pulse-width row, and the dry signal at curve 32 = 0.
#include <cmath>
#include <vector>

#include "engine/frame/engine_state.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

namespace lf::voices_test {
namespace {

class GlideVoice : public VoiceTest {
  protected:
    void SetUp() override {
        VoiceTest::SetUp();
        set_curve(CURVE_GLIDE_REVERB_FEEDBACK, 0.8f);
    }
    float frequency(int slot) const {
        return engine.score.note_cursors[TRACK_GLIDE + slot].state.lane(0);
    }
};

// Vibrato factor of a note of age a, in closed form.
double vibrato(double a) {
    return std::exp2(0.1 * std::min(1.0, 0.333 * a) * std::sin(30.677803 * a));
}

TEST_F(GlideVoice, FirstNoteOfEachSlotStartsOnPitch) {
    NoteList first{{440.0f, 0.5f, 0.5f, 1.0f}};
    NoteList second{{659.25f, 0.5f, 2.0f, 3.0f}};
    attach(TRACK_GLIDE, first);
    attach(TRACK_GLIDE + 1, second);
    // Before any note both slots are silent and the glide memory stays empty.
    advance(0.25f);
    voice_track17();
    EXPECT_EQ(engine.track17.glide[0], 0.0f);
    EXPECT_EQ(engine.track17.glide[1], 0.0f);
    // At age 0 the vibrato factor is exactly 1.
    advance(0.5f);
    voice_track17();
    EXPECT_EQ(frequency(0), 440.0f);
    EXPECT_EQ(engine.track17.glide[0], 440.0f);
    // Slot 1's first note ignores what slot 0 played.
    advance(2.0f);
    voice_track17();
    EXPECT_EQ(engine.track17.glide[1], 659.25f);
    EXPECT_NEAR(frequency(1) / (659.25 * vibrato(1.5)), 1.0, 2e-4);
}

// An octave up, ten seconds after the previous note of the slot ended: the
// slide starts from that note, is half-way (six semitones) at 12.25 ms and
// lands on the note at 24.5 ms.
TEST_F(GlideVoice, OctaveGlideIsLinearInPitch) {
    const float low = 220.0f, high = 440.0f, on = 11.0f;
    NoteList notes{{low, 0.5f, 0.25f, 1.0f}, {high, 0.5f, on, 12.0f}};
    attach(TRACK_GLIDE, notes);
    attach(TRACK_GLIDE + 1, NoteList::none());
    advance(0.5f);
    voice_track17();
    EXPECT_EQ(engine.track17.glide[0], low);

    double previous = -1.0;
    bool landed = false;
    for (int n = 0; n < 1200; ++n) {
        advance(on + frame_time(n));
        voice_track17();
        const float age = engine.score.note_cursors[TRACK_GLIDE].state.lane(2);
        const double octaves = std::log2(engine.track17.glide[0] / high);
        if (age >= 0.0245f) {
            ASSERT_EQ(engine.track17.glide[0], high) << n;
            landed = true;
            continue;
        }
        // Each frame covers 1/frames-left of the rest: after the frame of age
        // a the distance left is 1 − (a + 1/44100)/0.0245 of the octave.
        const double left = 1.0 - (age + 1.0 / 44100.0) / 0.0245;
        ASSERT_NEAR(octaves, -left, 2e-3) << n;
        ASSERT_GT(octaves, previous) << n;
        previous = octaves;
        if (std::fabs(age - 0.01225) < 0.5 / 44100.0) {
            EXPECT_NEAR(12.0 * octaves, -6.0, 0.05);
        }
        ASSERT_NEAR(frequency(0) / (engine.track17.glide[0] * vibrato(age)), 1.0, 2e-4) << n;
    }
    EXPECT_TRUE(landed);
}

// At an age of exactly 24.5 ms no glide frame is left: the note is reached.
TEST_F(GlideVoice, OnPitchAtExactlyTheGlideTime) {
    NoteList notes{{220.0f, 0.5f, -1.0f, -0.5f}, {330.0f, 0.5f, 0.0f, 1.0f}};
    attach(TRACK_GLIDE, notes);
    attach(TRACK_GLIDE + 1, NoteList::none());
    advance(-0.75f);
    voice_track17();
    for (int n = 0; frame_time(n) < 0.0245f; ++n) {
        advance(frame_time(n));
        voice_track17();
    }
    // The last frame before it has less than one frame left and overshoots a
    // little; it is not yet the note.
    EXPECT_NE(engine.track17.glide[0], 330.0f);
    advance(0.0245f);
    ASSERT_EQ(engine.score.note_cursors[TRACK_GLIDE].state.lane(2), 0.0245f);
    voice_track17();
    EXPECT_EQ(engine.track17.glide[0], 330.0f);
}

TEST_F(GlideVoice, VibratoGrowsOverThreeSeconds) {
    NoteList note{{330.0f, 0.5f, 0.0f, 8.0f}};
    attach(TRACK_GLIDE, note);
    attach(TRACK_GLIDE + 1, NoteList::none());
    for (float a : {0.1f, 0.5f, 1.05f, 2.2f, 3.5f, 6.0f}) {
        advance(a);
        voice_track17();
        EXPECT_NEAR(frequency(0) / (330.0 * vibrato(a)), 1.0, 2e-4) << a;
    }
}

TEST(GlidePulseRow, SweepsBetweenRows107And230) {
    set_engine_fp_mode();
    EXPECT_EQ(glide_pulse_row(Vec4(0.0f)), 168);
    int lowest = 256, highest = 0;
    for (int i = 0; i <= 5000; ++i) {
        const double a = i * 0.001;
        const int row = glide_pulse_row(Vec4(static_cast<float>(a)));
        const double exact = 256.0 * (0.66 + 0.24 * std::sin(2.512 * a));
        // The sine approximation is within 0.001: at most one row off.
        EXPECT_LE(std::fabs(row - std::floor(exact)), 1.0) << a;
        lowest = std::min(lowest, row);
        highest = std::max(highest, row);
    }
    EXPECT_EQ(lowest, 107);
    EXPECT_EQ(highest, 230);
}

class GlideReverbMix : public GlideVoice, public ::testing::WithParamInterface<float> {};

// out = w + C32·(wet − w): the reverb's state reaches the output only
// through curve 32, and the reverb runs on every frame (no gate).
TEST_P(GlideReverbMix, ReverbReachesTheOutputOnlyThroughCurve32) {
    const float mix = GetParam();
    set_curve(CURVE_GLIDE_REVERB_MIX, mix);
    NoteList note{{330.0f, 0.5f, 0.0f, 8.0f}};
    attach(TRACK_GLIDE, note);
    attach(TRACK_GLIDE + 1, NoteList::none());
    Snapshot start;
    start.add(engine.track17);
    start.add(engine.track17.unison_phases_4);
    start.add(engine.track17.eq3_b);
    start.add(engine.track17.eq3_c);
    start.add(engine.track17.echo_b);
    start.add(engine.score.note_cursors);

    const int frames = 1500;
    auto render = [&] { return render_voice(voice_track17, frames); };
    const int32_t index_before = engine.track17.reverb.line[0].index;
    std::vector<Vec4> clean = render();
    EXPECT_EQ((index_before - engine.track17.reverb.line[0].index) & RING_MASK, frames);

    start.restore();
    disturb(engine.track17.reverb);
    std::vector<Vec4> disturbed = render();
    expect_heard_only_through_mix(mix, clean, disturbed);
}

INSTANTIATE_TEST_SUITE_P(Mix, GlideReverbMix, ::testing::Values(0.0f, 1.0f));

}  // namespace
}  // namespace lf::voices_test
