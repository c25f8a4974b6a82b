// The bass voice: the pitch envelope left in both tracks' frequency lanes, one
// noise draw per frame whatever the curves say, the exact bypasses of the
// noise layer, the resonator bank and the band shifter, and the decay time
// taken from curve 20.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "engine/dsp/math.h"
#include "engine/frame/engine_state.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"
#include "tests/voices/voice_harness.h"

namespace lf::voices_test {
namespace {

class BassVoice : public VoiceTest {
  protected:
    void SetUp() override {
        VoiceTest::SetUp();
        // Open, neutral settings; each test changes what it looks at.
        set_curve(CURVE_BASS_CUTOFF, 0.6f);
        set_curve(CURVE_BASS_NOISE, 0.5f);
        set_curve(CURVE_BASS_SHELF, 0.5f);
        set_curve(CURVE_BASS_DECAY, 0.3f);
        set_curve(CURVE_BASS_BANK_MIX, 0.5f);
        set_curve(CURVE_BASS_SHIFT_HZ, 1.0f);
        set_curve(CURVE_BASS_SHIFT_DELAY, 0.5f);
        set_curve(CURVE_BASS_SHIFT_MIX, 0.5f);
        set_curve(CURVE_BASS_OUT_CUTOFF, 1.0f);
        set_curve(CURVE_BASS_TRANSPOSE, 0.0f);
    }
    // Everything the voice moves.
    void watch(Snapshot& s) {
        s.add(engine.track14);
        s.add(engine.track14.unison_phases_8);
        s.add(engine.track14.eq3_a);
        s.add(engine.track14.allpass_cascade_55);
        s.add(engine.track14.resonator_bank_b);
        s.add(engine.noise_gen);
        s.add(engine.score.note_cursors);
    }
    std::vector<Vec4> render(int first, int frames) {
        return render_voice([] { return voice_track14(engine.noise_gen); }, frames, first);
    }
    NoteList bass_{{55.0f, 1.0f, 0.0f, 10.0f}};
    NoteList sub_{{41.2f, 0.75f, 0.0f, 10.0f}};
};

class BassPitch : public BassVoice, public ::testing::WithParamInterface<float> {};

// Both tracks sound at note·2^(2·C28 + 2.43333·L1) for the rest of the frame.
TEST_P(BassPitch, EnvelopeAndCurve28RewriteBothTracks) {
    const float c28 = GetParam();
    set_curve(CURVE_BASS_TRANSPOSE, c28);
    attach(TRACK_BASS, bass_);
    attach(TRACK_BASS + 1, sub_);
    float peak = 0.0f;
    for (int n = 0; n < 8000; ++n) {
        advance(frame_time(n));
        voice_track14(engine.noise_gen);
        const double level = engine.track14.pitch_level;
        peak = std::max(peak, engine.track14.pitch_level);
        const double p = std::exp2(2.0 * c28 + 2.43333 * level);
        ASSERT_NEAR(engine.score.note_cursors[TRACK_BASS].state.lane(0) / (55.0 * p), 1.0, 2e-6)
            << n;
        ASSERT_NEAR(engine.score.note_cursors[TRACK_BASS + 1].state.lane(0) / (41.2 * p), 1.0, 2e-6)
            << n;
    }
    // The attack reaches the top: about 29.2 semitones above the note.
    EXPECT_GT(peak, 0.99f);
}

INSTANTIATE_TEST_SUITE_P(Curve28, BassPitch, ::testing::Values(0.0f, 0.5f));

// No note on track 14 yet: L1 stays 0, p = 1, and the voice still draws
// exactly one noise value per frame with the noise layer at 0.
TEST_F(BassVoice, BeforeTheFirstNoteFrequenciesStayAndNoiseIsDrawn) {
    set_curve(CURVE_BASS_NOISE, 0.0f);
    attach(TRACK_BASS, NoteList::none());
    attach(TRACK_BASS + 1, sub_);
    for (int n = 0; n < 50; ++n) {
        advance(frame_time(n));
        const Int4 before = engine.noise_gen.counter;
        voice_track14(engine.noise_gen);
        ASSERT_TRUE(same_lanes(engine.noise_gen.counter, counter_after(before, 1))) << n;
        ASSERT_EQ(engine.track14.pitch_level, 0.0f);
        ASSERT_EQ(engine.score.note_cursors[TRACK_BASS + 1].state.lane(0), 41.2f);
    }
}

class BassNoise : public BassVoice, public ::testing::WithParamInterface<float> {};

// Other noise values change the output only while curve 18 lets the layer in.
TEST_P(BassNoise, Curve18ZeroSilencesTheNoiseLayer) {
    const float c18 = GetParam();
    set_curve(CURVE_BASS_NOISE, c18);
    attach(TRACK_BASS, bass_);
    attach(TRACK_BASS + 1, sub_);
    Snapshot start;
    watch(start);
    std::vector<Vec4> clean = render(0, 1500);
    start.restore();
    engine.noise_gen.counter = engine.noise_gen.counter + Int4(0x2468ace);
    std::vector<Vec4> other = render(0, 1500);
    if (c18 == 0.0f)
        EXPECT_EQ(differing(clean, other), 0);
    else
        EXPECT_GT(differing(clean, other), 750);
}

INSTANTIATE_TEST_SUITE_P(Curve18, BassNoise, ::testing::Values(0.0f, 0.5f));

struct BypassCase {
    const char* name;
    int curve;
    float mix;
};
void PrintTo(const BypassCase& c, std::ostream* os) {
    *os << c.name;
}

class BassBypass : public BassVoice, public ::testing::WithParamInterface<BypassCase> {};

// y11 = y10 + C22·(b − y10) and y12 = y11 + C26·(s − y11): at 0 the unit's
// state cannot reach the output, yet the unit keeps running.
TEST_P(BassBypass, UnitReachesTheOutputOnlyThroughItsCurve) {
    const BypassCase c = GetParam();
    set_curve(c.curve, c.mix);
    attach(TRACK_BASS, bass_);
    attach(TRACK_BASS + 1, sub_);
    Snapshot start;
    watch(start);
    Snapshot unit;
    if (c.curve == CURVE_BASS_BANK_MIX)
        unit.add(engine.track14.resonator_bank_b);
    else
        unit.add(engine.track14.band_shifter);

    const int frames = 1500;
    std::vector<Vec4> clean = render(0, frames);
    EXPECT_FALSE(unit.unchanged());

    start.restore();
    if (c.curve == CURVE_BASS_BANK_MIX)
        disturb(engine.track14.resonator_bank_b);
    else
        disturb(engine.track14.band_shifter);
    std::vector<Vec4> disturbed = render(0, frames);
    expect_heard_only_through_mix(c.mix, clean, disturbed);
}

INSTANTIATE_TEST_SUITE_P(Curves, BassBypass,
                         ::testing::Values(BypassCase{"BankAt0", CURVE_BASS_BANK_MIX, 0.0f},
                                           BypassCase{"BankAt1", CURVE_BASS_BANK_MIX, 1.0f},
                                           BypassCase{"ShifterAt0", CURVE_BASS_SHIFT_MIX, 0.0f},
                                           BypassCase{"ShifterAt1", CURVE_BASS_SHIFT_MIX, 1.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

class BassDecay : public BassVoice, public ::testing::WithParamInterface<float> {};

// D = 1.75·gain(min(0.257 + C20, 1)) with the gain knob in closed form; the
// amplitude falls 30 dB and the noise layer 16 dB per D until the age reaches D.
TEST_P(BassDecay, Curve20SetsTheDecayOfBothEnvelopes) {
    const float c20 = GetParam();
    set_curve(CURVE_BASS_DECAY, c20);
    attach(TRACK_BASS, bass_);
    attach(TRACK_BASS + 1, NoteList::none());

    const double x = std::min(0.257 + c20, 1.0);
    const double decay_s = 1.75 * std::min(20.0 * x, 3.5 - 2.5 * x) * std::pow(10.0, 4.0 * x - 3.0);

    const int from = 88, to = 11025;  // ages 2 ms and 0.25 s, past the attack
    float amp_from = 0, noise_from = 0;
    int decaying = 0;
    for (int n = 0; n <= to; ++n) {
        advance(frame_time(n));
        voice_track14(engine.noise_gen);
        if (n == from) {
            amp_from = engine.score.note_cursors[TRACK_BASS].level;
            noise_from = engine.track14.noise_level;
        }
        if (n > from && frame_time(n) < decay_s) ++decaying;
    }
    const double seconds = decaying / 44100.0;
    const double amp_ratio = std::pow(10.0, -30.0 / 20.0 * seconds / decay_s);
    const double noise_ratio = std::pow(10.0, -16.0 / 20.0 * seconds / decay_s);
    EXPECT_NEAR(engine.score.note_cursors[TRACK_BASS].level / amp_from / amp_ratio, 1.0, 0.005);
    EXPECT_NEAR(engine.track14.noise_level / noise_from / noise_ratio, 1.0, 0.005);
}

// 0.743 and above put the knob at its top: D = 17.5 s.
INSTANTIATE_TEST_SUITE_P(Curve20, BassDecay, ::testing::Values(0.0f, 0.3f, 0.743f, 1.0f));

}  // namespace
}  // namespace lf::voices_test
