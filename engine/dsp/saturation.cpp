// The saturator's curve (u + sin u)/(u² + 1) is about 2u near zero, peaks near
// u = 0.9 and folds back towards zero for large u. Two followers measure the
// loudness going in and coming out, and the amount k restores the input's.
#include "engine/dsp/saturation.h"

#include "engine/dsp/follower.h"
#include "engine/dsp/math.h"

namespace lf {

Vec4 saturate_process(Saturator& sat, Vec4& x, Vec4 drive, Vec4 k) {
    Vec4 e_in = env_follow(sat.in_follow, x);
    Vec4 u = x * drive;
    // (u + sin u) / (u·u + 1)
    Vec4 y = (u + fast_sin(u)) / fma(u, u, Vec4(1.0f));
    Vec4 e_out = env_follow(sat.out_follow, y);
    // y·(1 + k·(e_in / max(e_out, 2^-10) − 1)); the floor keeps silence from
    // dividing by zero.
    Vec4 ratio = e_in / max(e_out, Vec4(0.0009765625f));
    x = y * fma(k, ratio - Vec4(1.0f), Vec4(1.0f));
    return x;
}

Vec4 soft_clip(Vec4 x) {
    Vec4 e = fast_exp2(Vec4(3.5f) * x);
    Vec4 r = rcp_estimate(Vec4(1.0f) + e);
    // (1 − 2·r)·1.009 with 1 − 2·r fused.
    return fnma(Vec4(2.0f), r, Vec4(1.0f)) * Vec4(1.009f);
}

}  // namespace lf
