// The score walk and the frame's stages in their fixed order
// (the order itself is written out in stages.h).
#include "engine/frame/stages.h"

#include <iterator>

#include "engine/dsp/math.h"
#include "engine/startup/score.h"

namespace lf {

namespace {

constexpr int SCORE_CURVE_COUNT = static_cast<int>(std::size(CURVES_IN_USE.curves));
static_assert(SCORE_CURVE_COUNT <= CURVE_WALK_MAX);

// The curves in use, in the walk's order; no plan yet.
constexpr CurveWalk score_curve_walk() {
    CurveWalk walk{};
    for (int i = 0; i < SCORE_CURVE_COUNT; ++i) walk.envs[i] = &curve_envs[CURVES_IN_USE.curves[i]];
    walk.count = SCORE_CURVE_COUNT;
    return walk;
}

// Which curves move, and their segments in lanes, from one frame to the next.
constinit CurveWalk score_curves = score_curve_walk();

}  // namespace

void score_walk(Vec4 t) {
    const float now = t.lane0();
    for (int k = NOTE_LIST_COUNT - 1; k >= 0; --k) event_cursor_advance(note_cursors[k], now);
    // The curves are independent: evaluating them together changes no value.
    curve_walk_eval(score_curves, t);
}

Vec4 run_frame_stages(Vec4 t) {
    NoStageProbe none;
    return run_frame_stages_probed(t, none);
}

}  // namespace lf
