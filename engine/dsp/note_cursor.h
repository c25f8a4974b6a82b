// The note cursor: walks a time-sorted note track up to the song time and
// reports the current note's frequency, velocity, age and time since release.
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

}  // namespace lf
