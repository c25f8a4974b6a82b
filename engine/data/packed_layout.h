// The shape of the content this engine is built with: the notes of each note
// list, the breakpoints of each curve and the blocks of each packed sample.
// The build's embedding step writes it (packed_shape.h, beside the embedded
// arrays) from the content it has checked, and the engine sizes its static
// storage from it: NOTE_LIST_LENGTHS, CURVE_LENGTHS, PACKED_SAMPLE_LAYOUTS.
#pragma once

#include "engine/data/packed_format.h"
#include "packed_shape.h"

namespace lf {

constexpr uint32_t total_packed_sample_bytes() {
    return total_packed_sample_bytes(PACKED_SAMPLE_LAYOUTS);
}

constexpr uint32_t total_decoded_floats() {
    return total_decoded_floats(PACKED_SAMPLE_LAYOUTS);
}

// The embedding step refuses content beyond the limits; this holds it to them
// where the storage is sized.
constexpr bool shape_within_limits() {
    for (uint32_t count : NOTE_LIST_LENGTHS) {
        if (count > MAX_NOTES_PER_LIST) return false;
    }
    for (uint32_t count : CURVE_LENGTHS) {
        if (count < 1 || count > MAX_BREAKPOINTS_PER_CURVE) return false;
    }
    for (const PackedSampleLayout& layout : PACKED_SAMPLE_LAYOUTS) {
        if (layout.blocks < 1 || layout.blocks > MAX_SAMPLE_BLOCKS ||
            layout.short_blocks > layout.blocks ||
            packed_sample_bytes(layout.blocks, layout.short_blocks) != layout.bytes) {
            return false;
        }
    }
    return true;
}
static_assert(shape_within_limits());

}  // namespace lf
