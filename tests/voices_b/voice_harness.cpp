#include "tests/voices_b/voice_harness.h"

#include <algorithm>

#include "engine/dsp/math.h"
#include "engine/frame/engine.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/bass_state.h"
#include "engine/voices/chords_state.h"
#include "engine/voices/glide_state.h"
#include "engine/voices/lead_state.h"

namespace lf::voices_test {
namespace {

// The objects as start-up leaves them, copied once.
Snapshot& pristine() {
    static Snapshot snapshot;
    return snapshot;
}

class StartupEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        engine_startup();
        Snapshot& s = pristine();
        s.add(chord_voice_state);
        s.add(lead_voice_state);
        s.add(bass_voice_state);
        s.add(glide_voice_state);
        s.add(echo_a);
        s.add(echo_b);
        s.add(unison_phases_24_a);
        s.add(unison_phases_24_b);
        s.add(unison_phases_8);
        s.add(unison_phases_4);
        s.add(eq3_a);
        s.add(eq3_b);
        s.add(eq3_c);
        s.add(allpass_cascade_55);
        s.add(resonator_bank_b);
        s.add(noise_gen);
        s.add(note_cursors);
        s.add(curve_envs);
    }
};

::testing::Environment* const startup_environment =
    ::testing::AddGlobalTestEnvironment(new StartupEnvironment);

}  // namespace

namespace {

void fill(DelayRing& ring, float value) {
    for (Vec4& slot : ring.slot) slot = Vec4(value);
}

}  // namespace

void disturb(BandShifter& unit) {
    for (FreqShifter& s : unit.shifter) {
        for (AllpassMemory& m : s.path_a) m = {Vec4(0.3f), Vec4(-0.2f)};
        for (AllpassMemory& m : s.path_b) m = {Vec4(-0.1f), Vec4(0.4f)};
        s.previous_a = Vec4(0.5f);
        fill(s.ring, 0.25f);
    }
    unit.split.low1 = unit.split.low2 = {Vec4(0.1f), Vec4(0.2f)};
    unit.split.high1 = unit.split.high2 = {Vec4(-0.3f), Vec4(0.1f)};
}

void disturb(ReverbUnit& unit) {
    for (DelayRing& ring : unit.line) fill(ring, 0.25f);
    for (Vec4& d : unit.damp) d = Vec4(0.5f);
    unit.highpass = {Vec4(0.1f), Vec4(-0.1f)};
}

void disturb(ResonatorBank& bank) {
    for (BiquadState& s : bank.edge_state) s = {Vec4(0.2f), Vec4(-0.1f)};
    for (auto& band : bank.band_state)
        for (BiquadState& s : band) s = {Vec4(0.3f), Vec4(0.1f)};
}

void VoiceTest::SetUp() {
    set_engine_fp_mode();
    // The voices' own aggregates were copied while still zero.
    pristine().restore();
    for (CurveEnv& c : curve_envs) c.out = Vec4::zero();
}

void VoiceTest::TearDown() {
    pristine().restore();
}

void VoiceTest::attach(int track, const NoteList& list) {
    EventCursor& c = note_cursors[track];
    c.velocity = 0.0f;
    c.event = list.data();
    c.level = 0.0f;
    c.state = Vec4::zero();
    tracks_.push_back(track);
    std::sort(tracks_.begin(), tracks_.end(), [](int a, int b) { return a > b; });
}

void VoiceTest::advance(float t) {
    for (int k : tracks_) event_cursor_advance(note_cursors[k], t);
}

void VoiceTest::set_curve(int curve, float value) {
    curve_envs[curve].out = Vec4(value);
}

}  // namespace lf::voices_test
