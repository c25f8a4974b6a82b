#include "engine/frame/stages.h"

#include "engine/dsp/math.h"

namespace lf {

Vec4 soft_clip(Vec4 x) {
    Vec4 e = fast_exp2(Vec4(3.5f) * x);
    Vec4 r = rcp_estimate(Vec4(1.0f) + e);
    // (1 − 2·r)·1.009 with 1 − 2·r fused.
    return fnma(Vec4(2.0f), r, Vec4(1.0f)) * Vec4(1.009f);
}

// Until the voices and the mix exist, every stage outputs silence, which the
// soft clip turns into its constant: (1 - 2 r) * 1.009, r the estimate of 1/2.
Vec4 run_frame_stages(Vec4 /*t*/) { return soft_clip(Vec4::zero()); }

}  // namespace lf
