// Resonator bank tuning: band k sits on scale step first_step + k of a major
// scale rooted at 65.406395 Hz (C2) and transposed; each band is a band-pass
// whose Q narrows the band to bandwidth/12 octaves' worth of the cookbook's
// octave-bandwidth formula, doubled. Bands at or above 22050 Hz would fold
// back and are left silent. The edge filters pass what lies outside the
// outermost bands, so the bank can add it back untouched.
#include "engine/startup/resonator_bank.h"

#include "engine/dsp/math.h"

namespace lf {

namespace {

// Degrees 0 to 6: 2^(s/12) for s = 0, 2, 4, 5, 7, 11, 9 (the seventh before the sixth).
const float SCALE[7] = {1.0f,        1.12246001f, 1.25992f,   1.33484006f,
                        1.49830997f, 1.88775003f, 1.68178999f};

// Lanes 0 and 1 of `from` into lanes 0 and 1 (low) or 2 and 3 (high) of `into`.
Vec4 put_pair(Vec4 into, Vec4 from, bool high) {
    return high ? shuffle2<0, 1, 0, 1>(into, from) : shuffle2<0, 1, 2, 3>(from, into);
}

void put_pair(BiquadCoeffs& into, const BiquadCoeffs& from, bool high) {
    into.b0 = put_pair(into.b0, from.b0, high);
    into.b1 = put_pair(into.b1, from.b1, high);
    into.b2 = put_pair(into.b2, from.b2, high);
    into.a1 = put_pair(into.a1, from.a1, high);
    into.a2 = put_pair(into.a2, from.a2, high);
}

}  // namespace

Vec4 resonator_band_hz(const ResonatorBankParams& params, uint32_t band) {
    const Vec4 transpose =
        fast_exp2(Vec4(static_cast<float>(params.transpose)) * Vec4(0.083333336f));
    const uint32_t step = params.first_step + band;
    const uint32_t octave = step / 7;
    const uint32_t degree = step % 7;
    // f = ((T·2^octave)·scale[degree])·65.406395
    return ((transpose * fast_exp2(Vec4(static_cast<float>(octave)))) * Vec4(SCALE[degree])) *
           Vec4(65.406395f);
}

void build_resonator_bank(ResonatorBank& bank, const ResonatorBankParams& params) {
    bank.params = params;
    Vec4 first_hz = Vec4::zero(), last_hz = Vec4::zero();
    for (uint32_t k = 0; k < params.band_count; ++k) {
        const Vec4 f = resonator_band_hz(params, k);
        if (k == 0) first_hz = f;
        last_hz = f;  // even when this band is skipped below
        if (!(f.lane0() < 22050.0f)) continue;
        // w = 2 pi f / 44100 with the constants as written here.
        const Vec4 w = (f * Vec4(6.2831855f)) * Vec4(0.0000226757f);
        // g = (bandwidth/24)·w / sin w; Q = 1 / sinh(g ln 2) = 2 / (2^g - 2^-g)
        const Vec4 g = ((Vec4(params.bandwidth) * Vec4(0.0416667f)) * w) / fast_sin(w);
        const Vec4 q = Vec4(2.0f) / (fast_exp2(g) - fast_exp2(-g));
        put_pair(bank.band[k / 2], design_bandpass(f, q), (k & 1) != 0);
    }
    // With edge spread 0 the edges sit on the outermost bands.
    const Vec4 spread(params.edge_spread);
    const Vec4 edge_q(params.edge_q);
    const BiquadCoeffs low = design_lowpass(fnma(first_hz, spread, first_hz), edge_q);
    const BiquadCoeffs high = design_highpass(fma(last_hz, spread, last_hz), edge_q);
    bank.edge = low;
    put_pair(bank.edge, high, false);
}

}  // namespace lf
