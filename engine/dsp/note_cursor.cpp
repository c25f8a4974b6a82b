// The cursor steps through its sorted array until the next event lies in the
// future; the sentinel at the array's end stops it without a bounds test.
#include "engine/dsp/note_cursor.h"

namespace lf {

void event_cursor_advance(EventCursor& cursor, float t) {
    // An event becomes current on the very frame its on time is reached.
    while (t >= cursor.event[1].on) ++cursor.event;
    const NoteEvent& e = *cursor.event;
    // (frequency, velocity, on, off) → (frequency, velocity, t − on, t − off)
    Vec4 fields = Vec4::set(e.frequency, e.velocity, e.on, e.off);
    Vec4 since = Vec4(t) - fields;
    cursor.state = shuffle2<0, 1, 2, 3>(fields, since);
    cursor.velocity = e.velocity;
}

}  // namespace lf
