// The noise voices: pitched noise hats on track 10 and the swept noise bed.
//
// Both draw one value of the shared noise generator per frame, every frame, so
// where they run in the frame decides which noise they hear. The hats shape the
// noise with two envelopes: one sets its level, the other widens a resonant
// band-pass tuned to 14.5 times the note's frequency (a 440 Hz note rings at
// 6380 Hz). The bed is a band of noise whose centre and level follow curves 9
// and 8.
#include "engine/voices/noise_state.h"

#include "engine/dsp/adsr.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"

namespace lf {

Vec4 voice_track10(NoiseGen& noise) {
    EventCursor& cursor = engine.score.note_cursors[TRACK_HATS];
    Track10State& st = engine.track10;
    Vec4 n = noise_next(noise);
    Vec4 c13 = splat0(curve_value(CURVE_HATS_DECAY));

    // Noise level L1: decay time 3·gain(0.314 + 0.6·C13), 60 dB per decay time.
    Vec4 noise_decay = Vec4(3.0f) * unit_to_gain(fma(Vec4(0.6f), c13, Vec4(0.314f)));
    const EnvShape noise_env = {0.00351f, noise_decay.lane0(), -60.0f, 0.0248f};
    adsr_step(noise_env, cursor.state, cursor.level);

    // 10^((20.189999·v − 30)/20): −9.81 dB at velocity 1, −30 dB at velocity 0.
    Vec4 v = broadcast<1>(cursor.state);
    Vec4 g = fast_exp2(fms(Vec4(20.189999f), v, Vec4(30.0f)) * Vec4(0.1660964f));

    // Width: from the mid of the two noise lanes (C14 = 0) to independent
    // left and right noise (C14 = 1).
    Vec4 m = Vec4(0.5f) * (broadcast<0>(n) + broadcast<1>(n));
    Vec4 w = fma(splat0(curve_value(CURVE_HATS_WIDTH)), n - m, m);
    Vec4 x = (w * Vec4(cursor.level)) * g;

    // Filter envelope L2, −30 dB per decay time gain(0.394076 + 0.33·C13).
    Vec4 filter_decay = unit_to_gain(fma(Vec4(0.33f), c13, Vec4(0.394076f)));
    const EnvShape filter_env = {0.00351f, filter_decay.lane0(), -30.0f, 0.1f};
    adsr_step(filter_env, cursor.state, st.filter_level);

    // Band-pass at 14.5·f whose Q (and peak gain) falls from about 1.74 at rest
    // to about 0.4 while the filter envelope is open.
    Vec4 centre_hz = Vec4(14.5f) * splat0(cursor.state);
    Vec4 q = unit_to_q(fnma(Vec4(0.307f), Vec4(st.filter_level), Vec4(0.597f)));
    Vec4 y = biquad_process(design_bandpass_q_gain(centre_hz, q), st.bandpass, x);
    return biquad_process(lowpass_9440, st.lowpass, y);
}

Vec4 voice_noise_sweep(NoiseGen& noise) {
    Vec4 x = Vec4(0.25f) * noise_next(noise);
    Vec4 cutoff_hz = unit_to_cutoff(splat0(curve_value(CURVE_SWEEP_CUTOFF)));
    NoiseSweepState& st = engine.noise_sweep;
    Vec4 y = biquad_process(design_bandpass(st.bandpass_design, cutoff_hz, Vec4(0.908f)),
                            st.bandpass, x);
    // Level per lane from curve 8: at 0 the bed is silent while its filter runs on.
    return y * curve_value(CURVE_SWEEP_LEVEL);
}

}  // namespace lf
