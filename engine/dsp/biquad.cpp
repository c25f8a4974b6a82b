// The cookbook designs, evaluated with the engine's own sine.
//
// Every design starts from w = 2π·f/44100, its cosine c and sine s (both from
// fast_sin, so the record never touches a library function) and the bandwidth
// term alpha = s/(2Q). The nine responses then differ only in their numerator
// and in how they normalise by a0 = 1 + alpha (or the shelf's own a0): one true
// reciprocal k, multiplied into each coefficient.
//
// The pole-pair designs bound a1 from below by −(1 + a2) = −2k. In exact
// arithmetic that only binds for c > 1, which the approximate cosine can reach
// near w = 0; the bound keeps both poles off z = 1 there.
#include "engine/dsp/biquad.h"

#include "engine/dsp/math.h"

namespace lf {

namespace {

// The shared start of a design: cosine, sine and alpha of the (clamped) frequency.
struct DesignPrelude {
    Vec4 c, s, alpha;
};

inline DesignPrelude design_prelude(Vec4 f, Vec4 q) {
    // w = (2π · 1/44100) · f, the constant product formed at run time.
    Vec4 w = (Vec4(6.2831855f) * Vec4(FRAME_SECONDS)) * f;
    // Cosine and sine in one eight-lane fast_sin, each half as its own call.
    const Vec8 cos_sin = fast_sin(Vec8::join(w + Vec4(1.5707964f), w));
    DesignPrelude p;
    p.c = cos_sin.low();
    p.s = cos_sin.high();
    // alpha = s / (Q · 2)
    p.alpha = p.s / (q * Vec4(2.0f));
    return p;
}

// Keeps the cutoff of the pole-pair designs inside [10, 20000] Hz.
inline Vec4 clamp_frequency(Vec4 f) {
    return max(min(f, Vec4(20000.0f)), Vec4(10.0f));
}

// The denominator shared by the all-pass, band-pass, high-pass, low-pass and
// notch designs: k = 1/(1 + alpha), a2 = k − k·alpha, a1 = max(−2·c·k, −a2 − 1).
struct PolePair {
    Vec4 k, a1, a2;
};

inline PolePair pole_pair(const DesignPrelude& p) {
    PolePair r;
    r.k = Vec4(1.0f) / (p.alpha + Vec4(1.0f));
    r.a2 = fnma(r.k, p.alpha, r.k);
    // ((−2)·c)·k, bounded below by (−a2) − 1
    r.a1 = max((Vec4(-2.0f) * p.c) * r.k, (-r.a2) - Vec4(1.0f));
    return r;
}

inline BiquadCoeffs lowpass_from(const DesignPrelude& p, const PolePair& d) {
    BiquadCoeffs r;
    // b1 = k − k·c, b0 = b2 = b1/2
    r.b1 = fnma(d.k, p.c, d.k);
    r.b0 = Vec4(0.5f) * r.b1;
    r.b2 = r.b0;
    r.a1 = d.a1;
    r.a2 = d.a2;
    return r;
}

inline BiquadCoeffs highpass_from(const DesignPrelude& p, const PolePair& d) {
    BiquadCoeffs r;
    // b1 = −(k·c) − k, b0 = b2 = −b1/2
    r.b1 = fnms(d.k, p.c, d.k);
    r.b0 = Vec4(-0.5f) * r.b1;
    r.b2 = r.b0;
    r.a1 = d.a1;
    r.a2 = d.a2;
    return r;
}

}  // namespace

BiquadCoeffs design_allpass(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(f, q);
    PolePair d = pole_pair(p);
    // (a2 + a1 z⁻¹ + z⁻²) / (1 + a1 z⁻¹ + a2 z⁻²): unit magnitude everywhere.
    return BiquadCoeffs{d.a2, d.a1, Vec4(1.0f), d.a1, d.a2};
}

BiquadCoeffs design_bandpass(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(clamp_frequency(f), q);
    PolePair d = pole_pair(p);
    Vec4 b0 = d.k * p.alpha;
    return BiquadCoeffs{b0, Vec4::zero(), -b0, d.a1, d.a2};
}

BiquadCoeffs design_bandpass_q_gain(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(clamp_frequency(f), q);
    PolePair d = pole_pair(p);
    Vec4 ka = d.k * p.alpha;
    // Q·(k·alpha) and Q·(−(k·alpha)): the negation comes before the gain.
    return BiquadCoeffs{q * ka, Vec4::zero(), q * (-ka), d.a1, d.a2};
}

BiquadCoeffs design_highpass(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(clamp_frequency(f), q);
    return highpass_from(p, pole_pair(p));
}

BiquadCoeffs design_lowpass(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(clamp_frequency(f), q);
    return lowpass_from(p, pole_pair(p));
}

BiquadCoeffs design_notch(Vec4 f, Vec4 q) {
    DesignPrelude p = design_prelude(clamp_frequency(f), q);
    PolePair d = pole_pair(p);
    // Zeros on the unit circle at the centre: (1 − 2c z⁻¹ + z⁻²)·k.
    return BiquadCoeffs{d.k, d.a1, d.k, d.a1, d.a2};
}

BiquadCoeffs design_peaking(Vec4 f, Vec4 q, Vec4 a) {
    DesignPrelude p = design_prelude(f, q);
    // a0 = 1 + alpha/A; the numerator's bandwidth term is alpha·A.
    Vec4 g = p.alpha / a;
    Vec4 k = Vec4(1.0f) / (g + Vec4(1.0f));
    Vec4 alpha_a = p.alpha * a;
    BiquadCoeffs r;
    r.a1 = (Vec4(-2.0f) * p.c) * k;
    r.a2 = fnma(k, g, k);
    r.b0 = fma(k, alpha_a, k);
    r.b1 = r.a1;
    r.b2 = fnma(k, alpha_a, k);
    return r;
}

BiquadCoeffs design_high_shelf(Vec4 f, Vec4 q, Vec4 a) {
    DesignPrelude p = design_prelude(f, q);
    Vec4 pp = a + Vec4(1.0f);  // P = A + 1
    Vec4 m = a - Vec4(1.0f);   // M = A − 1
    // B = alpha·(√A·2)
    Vec4 b = p.alpha * (sqrt(a) * Vec4(2.0f));
    Vec4 p_plus_mc = fma(m, p.c, pp);    // P + M·c
    Vec4 p_minus_mc = fnma(m, p.c, pp);  // P − M·c
    Vec4 k = Vec4(1.0f) / (p_minus_mc + b);
    BiquadCoeffs r;
    r.b0 = (a * (p_plus_mc + b)) * k;
    // −2·A·(P·c + M)·k
    r.b1 = ((Vec4(-2.0f) * a) * fma(pp, p.c, m)) * k;
    r.b2 = (a * (p_plus_mc - b)) * k;
    // 2·(M − P·c)·k
    r.a1 = (Vec4(2.0f) * fnma(pp, p.c, m)) * k;
    r.a2 = (p_minus_mc - b) * k;
    return r;
}

BiquadCoeffs design_low_shelf(Vec4 f, Vec4 q, Vec4 a) {
    DesignPrelude p = design_prelude(f, q);
    Vec4 pp = a + Vec4(1.0f);  // P = A + 1
    Vec4 m = a - Vec4(1.0f);   // M = A − 1
    // B = alpha·(√A·2)
    Vec4 b = p.alpha * (sqrt(a) * Vec4(2.0f));
    Vec4 p_plus_mc = fma(m, p.c, pp);    // P + M·c
    Vec4 p_minus_mc = fnma(m, p.c, pp);  // P − M·c
    Vec4 k = Vec4(1.0f) / (p_plus_mc + b);
    BiquadCoeffs r;
    r.b0 = (a * (p_minus_mc + b)) * k;
    // 2·A·(M − P·c)·k
    r.b1 = ((Vec4(2.0f) * a) * fnma(pp, p.c, m)) * k;
    r.b2 = (a * (p_minus_mc - b)) * k;
    // −2·(P·c + M)·k
    r.a1 = (Vec4(-2.0f) * fma(pp, p.c, m)) * k;
    r.a2 = (p_plus_mc - b) * k;
    return r;
}

void design_crossover(CrossoverSplit& split, Vec4 f) {
    // Both halves share f, Q and so the whole prelude and denominator: one
    // evaluation gives the same bits as two separate designs.
    DesignPrelude p = design_prelude(clamp_frequency(f), Vec4(0.70710677f));
    PolePair d = pole_pair(p);
    split.low = lowpass_from(p, d);
    split.high = highpass_from(p, d);
}

CrossoverOutput crossover_process(CrossoverSplit& split, Vec4 x) {
    // The low path in the low half, the high path in the high half: two
    // independent chains of two sections each, taken side by side.
    const BiquadPair c = join(split.low, split.high);
    Vec8 u = Vec8::join(x, x);
    u = biquad_process(c, split.low1, split.high1, u);
    u = biquad_process(c, split.low2, split.high2, u);
    return {u.low(), u.high()};
}

void three_band_eq_init(ThreeBandEq& eq, const ThreeBandEqParams& params) {
    eq.low_gain = Vec4(params.low_gain);
    eq.mid_gain = Vec4(params.mid_gain);
    eq.high_gain = Vec4(params.high_gain);
    design_crossover(eq.lower, Vec4(params.lower_hz));
    design_crossover(eq.upper, Vec4(params.upper_hz));
}

Vec4 three_band_eq_process(ThreeBandEq& eq, Vec4 x) {
    CrossoverOutput first = crossover_process(eq.lower, x);
    CrossoverOutput second = crossover_process(eq.upper, first.high);
    // y = low·gl, then + mid·gm, then + high·gh, each sum fused with its product.
    Vec4 y = eq.low_gain * first.low;
    y = fma(second.low, eq.mid_gain, y);
    return fma(second.high, eq.high_gain, y);
}

}  // namespace lf
