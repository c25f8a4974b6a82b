// The packed score and its expansion: 24 zigzag/delta-coded note lists into
// NoteEvent arrays, 37 breakpoint curves into CurveSegment arrays, each with
// sentinels at both ends, and the cursors that walk them.
#pragma once

#include <cstdint>

#include "engine/dsp/curve.h"
#include "engine/dsp/note_cursor.h"
#include "engine/frame/arrangement.h"

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

// The cursors of the track: note cursor k walks note list k, curve c curve c.
extern EventCursor note_cursors[NOTE_LIST_COUNT];
extern CurveEnv curve_envs[CURVE_COUNT];

// The value of curve c this frame (all lanes equal).
inline Vec4 curve_value(int c) {
    return curve_envs[c].out;
}

// Expands the compiled-in score into the cursors above (last entry first).
void build_score();

}  // namespace lf
