// A Schroeder-type reverb: four damped feedback combs in parallel, eight
// all-passes in series, a high-pass on the result and a mid/side width.
#pragma once

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"

namespace lf {

// The twelve lines move together: their indices start at 0 and stay equal
// (reverb_process steps them all from line 0's).
struct ReverbUnit {
    DelayRing line[12];  // 0-7 all-passes, 8-11 combs
    Vec4 damp[12];       // one-pole states; only the combs' are used
    BiquadState highpass;
    RememberedDesign highpass_design;
};

struct ReverbParams {
    float feedback;      // comb feedback
    float damping;       // one-pole coefficient in the comb loop
    float width;         // side gain of the output
    float highpass_hz;   // output high-pass cutoff
    float input_gain;    // gain of the input into each comb
    float wet;           // output level, scaled by 0.125 inside
    float allpass_gain;  // gain of every all-pass
    int32_t spread;      // extra delay of lane 1 on every line, in frames
};

// The wet signal for input x; one call per frame.
Vec4 reverb_process(ReverbUnit& unit, Vec4 x, const ReverbParams& params);

}  // namespace lf
