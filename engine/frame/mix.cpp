#include "engine/frame/mix.h"

#include "engine/dsp/cascade.h"
#include "engine/dsp/follower.h"
#include "engine/dsp/math.h"
#include "engine/dsp/saturation.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"

namespace lf {

namespace {

// 0.5·S0 + 0.5·S1 in all four lanes.
inline Vec4 stereo_mid(Vec4 s) {
    Vec4 half = Vec4(0.5f) * s;
    return fma(Vec4(0.5f), broadcast<1>(s), broadcast<0>(half));
}

}  // namespace

Vec4 front_bus_start(Vec4 v0, Vec4 vn) {
    return fma(Vec4(0.92f), vn, Vec4(1.17f) * v0);
}

Vec4 bus_add(Vec4 bus, float gain, Vec4 v) {
    return fma(Vec4(gain), v, bus);
}

Vec4 front_bus_filter(Vec4 front, Vec4 v10) {
    Vec4 in = fma(Vec4(2.67784f), v10, front);
    return biquad_bank_process(engine.mix.resonator_bank_a, in);
}

Vec4 bass_ducking(Vec4 v14, Vec4 v11) {
    Vec4 x = Vec4(1.15f) * v14;
    MixState& s = engine.mix;
    CrossoverOutput split = crossover_process(s.crossover_2600, x);
    // The follower hears the kick exactly as the main bus will add it.
    Vec4 e = env_follow(s.duck_follower, Vec4(0.69f) * v11);
    Vec4 g = max(fnma(Vec4(2.0f), e, Vec4(1.0f)), Vec4::zero());
    return fma(split.low, g, split.high);
}

Vec4 main_bus_start(Vec4 front, Vec4 v11, Vec4 bass, Vec4 v12) {
    Vec4 m = fma(Vec4(0.69f), v11, front) + bass;
    return fma(Vec4(0.808f), v12, m);
}

Vec4 master_chain(Vec4 m) {
    MixState& s = engine.mix;

    // Reverb send and its notched return.
    const ReverbParams reverb{.feedback = curve_value(CURVE_REVERB_FEEDBACK).lane0(),
                              .damping = 0.25f,
                              .width = 1.0f,
                              .highpass_hz = 630.0f,
                              .input_gain = 1.0f,
                              .wet = 1.0f,
                              .allpass_gain = 0.9f,
                              .spread = 23};
    Vec4 w = reverb_process(s.master_reverb, m, reverb);
    w = biquad_process(notch_825, s.reverb_notch, w);
    // M + c1·(2·w − M): dry at 0, the mean of dry and twice the wet at 0.5.
    m = fma(splat0(curve_value(CURVE_REVERB_MIX)), fms(Vec4(2.0f), w, m), m);

    // Swept high-pass and four-stage low-pass, designed anew whenever their
    // curves move.
    const BiquadCoeffs& highpass = design_highpass(
        s.bus_highpass, unit_to_cutoff(splat0(curve_value(CURVE_BUS_HIGHPASS))), Vec4(0.795f));
    m = biquad_process(highpass, s.bus_highpass_state, m);
    const BiquadCoeffs& lowpass = design_lowpass(
        s.bus_lowpass, unit_to_cutoff(splat0(curve_value(CURVE_BUS_LOWPASS))), Vec4(0.70710677f));
    for (BiquadState& stage : s.bus_lowpass_state) m = biquad_process(lowpass, stage, m);

    // Frequency shifter: 3 Hz down, right channel 0.123 cycles apart.
    const FreqShiftParams shift{.delay_ms = Vec4(0.2f),
                                .shift_hz = Vec4(-3.0f),
                                .phase_offset = Vec4::zero(),
                                .right_offset = Vec4(0.123f),
                                .feedback = Vec4::zero(),
                                .wet = splat0(curve_value(CURVE_SHIFTER_WET))};
    m = freq_shift_process(s.master_shifter, m, shift);

    // Width in percent: (M − mid)·(0.01·c6) + mid.
    Vec4 mid = stereo_mid(m);
    m = fma(m - mid, Vec4(0.01f) * splat0(curve_value(CURVE_WIDTH)), mid);

    // Rate reducer: 44100/256 Hz times 2^(8·c7), so c7 = 1 runs at 44100 Hz.
    Vec4 rate = Vec4(172.265625f) * fast_exp2(Vec4(8.0f) * splat0(curve_value(CURVE_RATE)));
    m = rate_reduce_process(s.master_reducer, m, rate.lane0());

    // Gate.
    return splat0(curve_value(CURVE_GATE)) * m;
}

Vec4 final_stage(Vec4 gated, Vec4 v21, Vec4 v22, Vec4 v23) {
    Vec4 s = fma(Vec4(0.5f), v21, gated);
    s = fma(Vec4(0.9f), v22, s);
    s = fma(Vec4(0.4f), v23, s);
    Vec4 mid = stereo_mid(s);
    s = fma(s - mid, Vec4(1.26f), mid);
    MixState& st = engine.mix;
    s = biquad_process(highpass_25, st.output_highpass[0], s);
    s = biquad_process(highpass_25, st.output_highpass[1], s);
    return soft_clip(s);
}

}  // namespace lf
