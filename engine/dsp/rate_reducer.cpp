#include "engine/dsp/rate_reducer.h"

#include "engine/dsp/math.h"

namespace lf {

Vec4 rate_reduce_process(RateReducer& reducer, Vec4 x, float rate_hz) {
    reducer.sum = reducer.sum + x;
    Vec4 count = Vec4(reducer.count) + Vec4(1.0f);
    // phase + rate·(1/44100)
    Vec4 phase = fma(Vec4(rate_hz), Vec4(FRAME_SECONDS), Vec4(reducer.phase));
    if (phase.lane0() >= 1.0f) {
        // One period is over: hold the mean of the frames it gathered.
        phase = phase - Vec4(1.0f);
        reducer.held = reducer.sum / count;
        reducer.sum = Vec4::zero();
        count = Vec4::zero();
    }
    reducer.count = count.lane0();
    reducer.phase = phase.lane0();
    return reducer.held;
}

}  // namespace lf
