// Second-order sections: the cookbook designs, the transposed-direct-form-II
// step, the fourth-order Linkwitz-Riley band split and the three-band equaliser.
//
// A design costs two fast_sin calls and a reciprocal, cheap enough to re-design
// swept filters on every frame. Every record is four lanes wide: lane i of the
// coefficients filters lane i of the signal.
#pragma once

#include "engine/dsp/vec4.h"
#include "engine/dsp/vec8.h"

namespace lf {

// b0, b1, b2, a1, a2, already divided by a0.
struct BiquadCoeffs {
    Vec4 b0, b1, b2, a1, a2;
};

// Transposed direct form II memory.
struct BiquadState {
    Vec4 s1, s2;
};

inline Vec4 biquad_process(const BiquadCoeffs& c, BiquadState& s, Vec4 x) {
    // y = b0·x + s1
    Vec4 y = fma(c.b0, x, s.s1);
    // s1 = (b1·x + s2) − a1·y
    s.s1 = fnma(c.a1, y, fma(c.b1, x, s.s2));
    // s2 = b2·x − a2·y
    s.s2 = fnma(c.a2, y, c.b2 * x);
    return y;
}

// Two independent sections side by side: the first in lanes 0-3 of a Vec8,
// the second in lanes 4-7. Each half takes exactly the Vec4 step (the same
// instructions lane for lane, the same rounding), so both outputs and all
// four memories keep their bits, in half the arithmetic.
struct BiquadPair {
    Vec8 b0, b1, b2, a1, a2;
};

inline BiquadPair join(const BiquadCoeffs& first, const BiquadCoeffs& second) {
    return {Vec8::join(first.b0, second.b0), Vec8::join(first.b1, second.b1),
            Vec8::join(first.b2, second.b2), Vec8::join(first.a1, second.a1),
            Vec8::join(first.a2, second.a2)};
}

inline Vec8 biquad_process(const BiquadPair& c, BiquadState& first, BiquadState& second, Vec8 x) {
    const Vec8 s1 = Vec8::join(first.s1, second.s1);
    const Vec8 s2 = Vec8::join(first.s2, second.s2);
    Vec8 y = fma(c.b0, x, s1);
    const Vec8 n1 = fnma(c.a1, y, fma(c.b1, x, s2));
    const Vec8 n2 = fnma(c.a2, y, c.b2 * x);
    first.s1 = n1.low();
    second.s1 = n1.high();
    first.s2 = n2.low();
    second.s2 = n2.high();
    return y;
}

// f in Hz, Q the quality factor, A the linear amplitude factor; all lane-wise.
BiquadCoeffs design_allpass(Vec4 f, Vec4 q);
BiquadCoeffs design_bandpass(Vec4 f, Vec4 q);         // peak gain 0 dB
BiquadCoeffs design_bandpass_q_gain(Vec4 f, Vec4 q);  // peak gain Q
BiquadCoeffs design_high_shelf(Vec4 f, Vec4 q, Vec4 a);
BiquadCoeffs design_highpass(Vec4 f, Vec4 q);
BiquadCoeffs design_low_shelf(Vec4 f, Vec4 q, Vec4 a);
BiquadCoeffs design_lowpass(Vec4 f, Vec4 q);
BiquadCoeffs design_notch(Vec4 f, Vec4 q);
BiquadCoeffs design_peaking(Vec4 f, Vec4 q, Vec4 a);

// A filter that re-designs itself every frame usually gets the same inputs as
// on the frame before (a curve that holds, a constant cutoff). A design is a
// pure function of the bits of its inputs (the rounding mode never changes
// while rendering), so where they repeat, the coefficients made from them
// last time are exactly those a new design would make. The record keeps the
// inputs of the last design and is zero (nothing designed yet) at start.
struct DesignInputs {
    Vec4 f, q, a;
    bool valid;
};

// True when (f, q, a) are bit for bit the recorded inputs; otherwise records
// them and returns false, and the caller designs anew.
inline bool design_inputs_repeat(DesignInputs& last, Vec4 f, Vec4 q, Vec4 a = Vec4::zero()) {
    // Every bit that differs, of all three inputs, in one register.
    const Int4 changed =
        (bits(last.f) ^ bits(f)) | (bits(last.q) ^ bits(q)) | (bits(last.a) ^ bits(a));
    if (last.valid && all_zero(changed)) return true;
    last.f = f;
    last.q = q;
    last.a = a;
    last.valid = true;
    return false;
}

// A filter's coefficients with the inputs they were designed from.
struct RememberedDesign {
    DesignInputs inputs;
    BiquadCoeffs coeffs;
};

// The designs above, made only when their inputs differ from the last call's.
inline const BiquadCoeffs& design_highpass(RememberedDesign& d, Vec4 f, Vec4 q) {
    if (!design_inputs_repeat(d.inputs, f, q)) d.coeffs = design_highpass(f, q);
    return d.coeffs;
}
inline const BiquadCoeffs& design_lowpass(RememberedDesign& d, Vec4 f, Vec4 q) {
    if (!design_inputs_repeat(d.inputs, f, q)) d.coeffs = design_lowpass(f, q);
    return d.coeffs;
}
inline const BiquadCoeffs& design_bandpass(RememberedDesign& d, Vec4 f, Vec4 q) {
    if (!design_inputs_repeat(d.inputs, f, q)) d.coeffs = design_bandpass(f, q);
    return d.coeffs;
}
inline const BiquadCoeffs& design_low_shelf(RememberedDesign& d, Vec4 f, Vec4 q, Vec4 a) {
    if (!design_inputs_repeat(d.inputs, f, q, a)) d.coeffs = design_low_shelf(f, q, a);
    return d.coeffs;
}

// Fourth-order Linkwitz-Riley split: each path is one Butterworth section run twice.
struct CrossoverSplit {
    BiquadCoeffs low;
    BiquadCoeffs high;
    BiquadState low1, low2, high1, high2;
};

struct CrossoverOutput {
    Vec4 low, high;
};

// Fills the two coefficient records (Q = 0.70710677); the states are untouched.
void design_crossover(CrossoverSplit& split, Vec4 f);
CrossoverOutput crossover_process(CrossoverSplit& split, Vec4 x);

struct ThreeBandEq {
    CrossoverSplit lower;  // splits at the lower frequency
    CrossoverSplit upper;  // splits the lower split's high part at the upper frequency
    Vec4 low_gain, mid_gain, high_gain;
};

struct ThreeBandEqParams {
    float lower_hz, upper_hz, low_gain, mid_gain, high_gain;
};

void three_band_eq_init(ThreeBandEq& eq, const ThreeBandEqParams& params);
Vec4 three_band_eq_process(ThreeBandEq& eq, Vec4 x);

}  // namespace lf
