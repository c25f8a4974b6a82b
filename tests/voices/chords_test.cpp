// The chord voice: its gate on track 1 alone, the octave rewrite of all six
// frequency lanes, the envelope levels stepped by both layers, and the exact
// bypass of the band shifter at curve 10 = 0.
#include <cmath>
#include <vector>

#include "engine/frame/engine_state.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

namespace lf::voices_test {
namespace {

const float TONE_HZ[6] = {155.56f, 185.0f, 207.65f, 261.63f, 311.13f, 392.0f};

class ChordVoice : public VoiceTest {
  protected:
    // One note per track; track 1 may start later than the others.
    void play_chord(float on, float off, float track1_on) {
        lists_.clear();
        lists_.reserve(6);
        for (int k = 0; k < 6; ++k) {
            float start = k == 0 ? track1_on : on;
            lists_.push_back(NoteList{{TONE_HZ[k], 1.0f, start, off}});
        }
        for (int k = 0; k < 6; ++k) attach(TRACK_CHORD1 + k, lists_[k]);
    }
    // Every object the voice advances.
    void watch(Snapshot& s) {
        s.add(engine.track1);
        s.add(engine.track1.echo_a);
        s.add(engine.track1.unison_phases_24_a);
        s.add(engine.track1.unison_phases_24_b);
    }
    std::vector<NoteList> lists_;
};

TEST_F(ChordVoice, GatedByTrackOneAloneBeforeItsFirstNote) {
    // Tracks 2 to 6 already hold notes, track 1 still stands on its sentinel.
    play_chord(0.5f, 3.0f, 2.0f);
    Snapshot before;
    watch(before);
    for (int n = 0; n < 200; ++n) {
        advance(0.5f + frame_time(n));
        EXPECT_TRUE(is_zero(voice_track1())) << n;
    }
    EXPECT_TRUE(before.unchanged());
    for (int k = 1; k < 6; ++k)
        EXPECT_EQ(engine.score.note_cursors[TRACK_CHORD1 + k].state.lane(0), TONE_HZ[k]) << k;
}

TEST_F(ChordVoice, RunsUntilFiveSecondsAfterReleaseThenFreezes) {
    play_chord(0.5f, 1.0f, 0.5f);
    for (int n = 0; n < 100; ++n) {
        advance(0.5f + frame_time(n));
        voice_track1();
    }
    // 6.0 − 1.0 is exactly 5.0: still open.
    Snapshot open;
    watch(open);
    advance(6.0f);
    ASSERT_EQ(engine.score.note_cursors[TRACK_CHORD1].state.lane(3), 5.0f);
    voice_track1();
    EXPECT_FALSE(open.unchanged());
    EXPECT_EQ(engine.score.note_cursors[TRACK_CHORD1].state.lane(0), 2.0f * TONE_HZ[0]);

    // From the next instant on: silent, nothing advances, no octave rewrite.
    Snapshot closed;
    watch(closed);
    for (float t : {std::nextafter(6.0f, 7.0f), 6.5f, 9.0f}) {
        advance(t);
        EXPECT_TRUE(is_zero(voice_track1())) << t;
        EXPECT_EQ(engine.score.note_cursors[TRACK_CHORD1].state.lane(0), TONE_HZ[0]);
    }
    EXPECT_TRUE(closed.unchanged());
}

TEST_F(ChordVoice, DoublesTheFrequencyLaneOfAllSixTracks) {
    play_chord(0.25f, 2.0f, 0.25f);
    const float t = 0.75f;
    advance(t);
    voice_track1();
    for (int k = 0; k < 6; ++k) {
        Vec4 s = engine.score.note_cursors[TRACK_CHORD1 + k].state;
        EXPECT_EQ(s.lane(0), 2.0f * TONE_HZ[k]) << k;
        EXPECT_EQ(s.lane(1), 1.0f) << k;
        EXPECT_EQ(s.lane(2), t - 0.25f) << k;
        EXPECT_EQ(s.lane(3), t - 2.0f) << k;
    }
}

// Both layers step the same six levels, so a frame moves each envelope twice.
TEST_F(ChordVoice, BothLayersStepTheSameLevels) {
    const float release = 0.05f;
    play_chord(0.0f, release, 0.0f);
    advance(0.0f);
    voice_track1();
    // Two attack steps from 0 with rate (1/44100)/0.001 each: 1 − (1 − r)².
    const double r = 1.0 / 44.1;
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(engine.score.note_cursors[TRACK_CHORD1 + k].level, 1.0 - (1.0 - r) * (1.0 - r),
                    1e-5);

    int n = 1;
    for (; frame_time(n) < release; ++n) {
        advance(frame_time(n));
        voice_track1();
    }
    float at_release[6];
    for (int k = 0; k < 6; ++k) at_release[k] = engine.score.note_cursors[TRACK_CHORD1 + k].level;
    // 60 dB per release time per step: 60 dB in 0.0056 s with two steps a frame.
    const int frames = 247;
    for (int m = 1; m <= frames; ++m) {
        advance(frame_time(n + m));
        voice_track1();
    }
    const double expected = std::pow(1000.0, -frames / (0.0112 * 44100.0 / 2.0));
    for (int k = 0; k < 6; ++k) {
        double ratio = engine.score.note_cursors[TRACK_CHORD1 + k].level / at_release[k];
        EXPECT_NEAR(ratio / expected, 1.0, 0.01) << k;
    }
}

class ChordShiftMix : public ChordVoice, public ::testing::WithParamInterface<float> {};

// y = l + C10·(b − l): at C10 = 0 the band shifter's state cannot reach the
// output, while the shifter still runs.
TEST_P(ChordShiftMix, BandShifterReachesTheOutputOnlyThroughCurve10) {
    const float mix = GetParam();
    play_chord(0.0f, 2.0f, 0.0f);
    set_curve(CURVE_CHORD_SHIFT_MIX, mix);
    set_curve(CURVE_CHORD_SHIFT_DELAY, 0.5f);
    Snapshot start;
    watch(start);
    start.add(engine.score.note_cursors);

    const int frames = 1500;
    auto render = [&] { return render_voice(voice_track1, frames); };
    const int32_t index_before = engine.track1.band_shifter.shifter[0].ring.index;
    std::vector<Vec4> clean = render();
    EXPECT_EQ((index_before - engine.track1.band_shifter.shifter[0].ring.index) & RING_MASK,
              frames);

    start.restore();
    disturb(engine.track1.band_shifter);
    std::vector<Vec4> disturbed = render();

    expect_heard_only_through_mix(mix, clean, disturbed);
}

INSTANTIATE_TEST_SUITE_P(Mix, ChordShiftMix, ::testing::Values(0.0f, 1.0f));

}  // namespace
}  // namespace lf::voices_test
