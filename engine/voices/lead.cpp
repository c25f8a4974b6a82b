// The resonator lead: two layered pulse-wave voices (note tracks 19 and 20)
// excite three tuned delay-line resonators in series, followed by a gain curve
// that shapes the attack and a reverb.
//
// Each resonator is a delay of half a period with negative feedback through a
// gentle low-pass, so it rings at its tuning fr and the odd multiples; the loop
// loses the factor b = 2^(−5h) per pass (h = 0.5/fr), so higher stages ring
// shorter. The read is band-limited (sinc) and happens after a zero frame has
// been pushed, so the newest slot is read as zero; the stage's input is then
// written over that slot. A 4 Hz vibrato of ±0.007 octave retunes all three
// stages, starting at each note.
//
// Curve 36 transposes both layers by up to an octave down; the second layer
// sits 1.1789483 (about 2.85 semitones) above the first. Both rewrites stay in
// the cursors of tracks 19 and 20 for the rest of the frame.
#include "engine/voices/lead_state.h"

#include "engine/dsp/math.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

constexpr EnvShape LEAD_ENVELOPE = {0.0003f, 0.018f, -60.0f, 0.193f};

void scale_lead_frequencies(Vec4 factor) {
    for (int k = 0; k < 2; ++k) {
        NoteState& s = engine.score.note_cursors[TRACK_LEAD + k].state;
        s = with_lane<0>(s, s * factor);
    }
}

Vec4 lead_layer(WavetablePhase* pool, float* levels, const float* table, float detune) {
    const UnisonVoiceParams params = {
        .pool = pool,
        .cursors = &engine.score.note_cursors[TRACK_LEAD],
        .slots = 2,
        .envelope = &LEAD_ENVELOPE,
        .levels = levels,
        .table = table,
        .velocity_sensitivity_db = Vec4(0.0f),
        .detune_ratio = detune,
        .oscillators = 1,
    };
    return unison_voice_process(params);
}

// One resonator stage: tuning fr, input weight w, output mix m; u is the
// running signal of the chain.
Vec4 resonate(DelayRing& ring, BiquadState& loop, Vec4 fr, Vec4 w, Vec4 m, Vec4 u) {
    Vec4 h = Vec4(0.5f) / fr;
    Vec4 delay = fms(h, Vec4(44100.0f), Vec4(0.5f));
    Vec4 b = fast_exp2(Vec4(-5.0f) * h);
    delay_push(ring, Vec4::zero());
    Vec4 r = delay_read_sinc(ring, delay);
    Vec4 l = biquad_process(lowpass_20000, loop, r);
    // The slot just pushed becomes w·u − b·l.
    ring.slot[ring.index] = fnma(b, l, w * u);
    return fma(m, l - u, u);
}

}  // namespace

Vec4 voice_track19() {
    LeadVoiceState& st = engine.track19;
    const EventCursor& lead = engine.score.note_cursors[TRACK_LEAD];
    if (lead.state.lane(3) > LEAD_GATE.open_s) return Vec4::zero();

    // Transpose by curve 36 (in octaves), scaled up by 1.47836.
    Vec4 q = Vec4(1.47836f) * splat0(fast_exp2(curve_value(CURVE_LEAD_TRANSPOSE)));
    scale_lead_frequencies(q);
    // Resonator base tuning, held at 1 Hz for the lowest frequencies.
    Vec4 k = max(Vec4(0.6764252f) * splat0(lead.state), Vec4(1.0f));

    Vec4 velocity = broadcast<1>(lead.state);
    int32_t row = lead_pulse_row(velocity.lane0());
    Vec4 v1 = lead_layer(st.layer1_phases, nullptr, pulse_row(row), 1.07f);
    scale_lead_frequencies(Vec4(1.1789483f));
    // The second layer: a square wave with its own envelope levels.
    Vec4 v2 = lead_layer(st.layer2_phases, st.layer2_levels, pulse_row(128), 1.0f);

    // x = (0.515 v + 0.18)·V1 + (0.36 v + 0.05)·V2
    Vec4 gain1 = fma(Vec4(0.515f), velocity, Vec4(0.18f));
    Vec4 gain2 = fma(Vec4(0.36f), velocity, Vec4(0.05f));
    Vec4 x = fma(gain2, v2, gain1 * v1);

    Vec4 age = broadcast<2>(lead.state);
    Vec4 g = fast_exp2(Vec4(-0.007f) * fast_sin(Vec4(25.12f) * age));

    // Stage tunings k·g, 2k/g, 4k·g; input weights 1, 0.5, 0.08; mixes 1, 1, 0.5.
    Vec4 u = x;
    u = resonate(st.ring[0], st.loop[0], k * g, Vec4(1.0f), Vec4(1.0f), u);
    u = resonate(st.ring[1], st.loop[1], Vec4(2.0f) * k / g, Vec4(0.5f), Vec4(1.0f), u);
    u = resonate(st.ring[2], st.loop[2], Vec4(4.0f) * k * g, Vec4(0.08f), Vec4(0.5f), u);

    Vec4 out1 = u * lead_attack_gain(age);

    const float feedback = curve_value(CURVE_LEAD_REVERB_FEEDBACK).lane0();
    // feedback, damping, width, highpass_hz, input_gain, wet, allpass_gain, spread
    const ReverbParams reverb{feedback, 0.315f, 1.5217f, 232.0f, 1.0f, 1.0f, 0.5f, 23};
    Vec4 wet = reverb_process(st.reverb, out1, reverb);
    return fma(Vec4(0.25f), wet - out1, out1);
}

}  // namespace lf
