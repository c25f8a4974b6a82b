// The engine's only transcendental functions, its knob curves and its one
// shared noise generator.
//
// fast_exp2 splits x into a nearest integer n and a fraction f in [-0.5, 0.5],
// evaluates 2^f with a sixth-order polynomial and builds 2^n in the exponent
// field. fast_log2 reads the exponent from the bits and fits the mantissa with
// the odd series in h = (m - 1)/(m + 1). fast_sin is the parabola through the
// zeros and peaks of one period with the usual one-step refinement (error about
// 0.001). The coefficients are part of the sound and stay exactly as written.
#pragma once

#include <cstdint>

#include "engine/dsp/vec4.h"
#include "engine/dsp/vec8.h"

namespace lf {
inline namespace LF_ABI {

// The shared broadcast constants, filled once at start-up (fill_const_vec).
enum ConstIndex : int {
    K_ZERO,
    K_NEG_ZERO,
    K_DIVISOR_FLOOR,
    K_ONE,
    K_TWO,
    K_HALF,
    K_SIN_PARABOLA,
    K_SIN_CORRECTION,
    K_BUTTERWORTH_Q,
    K_PI,
    K_TWO_PI,
    K_INV_PI,
    K_TWO_OVER_PI,
    K_HALF_PI,
    K_EXP2_C6,
    K_EXP2_C5,
    K_EXP2_C4,
    K_EXP2_C3,
    K_EXP2_C2,
    K_EXP2_C1,
    K_LOG2_C9,
    K_LOG2_C7,
    K_LOG2_C5,
    K_LOG2_C3,
    K_LOG2_C1,
    K_FLOAT_MAX,
    K_FLOAT_LOWEST,
    K_INV_12,
    K_LOG2_NOTE0,
    K_DB_TO_OCTAVES,
    K_VELOCITY_STEP,
    K_TICK_SECONDS,
    K_CURVE_STEP,
    K_TABLE_LENGTH,
    K_CURVE_STEP_COPY,
    K_FRAME_SECONDS,
    K_PHASE_PER_HZ,
    CONST_COUNT
};
static_assert(CONST_COUNT == 37);

// 1/44100 in single precision: the frame period, the one rounded step from a
// frame count or a frequency in Hz to seconds or cycles per frame.
constexpr float FRAME_SECONDS = 2.2675737e-05f;

extern Vec4 ConstVec[CONST_COUNT];
void fill_const_vec();

// The three functions are written once for both lane widths: a Vec8 pairs two
// Vec4 evaluations, lane for lane the same operations.

// 2^x per lane; 0 below -127. Arguments stay below 128.
template <typename V>
inline V fast_exp2_lanes(V x) {
    using I = decltype(to_int(x));
    V n = round_even(x);
    V f = x - n;
    // p = 1 + f(c1 + f(c2 + f(c3 + f(c4 + f(c5 + f c6))))), innermost first.
    V p = fma(f, V(0.00015465324f), V(0.0013395292f));
    p = fma(f, p, V(0.00961804f));
    p = fma(f, p, V(0.055503406f));
    p = fma(f, p, V(0.2402265f));
    p = fma(f, p, V(0.6931472f));
    p = fma(f, p, V(1.0f));
    V s = from_bits(shift_left(to_int(n) + I(127), 23));
    return select(x < V(-127.0f), V::zero(), p * s);
}

// The series of fast_log2 once the mantissa m in [1, 2) of x is found; e holds
// x's biased exponent field. Shared by fast_log2 and the curve walk's variant,
// which finds m without the division.
template <typename V, typename I>
inline V fast_log2_series(V x, I e, V m) {
    V one(1.0f);
    V h = (m - one) / (m + one);
    V l = h * h;
    V poly = fma(l, V(0.41098154f), V(0.4021555f));
    poly = fma(l, poly, V(0.5775502f));
    poly = fma(l, poly, V(0.9617878f));
    poly = fma(l, poly, V(2.88539f));
    V result = fma(h, poly, to_float(e - I(127)));
    return select(x <= V::zero(), V(-3.4028235e38f), result);
}

// log2(x) per lane; -3.4028235e38 for x <= 0. Arguments are normal or <= 0.
template <typename V>
inline V fast_log2_lanes(V x) {
    using I = decltype(to_int(x));
    I e = shift_right_logical(bits(x), 23);
    V p = from_bits(shift_left(e, 23));
    return fast_log2_series(x, e, x / p);
}

// sin(x) per lane (radians), periodic with period 6.2831855.
template <typename V>
inline V fast_sin_lanes(V x) {
    V two_pi(6.2831855f);
    V k = floor(x / two_pi);
    V r = fnma(two_pi, k, x);               // r = x - 2pi k, in [0, 2pi)
    V d = fms(r, V(0.31830987f), V(1.0f));  // d in [-1, 1)
    V y = d * fms(V(4.0f), abs(d), V(4.0f));
    // y + 0.225 (y|y| - y)
    return fma(V(0.225f), fms(y, abs(y), y), y);
}

inline Vec4 fast_exp2(Vec4 x) {
    return fast_exp2_lanes(x);
}
inline Vec8 fast_exp2(Vec8 x) {
    return fast_exp2_lanes(x);
}
inline Vec4 fast_log2(Vec4 x) {
    return fast_log2_lanes(x);
}
inline Vec8 fast_log2(Vec8 x) {
    return fast_log2_lanes(x);
}
inline Vec4 fast_sin(Vec4 x) {
    return fast_sin_lanes(x);
}
inline Vec8 fast_sin(Vec8 x) {
    return fast_sin_lanes(x);
}

// Knob curves: a control value in [0, 1] to a physical quantity.
// Gain: 0 at 0, a straight fade below 0.15556, 10^(4x - 3) above, tapered to 10 at 1.
inline Vec4 unit_to_gain(Vec4 x) {
    Vec4 fade = min(Vec4(20.0f) * x, fnma(Vec4(2.5f), x, Vec4(3.5f)));
    return fade * fast_exp2(fms(Vec4(13.2877f), x, Vec4(9.96578f)));
}
// Cutoff in Hz: 20 at 0, about 20500 at 1, exponential in between.
inline Vec4 unit_to_cutoff(Vec4 x) {
    return fma(Vec4(19.6481f), fast_exp2(Vec4(10.027f) * x), Vec4(0.351948f));
}
// Q: 0.1 at 0 to 12 at 1.
inline Vec4 unit_to_q(Vec4 x) {
    return Vec4(0.1f) * fast_exp2(Vec4(6.90689f) * x);
}

// The white-noise generator: an AES round hashes a counter that advances by a
// fixed step. The engine has one (in its state); draw k of it is the hash of
// counter k·step, so a copy set to any counter continues the sequence there.
struct NoiseGen {
    Int4 step;
    Int4 counter;
};

// Copies the fixed step in and sets the counter to zero.
void noise_init(NoiseGen& gen);

// Four noise values in [-1, 1), one draw of the generator.
inline Vec4 noise_next(NoiseGen& gen) {
    Int4 c = gen.counter;
    gen.counter = c + gen.step;
    Int4 h = aes_round(c, gen.step);
    return to_float(h) * Vec4(4.656613e-10f);
}

}  // namespace LF_ABI
}  // namespace lf
