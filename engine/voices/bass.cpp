// The bass: a two-note unison sawtooth (note tracks 14 and 15) with a pitch
// envelope that drops up to 2.43 octaves into the note, key-tracked shelf and
// low-pass, a faint high-passed noise layer, two resonances swept by slow
// oscillators at fixed fractions of the note frequency with saturation after
// each, a fixed equaliser, an all-pass phaser cascade, a resonator bank, a band
// frequency shifter and the output filters. Ten curves steer it.
//
// The voice runs on every frame (no gate) and draws one noise value each time,
// whether or not the noise layer is heard. The pitch envelope rewrites the
// frequency lanes of tracks 14 and 15 for the rest of the frame.
#include "engine/voices/bass_state.h"

#include "engine/dsp/adsr.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

constexpr EnvShape BASS_PITCH_ENVELOPE = {0.001f, 0.07f, -60.0f, 0.1f};

}  // namespace

Vec4 voice_track14(NoiseGen& noise) {
    BassVoiceState& st = engine.track14;
    EventCursor& bass = engine.score.note_cursors[TRACK_BASS];
    EventCursor& sub = engine.score.note_cursors[TRACK_BASS + 1];

    // Pitch: p = 2^(2·C28 + 2.43333·L1) on both tracks' frequency lanes.
    adsr_step(BASS_PITCH_ENVELOPE, bass.state, st.pitch_level);
    Vec4 octaves =
        fma(Vec4(2.43333f), Vec4(st.pitch_level), Vec4(2.0f) * curve_value(CURVE_BASS_TRANSPOSE));
    Vec4 p = splat0(fast_exp2(octaves));
    bass.state = with_lane<0>(bass.state, bass.state * p);
    sub.state = with_lane<0>(sub.state, sub.state * p);

    // Decay time D from curve 20: 1.75·gain knob, 17.5 s at the top.
    Vec4 decay_knob = min(Vec4(0.257f) + curve_value(CURVE_BASS_DECAY), Vec4(1.0f));
    float decay_s = (Vec4(1.75f) * splat0(unit_to_gain(decay_knob))).lane0();
    const EnvShape amplitude = {0.001f, decay_s, -30.0f, 0.00635f};
    const EnvShape noise_shape = {0.001f, decay_s, -16.0f, 0.00635f};

    const UnisonVoiceParams unison = {
        .pool = st.unison_phases_8,
        .cursors = &bass,
        .slots = 2,
        .envelope = &amplitude,
        .levels = nullptr,
        .table = SAW_TABLE,
        .velocity_sensitivity_db = Vec4(-15.0f),
        .detune_ratio = 1.007f,
        .oscillators = 4,
    };
    Vec4 v = unison_voice_process(unison);

    Vec4 f = splat0(bass.state);
    Vec4 q = Vec4(0.70710677f);

    // Shelf at 4 f, ±3 dB as curve 19 goes from 0 to 1.
    Vec4 shelf_gain =
        fast_exp2(fms(Vec4(6.0f), curve_value(CURVE_BASS_SHELF), Vec4(3.0f)) * Vec4(0.1660964f));
    Vec4 y = biquad_process(design_low_shelf(st.low_shelf_design, Vec4(4.0f) * f, q, shelf_gain),
                            st.low_shelf, v);
    Vec4 cutoff = Vec4(0.1f) * f * unit_to_cutoff(curve_value(CURVE_BASS_CUTOFF));
    y = biquad_process(design_lowpass(st.lowpass_design, cutoff, q), st.lowpass, y);
    Vec4 t = Vec4(0.25f) * y;

    // Noise layer: one draw per frame, smoothed, scaled by curve 18, high-passed twice.
    Vec4 n = noise_next(noise);
    st.smoothed_noise = fma(Vec4(0.003f), n - st.smoothed_noise, st.smoothed_noise);
    Vec4 h = Vec4(10.0f) * curve_value(CURVE_BASS_NOISE) * st.smoothed_noise;
    h = biquad_process(highpass_1640, st.noise_highpass[0], h);
    h = biquad_process(highpass_1640, st.noise_highpass[1], h);
    adsr_step(noise_shape, bass.state, st.noise_level);
    Vec4 x = fma(Vec4(st.noise_level), h, t);

    // Two slow soft-saw sweeps at 0.009375 f and 1.618 times that.
    Vec4 rate1 = Vec4(0.009375f) * f;
    Vec4 rate2 = Vec4(1.618f) * Vec4(0.009375f) * f;
    Vec4 o1 = wavetable_osc_step(st.sweep1, SOFT_SAW_TABLE, rate1);
    Vec4 o2 = wavetable_osc_step(st.sweep2, SOFT_SAW_TABLE, rate2);
    Vec4 c3 = unit_to_cutoff(fma(Vec4(0.08f), o1, Vec4(0.231f)));
    Vec4 c4 = unit_to_cutoff(fma(Vec4(0.123f), o2, Vec4(0.42498f)));

    y = biquad_process(design_peaking(c3, Vec4(3.0f), Vec4(1.845f)), st.resonance, x);
    y = saturate_process(st.saturator1, y, Vec4(4.0f), Vec4(0.5f));
    y = biquad_process(design_peaking(c3, Vec4(1.0f), Vec4(0.34f)), st.resonance_dip, y);
    y = biquad_process(design_notch(c4, Vec4(0.658f)), st.notch, y);
    y = saturate_process(st.saturator2, y, Vec4(2.0f), Vec4(0.5f));

    y = biquad_process(high_shelf_4680, st.high_shelf, y);
    y = three_band_eq_process(st.eq3_a, y);
    y = biquad_process(peaking_43, st.peaking_43, y);
    y = biquad_process(peaking_552, st.peaking_552, y);

    Vec4 y10 = feedback_cascade_process(st.allpass_cascade_55, Vec4(1.2f) * y);
    // The bank rewrites y10 to (x0, x1, x0, x1); the blend uses that value.
    Vec4 b = biquad_bank_process(st.resonator_bank_b, y10);
    Vec4 y11 = fma(curve_value(CURVE_BASS_BANK_MIX), b - y10, y10);

    BandShiftParams shift;
    shift.crossover_hz = Vec4(220.0f);
    shift.stages = 3;
    shift.base_delay_ms = Vec4(2.0f) * curve_value(CURVE_BASS_SHIFT_DELAY);
    shift.delay_ratio = Vec4(1.618f);
    shift.shift_hz = Vec4(2.0f) * curve_value(CURVE_BASS_SHIFT_HZ);
    shift.right_offset = Vec4(0.0f);
    shift.wet = Vec4(0.25f);
    Vec4 s = band_shift_process(st.band_shifter, y11, shift);
    Vec4 y12 = fma(curve_value(CURVE_BASS_SHIFT_MIX), s - y11, y11);

    const BiquadCoeffs& out_lowpass = design_lowpass(
        st.out_lowpass_design, unit_to_cutoff(curve_value(CURVE_BASS_OUT_CUTOFF)), q);
    Vec4 y13 = biquad_process(out_lowpass, st.out_lowpass, y12);
    return biquad_process(highpass_15, st.out_highpass, y13);
}

}  // namespace lf
