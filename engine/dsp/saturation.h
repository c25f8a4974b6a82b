// The two soft nonlinearities: the saturator, which folds the signal and can
// restore its loudness with two followers, and the final soft clip of the
// master output.
#pragma once

#include "engine/dsp/vec4.h"

namespace lf {

struct Saturator {
    Vec4 in_follow;
    Vec4 out_follow;
};

// (u + sin u)/(u² + 1) with u = x·drive, loudness restored by amount k.
// x is rewritten with the result, which is also returned.
Vec4 saturate_process(Saturator& sat, Vec4& x, Vec4 drive, Vec4 k);

// 1 - 2 / (1 + 2^(3.5 x)) with the reciprocal estimate, times 1.009. About
// tanh(1.213 x), limited to +-1.009.
Vec4 soft_clip(Vec4 x);

}  // namespace lf
