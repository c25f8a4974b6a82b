// The resonator bank's processing and the feedback cascade.
//
// A resonator bank is a set of band-passes tuned to a major scale between two
// edge filters; a signal played through it takes on the pitches of the scale.
// The feedback cascade runs many identical sections in series inside one
// feedback loop: a phaser with all-pass sections.
#pragma once

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/vec4.h"

namespace lf {

// The bank's parameters, in the order the bank record holds them.
struct ResonatorBankParams {
    int32_t transpose;    // semitones added to the root (65.406395 Hz)
    float bandwidth;      // band width control, sets the bands' Q
    uint32_t depth;       // identical sections per band, at most 8
    uint32_t first_step;  // scale step of the first band: octave = step / 7
    uint32_t band_count;  // at most 56
    float edge_spread;    // relative distance of the edges from the outer bands
    Vec4 band_gain;
    float edge_q;
    uint32_t edge_stages;  // at most 8
};

struct ResonatorBank {
    ResonatorBankParams params;
    BiquadCoeffs edge;  // lanes 0-1: high-pass at the upper edge; 2-3: low-pass at the lower
    BiquadState edge_state[8];
    BiquadCoeffs band[28];  // slot m: band 2m in lanes 0-1, band 2m + 1 in lanes 2-3
    BiquadState band_state[28][8];
};

// x's lanes 0 and 1 are left and right; x is rewritten to (x0, x1, x0, x1).
Vec4 biquad_bank_process(ResonatorBank& bank, Vec4& x);

struct FeedbackCascade {
    BiquadCoeffs coeffs;  // shared by every section
    BiquadState state[128];
    float frequency_hz;  // kept for reference
    float q;             // kept for reference
    uint32_t sections;   // at most 128
    float feedback;
    float gain;
    Vec4 loop;  // the cascade output of the previous frame
};

// Returns gain times the cascade output.
Vec4 feedback_cascade_process(FeedbackCascade& cascade, Vec4 x);

}  // namespace lf
