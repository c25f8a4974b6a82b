// The score walk and the frame's stages in their fixed order
// (the order itself is written out in stages.h).
#include "engine/frame/stages.h"

#include <iterator>

#include "engine/dsp/math.h"
#include "engine/startup/score.h"

namespace lf {

static_assert(std::size(CURVES_IN_USE.curves) <= CURVE_WALK_MAX);

void score_walk(Vec4 t) {
    ScoreState& score = engine.score;
    const float now = t.lane0();
    for (int k = NOTE_LIST_COUNT - 1; k >= 0; --k) event_cursor_advance(score.note_cursors[k], now);
    // The curves are independent: evaluating them together changes no value.
    curve_walk_eval(score.curve_walk, t);
}

Vec4 run_frame_stages(Vec4 t) {
    NoStageProbe none;
    return run_frame_stages_probed(t, none);
}

}  // namespace lf
