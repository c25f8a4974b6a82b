// The packed score and its expansion: 24 zigzag/delta-coded note lists into
// NoteEvent arrays, 37 breakpoint curves into CurveSegment arrays, each with
// sentinels at both ends, and the cursors that walk them.
#pragma once

#include <cstdint>

#include "engine/dsp/curve.h"
#include "engine/dsp/note_cursor.h"
#include "engine/frame/arrangement.h"
#include "engine/frame/engine_state.h"

namespace lf {

struct PackedNoteList {
    EventCursor* cursor;
    NoteEvent* events;  // count + 2 events
    const uint8_t* notes;
    const uint8_t* velocities;
    const uint32_t* starts;
    const uint32_t* durations;
    uint32_t count;
};

struct PackedCurve {
    CurveEnv* cursor;
    CurveSegment* segments;  // count + 1 segments
    const int32_t* times;
    const int32_t* values;
    const int32_t* shapes;
    uint32_t count;
};

void build_note_list(const PackedNoteList& list);
void build_curve(const PackedCurve& curve);

// The value of curve c this frame (all lanes equal).
inline Vec4 curve_value(int c) {
    return engine.score.curve_envs[c].out;
}

// Expands the compiled-in score into the cursors of engine.score (last entry
// first) and lists the curves in use in its walk.
void build_score();

}  // namespace lf
