// The rate reducer: holds the mean of the input over each period of the
// reduced rate, a block-averaging sample-and-hold.
#pragma once

#include "engine/dsp/vec4.h"

namespace lf {

struct RateReducer {
    Vec4 sum;
    float count;
    float phase;
    Vec4 held;
};

// Holds the mean of the input over each period of 1/rate_hz seconds.
Vec4 rate_reduce_process(RateReducer& reducer, Vec4 x, float rate_hz);

}  // namespace lf
