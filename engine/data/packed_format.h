// The formats of the compiled-in content and the limits of the engine that
// plays it, without the content itself: what the content tools, the build's
// embedding step and the engine all agree on.
//
// Packed sample: u16 block count minus one, B block-type bytes, 856 B signed
// coefficient bytes, then 20 gain-delta bytes per window (one window per long
// block, eight per short one): 2 + B + 856 B + 20 (B + 7 S) bytes for S short
// blocks.
//
// Packed score: delta streams of running sums, zigzag coded so that small
// steps either way take small codes.
//
// Limits. The engine's static storage is sized from the content it is built
// with (the embedding step writes the shape, packed_layout.h reads it), so any
// content within these limits plays: at most MAX_NOTES_PER_LIST notes in a
// list, between 1 and MAX_BREAKPOINTS_PER_CURVE breakpoints in a curve (the
// last one is held for the rest of the track, so there must be one), and at
// most MAX_SAMPLE_BLOCKS blocks in a sample (MAX_DECODED_SAMPLE_LENGTH floats
// decoded, 6.1 s). At the limits a score file stays below the 1 MiB that the
// embedding step reads (24 x 2048 x 10 + 37 x 1024 x 12 bytes and the counts:
// 946420), and so does a sample (260354 bytes of short blocks).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/frame/arrangement.h"

namespace lf {

constexpr int PACKED_SAMPLE_COUNT = 7;
constexpr int PACKED_NOTE_LIST_COUNT = NOTE_LIST_COUNT;
constexpr int PACKED_CURVE_COUNT = CURVE_COUNT;

constexpr uint32_t MAX_NOTES_PER_LIST = 2048;
constexpr uint32_t MAX_BREAKPOINTS_PER_CURVE = 1024;
constexpr uint32_t MAX_SAMPLE_BLOCKS = 256;

// Zigzag code of a signed delta: 0, -1, 1, -2, 2 ... <-> 0, 1, 2, 3, 4 ...
constexpr uint32_t zigzag_encode(int32_t x) {
    return (static_cast<uint32_t>(x) << 1) ^ static_cast<uint32_t>(x >> 31);
}
// (v >> 1) xor -(v and 1)
constexpr int32_t zigzag_decode(uint32_t v) {
    return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1u)));
}

constexpr uint32_t CODED_BYTES_PER_BLOCK = 856;  // the coefficients of the 20 bands
constexpr uint32_t GAIN_BYTES_PER_WINDOW = 20;   // one gain delta per band
constexpr uint8_t SHORT_BLOCK_TYPE = 1;          // eight windows; every other type has one
constexpr uint8_t BLOCK_TYPE_COUNT = 4;  // 0 long, 1 short, 2 long-to-short, 3 short-to-long

constexpr uint32_t packed_sample_bytes(uint32_t blocks, uint32_t short_blocks) {
    return 2 + blocks + CODED_BYTES_PER_BLOCK * blocks +
           GAIN_BYTES_PER_WINDOW * (blocks + 7 * short_blocks);
}

// Floats of the decoded sample: one hop per block plus two hops of overlap room.
constexpr uint32_t decoded_sample_length(uint32_t blocks) {
    return (blocks + 2) * 1024;
}
constexpr uint32_t MAX_DECODED_SAMPLE_LENGTH = decoded_sample_length(MAX_SAMPLE_BLOCKS);

// What the engine needs to know of a packed sample to size its storage.
struct PackedSampleLayout {
    uint32_t bytes;
    uint32_t blocks;
    uint32_t short_blocks;
};

constexpr uint32_t packed_block_count(const PackedSampleLayout& layout) {
    return layout.blocks;
}
constexpr uint32_t packed_short_block_count(const PackedSampleLayout& layout) {
    return layout.short_blocks;
}

// A run of consecutive blocks of one type.
struct BlockRun {
    uint8_t type;
    uint16_t count;  // 0 ends the list
};

// A sample's blocks, type by type.
struct SampleBlockRuns {
    uint32_t bytes;
    BlockRun runs[6];
};

constexpr uint32_t packed_block_count(const SampleBlockRuns& layout) {
    uint32_t blocks = 0;
    for (const BlockRun& run : layout.runs) blocks += run.count;
    return blocks;
}

constexpr uint32_t packed_short_block_count(const SampleBlockRuns& layout) {
    uint32_t blocks = 0;
    for (const BlockRun& run : layout.runs) {
        if (run.type == SHORT_BLOCK_TYPE) blocks += run.count;
    }
    return blocks;
}

// The track's own seven samples, as drumcodec encodes them for it. Types: 0
// long, 1 short, 2 long-to-short, 3 short-to-long. Content of another shape
// builds an engine of another shape.
constexpr SampleBlockRuns TRACK_SAMPLE_LAYOUTS[PACKED_SAMPLE_COUNT] = {
    {15191, {{1, 2}, {3, 1}, {0, 14}}},
    {26592, {{1, 1}, {3, 1}, {0, 26}, {2, 1}, {1, 1}}},
    {52931, {{1, 1}, {3, 1}, {0, 34}, {2, 1}, {1, 20}}},
    {49991, {{0, 57}}},
    {90473, {{1, 1}, {3, 1}, {0, 101}}},
    {57485, {{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}}},
    {57485, {{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}}},
};

// Notes per list and breakpoints per curve, as the arrangement's rows give them.
template <typename Row, size_t N>
constexpr std::array<uint32_t, N> counts_of(const Row (&rows)[N]) {
    std::array<uint32_t, N> counts{};
    for (size_t i = 0; i < N; ++i) counts[i] = static_cast<uint32_t>(rows[i].count);
    return counts;
}
inline constexpr std::array<uint32_t, PACKED_NOTE_LIST_COUNT> TRACK_NOTE_LIST_LENGTHS =
    counts_of(TRACK_ROWS);
inline constexpr std::array<uint32_t, PACKED_CURVE_COUNT> TRACK_CURVE_LENGTHS =
    counts_of(CURVE_ROWS);

template <typename Values>
constexpr uint32_t sum_of(const Values& values) {
    uint32_t sum = 0;
    for (uint32_t v : values) sum += v;
    return sum;
}

template <typename Layout, size_t N>
constexpr uint32_t total_packed_sample_bytes(const Layout (&layouts)[N]) {
    uint32_t sum = 0;
    for (const Layout& layout : layouts) sum += layout.bytes;
    return sum;
}

template <typename Layout, size_t N>
constexpr uint32_t total_decoded_floats(const Layout (&layouts)[N]) {
    uint32_t sum = 0;
    for (const Layout& layout : layouts) sum += decoded_sample_length(packed_block_count(layout));
    return sum;
}

// The track's table is consistent with itself and with the track's totals.
constexpr bool track_layouts_match_their_sizes() {
    for (const SampleBlockRuns& layout : TRACK_SAMPLE_LAYOUTS) {
        if (packed_sample_bytes(packed_block_count(layout), packed_short_block_count(layout)) !=
            layout.bytes) {
            return false;
        }
    }
    return true;
}
static_assert(track_layouts_match_their_sizes());
static_assert(total_packed_sample_bytes(TRACK_SAMPLE_LAYOUTS) == 350148);
static_assert(sum_of(TRACK_NOTE_LIST_LENGTHS) == 2510);
static_assert(sum_of(TRACK_CURVE_LENGTHS) == 521);
static_assert(packed_sample_bytes(MAX_SAMPLE_BLOCKS, MAX_SAMPLE_BLOCKS) < 1024 * 1024);
static_assert(24 * (4 + MAX_NOTES_PER_LIST * 10) + 37 * (4 + MAX_BREAKPOINTS_PER_CURVE * 12) <
              1024 * 1024);

}  // namespace lf
