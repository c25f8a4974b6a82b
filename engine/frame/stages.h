// The per-frame stage sequence: score walk, voices, mix, master chain.
#pragma once

#include "engine/dsp/vec4.h"

namespace lf {

// Moves the 24 note cursors (23 down to 0) and the curves in use (36 down to 0)
// to the song time t.
void score_walk(Vec4 t);

// Runs one frame at song time t (all lanes equal); returns the master output,
// whose lanes 0 and 1 are the frame.
Vec4 run_frame_stages(Vec4 t);

// The final soft clip: 1 - 2 / (1 + 2^(3.5 x)) with the reciprocal estimate,
// times 1.009. About tanh(1.213 x), limited to +-1.009.
Vec4 soft_clip(Vec4 x);

}  // namespace lf
