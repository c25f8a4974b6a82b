// The shape of the compiled-in content that the engine is built for: the byte
// size and block-type sequence of each packed drum sample, and the number of
// notes and breakpoints of each note list and automation curve. The content
// tools must produce exactly this; the build checks the content files against
// it before it embeds them, and the engine sizes its static storage from it.
//
// Packed sample: u16 block count minus one, B block-type bytes, 856 B signed
// coefficient bytes, then 20 gain-delta bytes per window (one window per long
// block, eight per short one): 2 + B + 856 B + 20 (B + 7 S) bytes for S short
// blocks.
//
// Packed score: delta streams of running sums, zigzag coded so that small
// steps either way take small codes.
#pragma once

#include <array>
#include <cstdint>

#include "engine/frame/arrangement.h"

namespace lf {

constexpr int PACKED_SAMPLE_COUNT = 7;
constexpr int PACKED_NOTE_LIST_COUNT = NOTE_LIST_COUNT;
constexpr int PACKED_CURVE_COUNT = CURVE_COUNT;

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

// A run of consecutive blocks of one type.
struct BlockRun {
    uint8_t type;
    uint16_t count;  // 0 ends the list
};

constexpr int MAX_BLOCK_RUNS = 6;

struct PackedSampleLayout {
    uint32_t bytes;
    BlockRun runs[MAX_BLOCK_RUNS];
};

// Types: 0 long, 1 short, 2 long-to-short, 3 short-to-long.
constexpr PackedSampleLayout PACKED_SAMPLE_LAYOUTS[PACKED_SAMPLE_COUNT] = {
    {15191, {{1, 2}, {3, 1}, {0, 14}}},
    {26592, {{1, 1}, {3, 1}, {0, 26}, {2, 1}, {1, 1}}},
    {52931, {{1, 1}, {3, 1}, {0, 34}, {2, 1}, {1, 20}}},
    {49991, {{0, 57}}},
    {90473, {{1, 1}, {3, 1}, {0, 101}}},
    {57485, {{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}}},
    {57485, {{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}}},
};

constexpr uint32_t packed_block_count(const PackedSampleLayout& layout) {
    uint32_t blocks = 0;
    for (const BlockRun& run : layout.runs) blocks += run.count;
    return blocks;
}

constexpr uint32_t packed_short_block_count(const PackedSampleLayout& layout) {
    uint32_t blocks = 0;
    for (const BlockRun& run : layout.runs) {
        if (run.type == SHORT_BLOCK_TYPE) blocks += run.count;
    }
    return blocks;
}

constexpr uint32_t packed_sample_bytes(uint32_t blocks, uint32_t short_blocks) {
    return 2 + blocks + CODED_BYTES_PER_BLOCK * blocks +
           GAIN_BYTES_PER_WINDOW * (blocks + 7 * short_blocks);
}

// Floats of the decoded sample: one hop per block plus two hops of overlap room.
constexpr uint32_t decoded_sample_length(uint32_t blocks) {
    return (blocks + 2) * 1024;
}

// Notes per list and breakpoints per curve, as the arrangement's rows give them.
template <typename Row, size_t N>
constexpr std::array<uint32_t, N> counts_of(const Row (&rows)[N]) {
    std::array<uint32_t, N> counts{};
    for (size_t i = 0; i < N; ++i) counts[i] = static_cast<uint32_t>(rows[i].count);
    return counts;
}
inline constexpr std::array<uint32_t, PACKED_NOTE_LIST_COUNT> NOTE_LIST_LENGTHS =
    counts_of(TRACK_ROWS);
inline constexpr std::array<uint32_t, PACKED_CURVE_COUNT> CURVE_LENGTHS = counts_of(CURVE_ROWS);

template <typename Values>
constexpr uint32_t sum_of(const Values& values) {
    uint32_t sum = 0;
    for (uint32_t v : values) sum += v;
    return sum;
}

constexpr uint32_t total_packed_sample_bytes() {
    uint32_t sum = 0;
    for (const PackedSampleLayout& layout : PACKED_SAMPLE_LAYOUTS) sum += layout.bytes;
    return sum;
}

constexpr uint32_t total_decoded_floats() {
    uint32_t sum = 0;
    for (const PackedSampleLayout& layout : PACKED_SAMPLE_LAYOUTS) {
        sum += decoded_sample_length(packed_block_count(layout));
    }
    return sum;
}

// The table is consistent with itself and with the track's totals.
constexpr bool layouts_match_their_sizes() {
    for (const PackedSampleLayout& layout : PACKED_SAMPLE_LAYOUTS) {
        if (packed_sample_bytes(packed_block_count(layout), packed_short_block_count(layout)) !=
            layout.bytes) {
            return false;
        }
    }
    return true;
}
static_assert(layouts_match_their_sizes());
static_assert(total_packed_sample_bytes() == 350148);
static_assert(sum_of(NOTE_LIST_LENGTHS) == 2510);
static_assert(sum_of(CURVE_LENGTHS) == 521);

}  // namespace lf
