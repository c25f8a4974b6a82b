// The sample-playback voices: silence until the first note, the crash's
// constant before it, root pitches and start offsets, the mid/side signs, the
// Haas lags and the ride's pan.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "engine/frame/arrangement.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

using namespace lf;
using namespace lf::voices_test;

namespace {

// Equal-tempered pitch of a note number, note 69 at 440 Hz.
double note_hz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

struct SampleVoice {
    const char* name;
    VoiceFn voice;
    int track;
    SamplePlayer* player_a;
    SamplePlayer* player_b;  // null for one-sample voices
    int sample_a, sample_b;
    int root_note;  // plays the sample at its recorded speed
    float start_offset;
};

const SampleVoice SAMPLE_VOICES[] = {
    {"snare", voice_track13, 13, &engine.track13.player_sample1, nullptr, 1, 0, 71, 238.0f},
    {"crash", voice_track12, 12, &engine.track12.player_sample3_a, &engine.track12.player_sample4_a,
     3, 4, 69, 0.0f},
    {"crash_reverb", voice_track22, 22, &engine.track22.player_sample3_b,
     &engine.track22.player_sample4_b, 3, 4, 69, 0.0f},
    {"kick", voice_track11, 11, &engine.track11.player_sample2, nullptr, 2, 0, 69, 0.0f},
    {"ride", voice_track9, 9, &engine.track9.player_sample5, nullptr, 5, 0, 72, 0.0f},
    {"break", voice_track0, 0, &engine.track0.player_sample6, &engine.track0.player_sample7, 6, 7,
     34, 0.0f},
};

float never_zero(uint32_t i) {
    return 0.25f + 0.5f * std::sin(0.01f * static_cast<float>(i));
}

void PrintTo(const SampleVoice& v, std::ostream* os) {
    *os << v.name;
}

class SampleVoiceTest : public VoiceTest, public ::testing::WithParamInterface<SampleVoice> {};

TEST_P(SampleVoiceTest, PlaysAtRootSpeedFromStartOffset) {
    const SampleVoice& v = GetParam();
    for (int octave = 1; octave <= 2; ++octave) {
        reset_engine_state();
        const float hz = static_cast<float>(note_hz(v.root_note) * octave);
        NoteList notes{{hz, 1.0f, frame_time(10), frame_time(5000)}};
        point_cursor(v.track, notes);
        run_track(v.voice, v.track, 1011);  // the note's frames 10 .. 1010
        const double expected = v.start_offset + 1001.0 * octave;
        EXPECT_NEAR(v.player_a->position.lane0(), expected, 1e-3 * expected) << "octave " << octave;
        if (v.player_b) {
            EXPECT_TRUE(equal_lanes(v.player_b->position, v.player_a->position));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Voices, SampleVoiceTest, ::testing::ValuesIn(SAMPLE_VOICES),
                         [](const auto& info) { return std::string(info.param.name); });

// Every sample voice but the crash starts with idle players.
class IdleVoiceTest : public SampleVoiceTest {};

TEST_P(IdleVoiceTest, SilentUntilFirstNote) {
    const SampleVoice& v = GetParam();
    fill_sample(v.sample_a, never_zero);
    if (v.sample_b) fill_sample(v.sample_b, never_zero);
    NoteList notes{
        {static_cast<float>(note_hz(v.root_note)), 1.0f, frame_time(200), frame_time(3000)}};
    point_cursor(v.track, notes);
    std::vector<Vec4> out = run_track(v.voice, v.track, 400);
    for (uint32_t i = 0; i < 200; ++i) ASSERT_TRUE(equal_lanes(out[i], Vec4::zero())) << i;
    bool sounds = false;
    for (uint32_t i = 200; i < 400; ++i) sounds |= out[i].lane0() != 0.0f;
    EXPECT_TRUE(sounds);
}

INSTANTIATE_TEST_SUITE_P(Voices, IdleVoiceTest,
                         ::testing::Values(SAMPLE_VOICES[0], SAMPLE_VOICES[2], SAMPLE_VOICES[3],
                                           SAMPLE_VOICES[4], SAMPLE_VOICES[5]),
                         [](const auto& info) { return std::string(info.param.name); });

// The fixed chains against the cookbook responses in double precision: a
// recorded sine played at its root pitch comes out scaled by the chain's gain.
struct ChainCase {
    const char* name;
    VoiceFn voice;
    int track;
    int sample;
    int root_note;
    double hz;
    double (*gain)(double hz);
};

double snare_gain(double hz) {
    return 0.7 * cookbook_gain(test::Design::Highpass, 100.0, 0.666, 1.0, hz) *
           cookbook_gain(test::Design::Peaking, 768.0, 1.77683, 0.376, hz) *
           cookbook_gain(test::Design::Peaking, 5114.4, 0.6, 1.2, hz);
}

double crash_gain(double hz) {
    return cookbook_gain(test::Design::Peaking, 777.5, 0.666, 0.316228, hz);
}

void PrintTo(const ChainCase& c, std::ostream* os) {
    *os << c.name << " at " << c.hz << " Hz";
}

class ChainTest : public VoiceTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainTest, SineScaledByCookbookResponse) {
    const ChainCase& c = GetParam();
    const double pi = 3.14159265358979323846;
    fill_sample(c.sample, [&](uint32_t i) {
        return static_cast<float>(0.5 * std::sin(2.0 * pi * c.hz * i / 44100.0));
    });
    if (c.track == TRACK_CRASH) fill_sample(4, [](uint32_t) { return 0.0f; });
    NoteList notes{{static_cast<float>(note_hz(c.root_note)), 1.0f, 0.0f, 1.0f}};
    point_cursor(c.track, notes);
    std::vector<Vec4> out = run_track(c.voice, c.track, 14000);
    std::vector<float> left;
    for (const Vec4& o : out) left.push_back(o.lane0());
    const double expected = 0.5 * c.gain(c.hz);
    EXPECT_NEAR(sine_amplitude(left, 4000, 14000), expected, 0.02 * expected);
}

INSTANTIATE_TEST_SUITE_P(
    Voices, ChainTest,
    ::testing::Values(ChainCase{"snare", voice_track13, 13, 1, 71, 300.0, snare_gain},
                      ChainCase{"snare", voice_track13, 13, 1, 71, 768.0, snare_gain},
                      ChainCase{"snare", voice_track13, 13, 1, 71, 5114.4, snare_gain},
                      ChainCase{"crash", voice_track12, 12, 3, 69, 777.5, crash_gain},
                      ChainCase{"crash", voice_track12, 12, 3, 69, 3000.0, crash_gain}),
    [](const auto& info) {
        return std::string(info.param.name) + "_" +
               std::to_string(static_cast<int>(info.param.hz)) + "Hz";
    });

using CrashTest = VoiceTest;

// The crash's players start at position 0, not idle: before the first note they
// hold their first value at the velocity-0 gain, through the peaking cut whose
// gain at DC is 1.
TEST_F(CrashTest, PlaysConstantBeforeFirstNote) {
    fill_sample(3, [](uint32_t i) { return i == 0 ? 0.5f : 0.9f; });
    fill_sample(4, [](uint32_t i) { return i == 0 ? 0.125f : -0.7f; });
    NoteList notes{{440.0f, 1.0f, frame_time(3000), frame_time(6000)}};
    point_cursor(TRACK_CRASH, notes);
    std::vector<Vec4> out = run_track(voice_track12, TRACK_CRASH, 3001);
    const double gain0 = std::pow(10.0, -30.0 / 20.0);
    EXPECT_NE(out[0].lane0(), 0.0f);
    EXPECT_NEAR(out[2999].lane0(), 0.625 * gain0, 1e-4 * 0.625 * gain0);
    EXPECT_NEAR(out[2999].lane(1), 0.375 * gain0, 1e-4 * 0.375 * gain0);
    EXPECT_EQ(out[2999].lane0(), out[2998].lane0());
    // The note retriggers both players at full velocity.
    EXPECT_GT(out[3000].lane0(), 5.0f * out[2999].lane0());
}

// Sample B adds to the left and subtracts from the right.
TEST_F(CrashTest, MidSideSigns) {
    NoteList notes{{440.0f, 1.0f, 0.0f, frame_time(40000)}};
    const uint32_t frames = 3000;

    fill_sample(3, never_zero);
    fill_sample(4, [](uint32_t) { return 0.0f; });
    point_cursor(TRACK_CRASH, notes);
    std::vector<Vec4> a_only = run_track(voice_track12, TRACK_CRASH, frames);
    for (uint32_t i = 0; i < frames; ++i) ASSERT_EQ(a_only[i].lane0(), a_only[i].lane(1)) << i;

    reset_engine_state();
    fill_sample(3, never_zero);
    fill_sample(4, never_zero);
    point_cursor(TRACK_CRASH, notes);
    std::vector<Vec4> equal = run_track(voice_track12, TRACK_CRASH, frames);
    for (uint32_t i = 0; i < frames; ++i) ASSERT_EQ(equal[i].lane(1), 0.0f) << i;
    EXPECT_NE(equal[frames - 1].lane0(), 0.0f);

    reset_engine_state();
    fill_sample(3, [](uint32_t) { return 0.0f; });
    fill_sample(4, [](uint32_t) { return 0.25f; });
    point_cursor(TRACK_CRASH, notes);
    std::vector<Vec4> b_only = run_track(voice_track12, TRACK_CRASH, frames);
    for (uint32_t i = 0; i < frames; ++i) {
        const float l = b_only[i].lane0(), r = b_only[i].lane(1);
        ASSERT_NEAR(l, -r, 1e-4f * 0.25f) << i;  // directed rounding is not odd-symmetric
    }
    EXPECT_NEAR(b_only[frames - 1].lane0(), 0.25f, 1e-3f);
    EXPECT_NEAR(b_only[frames - 1].lane(1), -0.25f, 1e-3f);
}

struct HaasCase {
    const char* name;
    VoiceFn voice;
    int track;
    int sample_a, sample_b;
    int root_note;
    uint32_t lag;
    uint32_t exact_frames;  // after the onset: the reverb's first echo comes at 1422
};

void PrintTo(const HaasCase& c, std::ostream* os) {
    *os << c.name;
}

class HaasTest : public VoiceTest, public ::testing::WithParamInterface<HaasCase> {};

// With sample B silent the two channels carry the same signal, so the right
// channel is the left one `lag` frames late, bit for bit, until a reverb's
// first echo (if the voice has one) mixes them.
TEST_P(HaasTest, RightLagsLeft) {
    const HaasCase& c = GetParam();
    const uint32_t onset = 50;
    fill_sample(c.sample_a, [](uint32_t i) { return 0.1f + 0.3f * std::sin(0.02f * i); });
    fill_sample(c.sample_b, [](uint32_t) { return 0.0f; });
    NoteList notes{
        {static_cast<float>(note_hz(c.root_note)), 1.0f, frame_time(onset), frame_time(40000)}};
    point_cursor(c.track, notes);
    const uint32_t end = onset + c.exact_frames;
    std::vector<Vec4> out = run_track(c.voice, c.track, end);
    bool left_sounds = false;
    for (uint32_t i = 0; i < end; ++i) {
        left_sounds |= out[i].lane0() != 0.0f;
        const float late_left = i >= c.lag ? out[i - c.lag].lane0() : 0.0f;
        ASSERT_EQ(out[i].lane(1), late_left) << "frame " << i;
    }
    EXPECT_TRUE(left_sounds);
}

INSTANTIATE_TEST_SUITE_P(Voices, HaasTest,
                         ::testing::Values(HaasCase{"crash_reverb", voice_track22, 22, 3, 4, 69,
                                                    529, 1422},
                                           HaasCase{"break", voice_track0, 0, 6, 7, 34, 705, 4000}),
                         [](const auto& info) { return std::string(info.param.name); });

using CrashReverbTest = VoiceTest;

// Until the reverb's first echo (1422 frames after its input) the crash through
// reverb is 0.74 of its dry signal; then the reverb joins.
TEST_F(CrashReverbTest, DryAt074UntilReverbAnswers) {
    fill_sample(3, [](uint32_t) { return 0.5f; });
    fill_sample(4, [](uint32_t) { return 0.0f; });
    NoteList notes{{440.0f, 1.0f, 0.0f, 1.0f}};
    point_cursor(TRACK_CRASH_REVERB, notes);
    std::vector<Vec4> out = run_track(voice_track22, TRACK_CRASH_REVERB, 3000);
    for (uint32_t i = 0; i < 1422; ++i) ASSERT_NEAR(out[i].lane0(), 0.74f * 0.5f, 1e-5f) << i;
    double deviation = 0.0;
    for (uint32_t i = 1422; i < 3000; ++i) {
        deviation = std::max(deviation, std::fabs(out[i].lane0() - 0.37));
    }
    EXPECT_GT(deviation, 1e-3);
}

using BreakTest = VoiceTest;

// The break's shifter moves the loop down by 4.09 Hz and adds it to the
// all-passed dry loop: a 1000 Hz tone beats against its shifted copy, with a
// null every 1/4.09 s (10782 frames).
TEST_F(BreakTest, ShiftedCopyBeatsAt409Hz) {
    const double pi = 3.14159265358979323846;
    fill_sample(6, [&](uint32_t i) {
        return static_cast<float>(0.4 * std::sin(2 * pi * 1000.0 * i / 44100.0));
    });
    fill_sample(7, [](uint32_t) { return 0.0f; });
    NoteList notes{{static_cast<float>(note_hz(34)), 1.0f, 0.0f, 2.0f}};
    point_cursor(TRACK_BREAK, notes);
    std::vector<Vec4> out = run_track(voice_track0, TRACK_BREAK, 56000);
    // Envelope in blocks of 100 frames.
    std::vector<double> envelope;
    for (uint32_t b = 10; b < 560; ++b) {
        double sum = 0.0;
        for (uint32_t i = b * 100; i < b * 100 + 100; ++i) sum += out[i].lane0() * out[i].lane0();
        envelope.push_back(std::sqrt(sum / 100.0));
    }
    const double peak = *std::max_element(envelope.begin(), envelope.end());
    std::vector<size_t> nulls;
    for (size_t b = 20; b + 20 < envelope.size(); ++b) {
        bool lowest = envelope[b] < 0.2 * peak;
        for (size_t k = b - 20; k <= b + 20; ++k) lowest &= envelope[k] >= envelope[b];
        if (lowest) nulls.push_back(b);
    }
    ASSERT_GE(nulls.size(), 3u);
    for (size_t n = 1; n < nulls.size(); ++n) {
        EXPECT_NEAR(static_cast<double>(nulls[n] - nulls[n - 1]), 44100.0 / 4.09 / 100.0, 3.0);
    }
}

using RideTest = VoiceTest;

TEST_F(RideTest, SitsRightAtFullLevelAndLeftAt054) {
    fill_sample(5, [](uint32_t) { return 0.5f; });
    NoteList notes{{static_cast<float>(note_hz(72)), 1.0f, 0.0f, 1.0f}};
    point_cursor(TRACK_RIDE, notes);
    std::vector<Vec4> out = run_track(voice_track9, TRACK_RIDE, 100);
    for (const Vec4& o : out) {
        EXPECT_NEAR(o.lane(1), 0.5f, 1e-6f);
        EXPECT_NEAR(o.lane0() / o.lane(1), 0.54f, 1e-6f);
        EXPECT_EQ(o.lane(2), o.lane0());
        EXPECT_EQ(o.lane(3), o.lane0());
    }
}

using KickTest = VoiceTest;

// The kick plays positions below 29680 and is silent from the frame its
// position reaches it, although the decoded sample runs on.
TEST_F(KickTest, SilentOnceLengthReached) {
    ASSERT_GT(sample_decoded_length(2), 29681u);
    fill_sample(2, [](uint32_t) { return 1.0f; });
    NoteList notes{{440.0f, 1.0f, 0.0f, 2.0f}};
    point_cursor(TRACK_KICK, notes);
    bool before = false, after = false;
    for (uint32_t i = 0; i < 29900; ++i) {
        advance_tracks({TRACK_KICK}, i);
        const float position = engine.track11.player_sample2.position.lane0();
        const float out = voice_track11().lane0();
        if (i < 29500) continue;
        EXPECT_EQ(out != 0.0f, position < 29680.0f) << "frame " << i << " position " << position;
        (position < 29680.0f ? before : after) = true;
    }
    EXPECT_TRUE(before && after);
}

}  // namespace
