// Resonator-bank processing and the feedback cascade.
//
// The bank splits its input three ways: above the upper edge (high-pass in
// lanes 0-1), below the lower edge (low-pass in lanes 2-3), and the residual
// between them, which runs through the band-passes. Two bands share one
// coefficient slot, so a slot filters the same stereo residual in both lane
// pairs and the pairs are folded together at the end. The edge parts pass
// unchanged; only the residual takes on the pitches of the scale.
//
// The cascade's sections share one coefficient record, so its inner loop keeps
// the coefficients in registers and streams only the 128 states.
#include "engine/dsp/cascade.h"

#include "engine/dsp/math.h"

namespace lf {

namespace {

// The band slots in order, each a chain of DEPTH sections on the residual r,
// summed into acc as acc + gain·v. DEPTH is the bank's depth where the
// compiler may unroll it (the banks of the track have depth 1 and 2), or 0 for
// any depth given at run time: the same sections in the same order either way.
template <uint32_t DEPTH>
inline Vec4 band_slots(ResonatorBank& bank, Vec4 r, uint32_t slots, uint32_t depth) {
    if constexpr (DEPTH != 0) depth = DEPTH;
    const Vec4 gain = bank.params.band_gain;
    Vec4 acc = Vec4::zero();
    uint32_t m = 0;
    // Two slots at a time, side by side in a Vec8: the chains are independent
    // and each half takes the Vec4 steps; their sums still enter acc one
    // after the other.
    const Vec8 rr = Vec8::join(r, r);
    for (; m + 1 < slots; m += 2) {
        const BiquadPair c = join(bank.band[m], bank.band[m + 1]);
        BiquadState* first = bank.band_state[m];
        BiquadState* second = bank.band_state[m + 1];
        Vec8 v = rr;
        for (uint32_t d = 0; d < depth; ++d) v = biquad_process(c, first[d], second[d], v);
        acc = fma(gain, v.low(), acc);
        acc = fma(gain, v.high(), acc);
    }
    for (; m < slots; ++m) {
        const BiquadCoeffs c = bank.band[m];  // in registers across the depth
        BiquadState* state = bank.band_state[m];
        Vec4 v = r;
        for (uint32_t d = 0; d < depth; ++d) v = biquad_process(c, state[d], v);
        // acc + gain·v
        acc = fma(gain, v, acc);
    }
    return acc;
}

}  // namespace

Vec4 biquad_bank_process(ResonatorBank& bank, Vec4& x) {
    const ResonatorBankParams& p = bank.params;
    x = dup_low(x);
    // The edges in series: high-pass at the upper edge in lanes 0-1, low-pass
    // at the lower edge in lanes 2-3.
    const BiquadCoeffs edge = bank.edge;
    Vec4 u = x;
    for (uint32_t i = 0; i < p.edge_stages; ++i) u = biquad_process(edge, bank.edge_state[i], u);
    // What lies outside the band range, per channel, and the residual inside it.
    Vec4 outside = u + swap_pairs(u);
    Vec4 r = x - outside;

    // Every slot filters the same residual. The slots are independent chains,
    // which the processor overlaps by itself; their sums enter acc in slot order.
    const uint32_t slots = (p.band_count + 1) / 2;
    Vec4 acc;
    switch (p.depth) {
        case 1:
            acc = band_slots<1>(bank, r, slots, 1);
            break;
        case 2:
            acc = band_slots<2>(bank, r, slots, 2);
            break;
        default:
            acc = band_slots<0>(bank, r, slots, p.depth);
            break;
    }
    // Fold the two bands of every slot together and add the edge parts back.
    return acc + swap_pairs(acc) + outside;
}

namespace {

// The cascade's sections in series; SECTIONS as for band_slots.
template <uint32_t SECTIONS>
inline Vec4 cascade_sections(FeedbackCascade& cascade, Vec4 u, uint32_t sections) {
    if constexpr (SECTIONS != 0) sections = SECTIONS;
    const BiquadCoeffs coeffs = cascade.coeffs;
    BiquadState* state = cascade.state;
    for (uint32_t i = 0; i < sections; ++i) u = biquad_process(coeffs, state[i], u);
    return u;
}

}  // namespace

Vec4 feedback_cascade_process(FeedbackCascade& cascade, Vec4 x) {
    // x + f·loop
    Vec4 u = fma(Vec4(cascade.feedback), cascade.loop, x);
    // The track's cascades have 8 and 32 sections.
    switch (cascade.sections) {
        case 8:
            u = cascade_sections<8>(cascade, u, 8);
            break;
        case 32:
            u = cascade_sections<32>(cascade, u, 32);
            break;
        default:
            u = cascade_sections<0>(cascade, u, cascade.sections);
            break;
    }
    cascade.loop = u;
    return Vec4(cascade.gain) * u;
}

}  // namespace lf
