// The chord voice: six chord tones (note tracks 1 to 6), each played by two
// layers of four detuned sawtooth oscillators, the second layer an octave up.
//
// The layers share the tones' envelope levels (the cursors' level slots), so
// every level is stepped twice per frame: the attack is twice as fast and a
// released tone falls 60 dB in half the release time. The octave comes from
// doubling the tones' frequency lanes between the two layers; the doubled value
// stays in the cursors for the rest of the frame.
//
// After the sum: a high shelf and a high-pass, a soft saturator, a four-pole
// low-pass that closes over the first second of each chord (cutoff knob from 1
// down to 0.78), a band frequency shifter blended in by curve 10 and a
// ping-pong echo of one beat.
#include "engine/voices/chords_state.h"

#include "engine/dsp/delay.h"
#include "engine/dsp/math.h"
#include "engine/dsp/oscillator.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

constexpr int CHORD_TONES = 6;
// Attack 1 ms, level held after it (a decay of -0 dB), release 11.2 ms.
constexpr EnvShape CHORD_ENVELOPE = {0.001f, 0.0745f, -0.0f, 0.0112f};

Vec4 chord_layer(WavetablePhase* pool) {
    const UnisonVoiceParams params = {
        .pool = pool,
        .cursors = &engine.score.note_cursors[TRACK_CHORD1],
        .slots = CHORD_TONES,
        .envelope = &CHORD_ENVELOPE,
        .levels = nullptr,  // both layers step the cursors' level slots
        .table = SAW_TABLE,
        .velocity_sensitivity_db = Vec4(-30.0f),
        .detune_ratio = 1.002f,
        .oscillators = 4,
    };
    return unison_voice_process(params);
}

}  // namespace

Vec4 voice_track1() {
    ChordVoiceState& st = engine.track1;
    const EventCursor& first = engine.score.note_cursors[TRACK_CHORD1];
    if (first.state.lane(3) > CHORD_GATE.open_s) return Vec4::zero();

    Vec4 v1 = chord_layer(st.unison_phases_24_a);
    // The second layer plays the same tones an octave higher.
    for (int k = 0; k < CHORD_TONES; ++k) {
        NoteState& s = engine.score.note_cursors[TRACK_CHORD1 + k].state;
        s = with_lane<0>(s, Vec4(2.0f) * s);
    }
    Vec4 v2 = chord_layer(st.unison_phases_24_b);

    Vec4 x = Vec4(0.075f) * (v1 + v2);
    x = biquad_process(high_shelf_891, st.shelf, x);
    x = biquad_process(highpass_141, st.highpass, x);
    Vec4 s = saturate_process(st.saturator, x, Vec4(4.0f), Vec4(0.5f));

    // Closing low-pass: knob max(0.78, 1 - 0.22 a) with a the chord's age, so
    // the cutoff falls from about 20 kHz to its floor over the first second.
    Vec4 age = broadcast<2>(first.state);
    Vec4 knob = max(Vec4(0.78f), fnma(Vec4(0.22f), age, Vec4(1.0f)));
    const BiquadCoeffs& closing =
        design_lowpass(st.closing_design, unit_to_cutoff(knob), Vec4(0.70710677f));
    Vec4 l = biquad_process(closing, st.lowpass[0], s);
    l = biquad_process(closing, st.lowpass[1], l);

    BandShiftParams shift;
    shift.crossover_hz = Vec4(220.0f);
    shift.stages = 2;
    shift.base_delay_ms = curve_value(CURVE_CHORD_SHIFT_DELAY);
    shift.delay_ratio = Vec4(1.618f);
    shift.shift_hz = Vec4(0.0f);
    shift.right_offset = Vec4(0.25f);
    shift.wet = Vec4(0.5f);
    Vec4 b = band_shift_process(st.band_shifter, l, shift);
    // y = l + C10·(b − l): curve 10 at 0 leaves l untouched.
    Vec4 y = fma(curve_value(CURVE_CHORD_SHIFT_MIX), b - l, l);

    static const EchoParams echo = {.feedback = 0.45f, .width = 0.65f, .delay_frames = 14700.0f};
    Vec4 e = echo_process(st.echo_a, y, echo);
    return fma(Vec4(0.4f), e, y);
}

}  // namespace lf
