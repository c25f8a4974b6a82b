// Frequency shifting by the analytic signal.
//
// Two chains of four all-pass sections, each section (a − z⁻²)/(1 − a·z⁻²),
// turn the input into two signals of equal magnitude whose phases differ by a
// quarter turn over most of the audio band (path A is taken one frame late to
// line the two up). Multiplying that pair by the cosine and sine of a running
// phase and adding keeps only one sideband: every component moves by the
// shift frequency, up or down with its sign, instead of splitting in two as
// ring modulation would. The shifted signal then runs through a delay whose
// feedback returns into the line after the shift: the repeats keep the
// shifted pitch and only fade, they are not shifted again.
#include "engine/dsp/shifter.h"

#include "engine/dsp/math.h"

namespace lf {

namespace {

constexpr float PATH_A[4] = {0.4794f, 0.876218f, 0.976598f, 0.997499f};
constexpr float PATH_B[4] = {0.161758f, 0.733029f, 0.94535f, 0.990599f};

// Four sections in series: y = a·u + m1, m1 = m2, m2 = a·y − u.
inline Vec4 allpass_chain(AllpassMemory (&memory)[4], const float (&coeff)[4], Vec4 u) {
    for (int i = 0; i < 4; ++i) {
        Vec4 a(coeff[i]);
        AllpassMemory& m = memory[i];
        Vec4 y = fma(a, u, m.m1);
        m.m1 = m.m2;
        m.m2 = fms(a, y, u);
        u = y;
    }
    return u;
}

// Lanes (s2, s3, s2, s3)·dA + (s0, s1, s0, s1)·yB: cosine times one path plus
// sine times the other, for the angle whose sines and cosines s holds.
inline Vec4 rotate(Vec4 s, Vec4 d_a, Vec4 y_b) {
    return fma(dup_low(s), y_b, shuffle<2, 3, 2, 3>(s) * d_a);
}

}  // namespace

Vec4 freq_shift_process(FreqShifter& shifter, Vec4 x, const FreqShiftParams& params) {
    // phase = phase + shift·(1/44100), wrapped into [0, 1).
    Vec4 phase = fma(params.shift_hz, Vec4(2.2675737e-05f), shifter.phase);
    phase = phase - floor(phase);
    shifter.phase = phase;

    Vec4 y_a = allpass_chain(shifter.path_a, PATH_A, x);
    Vec4 d_a = shifter.previous_a;
    shifter.previous_a = y_a;
    Vec4 y_b = allpass_chain(shifter.path_b, PATH_B, x);

    // angle = 2π·(phase + offset [+ right offset]) + (0, 0, π/2, π/2): sines in
    // lanes 0-1, cosines in lanes 2-3. The right channel (lane 1) takes its
    // rotation from the angle with the extra offset.
    const Vec4 two_pi(6.2831855f);
    const Vec4 quarter = Vec4::set(0.0f, 0.0f, 1.5707964f, 1.5707964f);
    Vec4 turns = phase + params.phase_offset;
    Vec4 s_left = fast_sin(fma(two_pi, turns, quarter));
    Vec4 s_right = fast_sin(fma(two_pi, turns + params.right_offset, quarter));
    Vec4 v = with_lane<1>(rotate(s_left, d_a, y_b), rotate(s_right, d_a, y_b));

    // Delay in milliseconds: 44.1 frames each. The repeat feeds back into the line.
    delay_push(shifter.ring, v);
    Vec4 w = delay_read_linear(shifter.ring, Vec4(44.1f) * params.delay_ms);
    shifter.ring.slot[shifter.ring.index] = fma(params.feedback, w, v);
    return fma(params.wet, w, d_a);
}

Vec4 band_shift_process(BandShifter& shifter, Vec4 x, const BandShiftParams& params) {
    // Designed again only when the crossover frequency changes.
    if (!design_inputs_repeat(shifter.split_inputs, params.crossover_hz, Vec4::zero())) {
        design_crossover(shifter.split, params.crossover_hz);
    }
    CrossoverOutput bands = crossover_process(shifter.split, x);

    // Each stage shifts the high band down and up in two shifters with their own
    // delays and keeps the difference: the unshifted (dry) parts cancel.
    const Vec4 zero = Vec4::zero();
    const Vec4 one(1.0f);
    const FreqShiftParams down{
        params.base_delay_ms, -params.shift_hz, zero, params.right_offset, zero, one};
    const FreqShiftParams up{params.base_delay_ms * params.delay_ratio,
                             params.shift_hz,
                             zero,
                             params.right_offset,
                             zero,
                             one};
    Vec4 high = bands.high;
    for (uint32_t k = 0; k < params.stages; ++k) {
        Vec4 shifted_down = freq_shift_process(shifter.shifter[2 * k], high, down);
        Vec4 shifted_up = freq_shift_process(shifter.shifter[2 * k + 1], high, up);
        high = shifted_down - shifted_up;
    }
    // low + wet·high
    return fma(params.wet, high, bands.low);
}

}  // namespace lf
