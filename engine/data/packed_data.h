// The packed drum samples and the packed score, compiled into the engine. The
// build generates their definitions and their shape (packed_layout.h) from the
// content files (content/samples, content/score) after checking them.
#pragma once

#include <cstdint>

#include "engine/data/packed_layout.h"

namespace lf {

// Sample n + 1 as its packed byte string.
extern const uint8_t* const PACKED_SAMPLES[PACKED_SAMPLE_COUNT];

// The four zigzag/delta-coded streams of one note list.
struct PackedNoteStreams {
    const uint8_t* notes;
    const uint8_t* velocities;
    const uint32_t* starts;     // ticks of 1/192 s
    const uint32_t* durations;  // ticks
    uint32_t count;
};

// One breakpoint curve: plain time deltas, absolute values and shapes.
struct PackedCurveStreams {
    const int32_t* times;   // ticks; the running sum is the breakpoint time
    const int32_t* values;  // 1/128 units
    const int32_t* shapes;  // 1/128 units
    uint32_t count;
};

extern const PackedNoteStreams PACKED_NOTE_LISTS[PACKED_NOTE_LIST_COUNT];
extern const PackedCurveStreams PACKED_CURVES[PACKED_CURVE_COUNT];

}  // namespace lf
