// The automation curves: breakpoint segments with curved shapes, evaluated
// one curve at a time or as a walk of many curves in eight-lane groups.
#pragma once

#include "engine/dsp/vec4.h"
#include "engine/dsp/vec8.h"

namespace lf {

// One segment of a breakpoint curve, all lanes equal.
struct CurveSegment {
    Vec4 start;
    Vec4 inv_length;
    Vec4 base;
    Vec4 scale;
    Vec4 p;
    Vec4 q;
};

struct CurveEnv {
    const CurveSegment* segment;  // current segment
    Vec4 out;                     // value at the last evaluated time
};

// Steps to the segment that holds t (lane 0 decides), writes and returns the value.
Vec4 curve_env_eval(CurveEnv& env, Vec4 t);

// The most curves one walk takes: five groups of eight lanes.
inline constexpr int CURVE_WALK_MAX = 40;

// A curve that holds still: its segment and that segment's scale and base.
struct HeldCurve {
    CurveEnv* env;
    const CurveSegment* segment;
    Vec4 scale;
    Vec4 base;
};

// The segment fields of eight curves, lane i from curve i.
struct CurveLanes {
    Vec8 start;
    Vec8 inv_length;
    Vec8 base;
    Vec8 scale;
    Vec8 p;
    Vec8 q;
};

// A list of curves evaluated together at every frame, and what carries over
// from one frame to the next: the segment each curve is on, which curves hold
// still (their segment's scale is zero and its shape is tame, see
// curve_holds_still in envelope.cpp), and the moving curves' segment fields
// gathered into lanes. The caller sets envs and count once, in a walk that is
// otherwise zero (no plan yet). The plan is made again whenever it could be
// out of date: a time outside [planned_from, planned_until), the times at
// which neither any curve's segment nor any curve's kind changes, or a
// segment pointer that moved under the walk.
struct CurveWalk {
    CurveEnv* envs[CURVE_WALK_MAX];  // the curves, in the order they are stepped
    int count;
    float planned_from;
    float planned_until;
    int holding;                       // curves that hold still: held[0 .. holding)
    int groups;                        // lane groups of moving curves: lanes[0 .. groups)
    int exact_groups;                  // the first exact_groups take the shortened logarithm
    int used[CURVE_WALK_MAX / 8 + 1];  // real lanes per group, the first ones
    HeldCurve held[CURVE_WALK_MAX];
    CurveEnv* lane_envs[CURVE_WALK_MAX / 8 + 1][8];
    const CurveSegment* lane_segments[CURVE_WALK_MAX / 8 + 1][8];
    CurveLanes lanes[CURVE_WALK_MAX / 8 + 1];
};

// curve_env_eval for the walk's curves (at most CURVE_WALK_MAX) at a time t
// whose lanes are equal, as the score walk needs it, with the same bits and
// the same segment steps, in fewer operations:
// - every segment's lanes are equal (the score builds them so), so a curve's
//   four lanes would compute one value four times over; instead lane i of an
//   eight-lane evaluation computes it for one curve, with the same operations
//   in the same order, and the curve's out receives that lane in all four;
// - a curve that holds still gets base + scale·0 directly, the exact value the
//   full evaluation would round to;
// - between plans nothing is stepped, sorted or gathered again.
// The segments' fields must not change under a walk.
void curve_walk_eval(CurveWalk& walk, Vec4 t);

}  // namespace lf
