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
#pragma once

#include <cstdint>

namespace lf {

constexpr int PACKED_SAMPLE_COUNT = 7;
constexpr int PACKED_NOTE_LIST_COUNT = 24;
constexpr int PACKED_CURVE_COUNT = 37;

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

constexpr uint32_t NOTE_LIST_LENGTHS[PACKED_NOTE_LIST_COUNT] = {
    6, 35, 35, 26, 26, 16, 8, 260, 9, 187, 279, 288, 85, 278, 343, 2, 190, 141, 2, 272, 5, 13, 1, 3,
};

constexpr uint32_t CURVE_LENGTHS[PACKED_CURVE_COUNT] = {
    5,  18, 8,  8,  4,  5,  8,  7,  22, 16, 5,  6, 3, 34, 4,  3, 5, 32, 18,
    14, 11, 10, 18, 11, 22, 15, 11, 21, 93, 13, 5, 4, 5,  13, 6, 5, 33,
};

template <typename T, int N>
constexpr uint32_t sum_of(const T (&values)[N]) {
    uint32_t sum = 0;
    for (T v : values) sum += v;
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
