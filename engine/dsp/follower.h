// The envelope follower: a one-pole smoother of the rectified signal.
#pragma once

#include "engine/dsp/vec4.h"

namespace lf {

// state += (|x| − state)·0.0002; returns the new state. Time constant 5000 frames.
Vec4 env_follow(Vec4& state, Vec4 x);

}  // namespace lf
