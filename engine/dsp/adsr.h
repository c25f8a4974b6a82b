// The per-note envelope: a straight attack to 1, then a constant ratio per
// frame for the decay and for the release.
#pragma once

#include "engine/dsp/note_cursor.h"

namespace lf {

struct EnvShape {
    float attack_s;
    float decay_s;    // counted from the note's start
    float decay_db;   // level change per decay time (negative to fall)
    float release_s;  // time to fall by 60 dB
};

// Moves one envelope level on by one frame.
void adsr_step(const EnvShape& shape, NoteState note, float& level);

}  // namespace lf
