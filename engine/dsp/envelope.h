// Time-driven control: the note cursor that catches up with the song time,
// the per-note envelope, the curved breakpoint envelope of the automation,
// the envelope follower and the block-averaging rate reducer.
#pragma once

#include <cstdint>

#include "engine/dsp/vec4.h"

namespace lf {

// One note of a time-sorted track; times in seconds.
struct NoteEvent {
    float frequency;
    float velocity;
    float on;
    float off;
};

// (frequency, velocity, t − on, t − off) of the current event: lane 2 is the
// note's age, lane 3 is negative while the note is held.
using NoteState = Vec4;

struct EventCursor {
    float velocity;          // copy of the current event's velocity
    const NoteEvent* event;  // current event
    float level;             // envelope level slot for the units that want one
    NoteState state;
};

// Steps to every event whose on time t has reached (equality included) and
// rewrites the note state.
void event_cursor_advance(EventCursor& cursor, float t);

struct EnvShape {
    float attack_s;
    float decay_s;    // counted from the note's start
    float decay_db;   // level change per decay time (negative to fall)
    float release_s;  // time to fall by 60 dB
};

// Moves one envelope level on by one frame.
void adsr_step(const EnvShape& shape, NoteState note, float& level);

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

// curve_env_eval for `count` curves at a time t whose lanes are equal, as the
// score walk needs it, in fewer operations and with the same bits:
// - every segment's lanes are equal (the score builds them so), so a curve's
//   four lanes would compute one value four times over; instead lane i of one
//   evaluation computes it for one curve, with the same operations in the same
//   order, and the curve's out receives that lane in all four lanes;
// - a curve that holds still (its segment's scale is zero and its shape is
//   tame, see curve_holds_still in envelope.cpp) gets base + scale·0 directly,
//   the exact value the full evaluation would round to.
void curve_envs_eval(CurveEnv* const* envs, int count, Vec4 t);

// state += (|x| − state)·0.0002; returns the new state. Time constant 5000 frames.
Vec4 env_follow(Vec4& state, Vec4 x);

struct RateReducer {
    Vec4 sum;
    float count;
    float phase;
    Vec4 held;
};

// Holds the mean of the input over each period of 1/rate_hz seconds.
Vec4 rate_reduce_process(RateReducer& reducer, Vec4 x, float rate_hz);

}  // namespace lf
