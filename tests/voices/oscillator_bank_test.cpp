// The oscillator-bank voices: the blip's sine, envelope and velocity scale, the
// solo motif's pulse and gain, the arpeggio's late right channel, and the
// pluck's gate, frozen state and noise.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/dsp/cascade.h"
#include "engine/frame/arrangement.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

using namespace lf;
using namespace lf::voices_test;

namespace {

const double PI = 3.14159265358979323846;

class BlipTest : public VoiceTest, public ::testing::WithParamInterface<float> {};

// A 440 Hz sine times the note's level, 30 dB lower at velocity 0 than at 1;
// 56.25 dB below the attack's peak (60 dB per 8 ms from 0.5 ms to 8 ms) once
// the decay is over, and gone on the frame of the note off (no release).
TEST_P(BlipTest, SineAtNotePitchScaledByLevelAndVelocity) {
    const float velocity = GetParam();
    const uint32_t off_frame = 2205;
    NoteList notes{{440.0f, velocity, 0.0f, frame_time(off_frame)}};
    point_cursor(TRACK_BLIPS, notes);
    const double gain = std::pow(10.0, -30.0 * (1.0 - velocity) / 20.0);
    float peak_level = 0.0f, held_level = 0.0f;
    for (uint32_t i = 0; i < off_frame + 100; ++i) {
        advance_tracks({TRACK_BLIPS}, i);
        const Vec4 out = voice_track23();
        const float level = engine.score.note_cursors[TRACK_BLIPS].level;
        if (i < off_frame) {
            const double sine = std::sin(2.0 * PI * 440.0 * (i + 1) / 44100.0);
            ASSERT_NEAR(out.lane0(), gain * level * sine, 2e-3 * gain * level) << i;
            ASSERT_EQ(out.lane0(), out.lane(1)) << i;
            peak_level = std::max(peak_level, level);
            held_level = level;
        } else {
            ASSERT_EQ(out.lane0(), 0.0f) << i;
            ASSERT_EQ(out.lane(1), 0.0f) << i;
        }
    }
    const double decay = std::pow(10.0, -56.25 / 20.0);
    EXPECT_NEAR(held_level / peak_level, decay, 0.02 * decay);
}

INSTANTIATE_TEST_SUITE_P(Velocities, BlipTest, ::testing::Values(1.0f, 0.5f, 0.0f));

using PulseTest = VoiceTest;

// Row 64 is a pulse of duty 1/4: about 0.75 for a quarter of the cycle and
// −0.25 for the rest, here at 0.418 times that after the 4 kHz low-pass.
TEST_F(PulseTest, SoloMotifIsQuarterDutyPulseAt0418) {
    NoteList notes{{110.0f, 1.0f, 0.0f, 2.0f}};
    point_cursor(TRACK_SOLO, notes);
    double high_sum = 0.0, low_sum = 0.0;
    uint32_t high = 0, low = 0;
    for (uint32_t i = 0; i < 44100; ++i) {
        advance_tracks({TRACK_SOLO}, i);
        const Vec4 out = voice_track21();
        ASSERT_EQ(out.lane0(), out.lane(1)) << i;
        if (i < 4410) continue;
        if (out.lane0() > 0.0f) {
            high_sum += out.lane0();
            ++high;
        } else {
            low_sum += out.lane0();
            ++low;
        }
    }
    EXPECT_NEAR(static_cast<double>(high) / (high + low), 0.25, 0.02);
    EXPECT_NEAR(high_sum / high, 0.418 * 0.75, 0.05 * 0.418 * 0.75);
    EXPECT_NEAR(low_sum / low, -0.418 * 0.25, 0.05 * 0.418 * 0.25);
}

// The right channel is the left one 29400 frames late. The reverb mixes the
// channels, so it is silenced at the two moments compared: it is fresh at the
// start and cleared when the late copy begins, and it answers only 1422
// frames after its input.
TEST_F(PulseTest, ArpeggioRightChannel29400FramesLate) {
    const uint32_t lag = TRACK16_RIGHT_DELAY_FRAMES, window = 1422;
    ASSERT_EQ(lag, 29400u);
    NoteList notes{{220.0f, 1.0f, 0.0f, 0.05f}};
    point_cursor(TRACK_ARP, notes);
    std::vector<Vec4> out(lag + window);
    for (uint32_t i = 0; i < lag + window; ++i) {
        advance_tracks({TRACK_ARP}, i);
        if (i == lag) {
            std::memset(static_cast<void*>(&engine.track16.reverb), 0,
                        sizeof engine.track16.reverb);
        }
        out[i] = voice_track16();
    }
    bool left_sounds = false;
    for (uint32_t k = 0; k < window; ++k) {
        left_sounds |= out[k].lane0() != 0.0f;
        ASSERT_EQ(out[k].lane(1), 0.0f) << k;
        ASSERT_EQ(out[lag + k].lane(1), out[k].lane0()) << k;
    }
    EXPECT_TRUE(left_sounds);
}

// Everything of the pluck that its gate freezes: its whole record.
void watch_pluck(Snapshot& s) {
    s.add(engine.track7);
}

using PluckGateTest = VoiceTest;

TEST_F(PluckGateTest, SilentAndDrawsNoNoiseBeforeFirstNote) {
    NoteList notes{{330.0f, 1.0f, frame_time(500), frame_time(5000)}};
    point_cursor(TRACK_PLUCK, notes);
    point_cursor(TRACK_PLUCK + 1, NoteList::none());
    const Int4 counter = engine.noise_gen.counter;
    Snapshot frozen;
    watch_pluck(frozen);
    for (uint32_t i = 0; i < 500; ++i) {
        advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, i);
        ASSERT_TRUE(equal_lanes(voice_track7(engine.noise_gen), Vec4::zero())) << i;
    }
    EXPECT_TRUE(same_lanes(engine.noise_gen.counter, counter));
    EXPECT_TRUE(frozen.unchanged());
    bool sounds = false;
    for (uint32_t i = 500; i < 600; ++i) {
        advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, i);
        sounds |= voice_track7(engine.noise_gen).lane0() != 0.0f;
        ASSERT_TRUE(same_lanes(engine.noise_gen.counter, counter_after(counter, i - 499))) << i;
    }
    EXPECT_TRUE(sounds);
}

// Released at r, the pluck still runs on the frame where t − r is exactly
// 5.0 s (it draws its noise and its reverb tail sounds), then outputs exact
// zeros, draws nothing and keeps its state until the next note, which resumes
// the frozen tail.
TEST_F(PluckGateTest, RunsAtExactlyFiveSecondsThenFreezes) {
    const uint32_t last_open = 230000, next_note = last_open + 50;
    const float off = frame_time(last_open) - 5.0f;
    ASSERT_EQ(frame_time(last_open) - off, 5.0f);
    ASSERT_GT(frame_time(last_open + 1) - off, 5.0f);
    NoteList notes{{330.0f, 1.0f, 0.0f, off},
                   {440.0f, 1.0f, frame_time(next_note), frame_time(next_note + 1000)}};
    point_cursor(TRACK_PLUCK, notes);
    point_cursor(TRACK_PLUCK + 1, NoteList::none());
    for (uint32_t i = 0; i < last_open; ++i) {
        advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, i);
        voice_track7(engine.noise_gen);
    }
    advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, last_open);
    Int4 counter = engine.noise_gen.counter;
    const Vec4 tail = voice_track7(engine.noise_gen);
    EXPECT_TRUE(tail.lane0() != 0.0f || tail.lane(1) != 0.0f);
    EXPECT_TRUE(same_lanes(engine.noise_gen.counter, counter_after(counter, 1)));

    counter = engine.noise_gen.counter;
    const int32_t reverb_index = engine.track7.reverb.line[8].index;
    Snapshot frozen;
    watch_pluck(frozen);
    for (uint32_t i = last_open + 1; i < next_note; ++i) {
        advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, i);
        const Vec4 out = voice_track7(engine.noise_gen);
        for (int lane = 0; lane < 4; ++lane) ASSERT_EQ(out.lane(lane), 0.0f) << i;
    }
    EXPECT_TRUE(same_lanes(engine.noise_gen.counter, counter));
    EXPECT_TRUE(frozen.unchanged());

    advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, next_note);
    const Vec4 resumed = voice_track7(engine.noise_gen);
    EXPECT_NE(resumed.lane0(), 0.0f);
    EXPECT_TRUE(same_lanes(engine.noise_gen.counter, counter_after(counter, 1)));
    EXPECT_EQ(engine.track7.reverb.line[8].index, ((reverb_index - 1) & RING_MASK));
}

// Runs the pluck with track 7 released early and track 8 playing later; at
// frame `jump` the noise generator is pushed to other values.
std::vector<Vec4> pluck_with_noise_jump(uint32_t jump, uint32_t frames) {
    VoiceTest::reset_engine_state();
    static NoteList first{{330.0f, 1.0f, 0.0f, 0.02f}};
    static NoteList second{{523.0f, 1.0f, 0.5f, 2.0f}};
    point_cursor(TRACK_PLUCK, first);
    point_cursor(TRACK_PLUCK + 1, second);
    std::vector<Vec4> out(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        if (i == jump) engine.noise_gen.counter = counter_after(engine.noise_gen.counter, 12345);
        advance_tracks({TRACK_PLUCK, TRACK_PLUCK + 1}, i);
        out[i] = voice_track7(engine.noise_gen);
    }
    return out;
}

// The noise follows track 7's envelope only: once track 7 has died away, the
// noise values no longer matter, however loud track 8 plays.
TEST_F(PluckGateTest, NoiseFollowsFirstTrackOnly) {
    const uint32_t second_on = 22050, frames = second_on + 500;
    const std::vector<Vec4> base = pluck_with_noise_jump(frames, frames);
    const std::vector<Vec4> late = pluck_with_noise_jump(second_on, frames);
    const std::vector<Vec4> early = pluck_with_noise_jump(1000, frames);
    bool second_sounds = false;
    for (uint32_t i = second_on; i < frames; ++i) {
        second_sounds |= base[i].lane0() != 0.0f;
        ASSERT_TRUE(equal_lanes(late[i], base[i])) << i;
    }
    EXPECT_TRUE(second_sounds);
    bool differs = false;
    for (uint32_t i = 1000; i < 1100; ++i) differs |= !equal_lanes(early[i], base[i]);
    EXPECT_TRUE(differs);
}

}  // namespace
