#include "engine/dsp/follower.h"

#include "engine/dsp/math.h"

namespace lf {

Vec4 env_follow(Vec4& state, Vec4 x) {
    // state + (|x| − state)·0.0002
    state = fma(abs(x) - state, Vec4(0.0002f), state);
    return state;
}

}  // namespace lf
