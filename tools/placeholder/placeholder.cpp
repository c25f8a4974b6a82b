#include "tools/placeholder/placeholder.h"

#include <algorithm>

namespace lf::placeholder {

namespace {

// xorshift32: a fixed, platform-independent sequence.
struct Random {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int32_t between(int32_t low, int32_t high) {  // inclusive
        return low + static_cast<int32_t>(next() % static_cast<uint32_t>(high - low + 1));
    }
};

constexpr uint8_t BAND_WIDTHS[20] = {8,  8,  8,  8,  8,  8,  8,  8,   16,  16,
                                     24, 32, 32, 40, 48, 64, 80, 120, 144, 176};

}  // namespace

std::vector<uint8_t> make_sample(int sample) {
    const PackedSampleLayout& layout = PACKED_SAMPLE_LAYOUTS[sample - 1];
    std::vector<uint8_t> types;
    for (const BlockRun& run : layout.runs) types.insert(types.end(), run.count, run.type);
    const uint32_t blocks = static_cast<uint32_t>(types.size());

    Random random{0x9E3779B9u * static_cast<uint32_t>(sample)};
    std::vector<uint8_t> coefficients;
    std::vector<uint8_t> gains;
    // Band gains in 0.625-octave steps: a burst that starts about 25 dB below
    // full scale, darker in the upper bands, and falls one step per block to a
    // floor far below hearing.
    int32_t gain[20] = {};
    for (uint32_t i = 0; i < blocks; ++i) {
        const int windows = types[i] == SHORT_BLOCK_TYPE ? 8 : 1;
        for (int j = 0; j < windows; ++j) {
            for (int k = 0; k < 20; ++k) {
                const int width = BAND_WIDTHS[k] / windows;
                // Every fourth band is coded sparse and left to the noise fill.
                const bool sparse = random.next() % 4 == 0;
                for (int l = 0; l < width; ++l) {
                    const int32_t v = sparse ? 0 : random.between(-12, 12);
                    coefficients.push_back(static_cast<uint8_t>(v));
                }
                int32_t target = 27 - k / 3 - static_cast<int32_t>(i);
                target = std::max(target, 2);
                if (j > 0) target = gain[k];
                gains.push_back(static_cast<uint8_t>(target - gain[k]));  // modulo 256
                gain[k] = target;
            }
        }
    }
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>((blocks - 1) & 0xFF));
    bytes.push_back(static_cast<uint8_t>((blocks - 1) >> 8));
    // The coefficient section holds 856 bytes per block whatever its type.
    for (const std::vector<uint8_t>* section : {&types, &coefficients, &gains}) {
        for (uint8_t b : *section) bytes.push_back(b);
    }
    return bytes;
}

bundle::Score make_score() {
    bundle::Score score;
    Random random{0x2545F491u};
    for (int k = 0; k < PACKED_NOTE_LIST_COUNT; ++k) {
        const uint32_t count = NOTE_LIST_LENGTHS[k];
        bundle::NoteList& list = score.note_lists.emplace_back();
        // Notes spread evenly over the track from bar 2, on a sixteenth grid.
        const int32_t first = 2 * 256;
        const int32_t span = bundle::TRACK_TICKS - first - 256;
        int32_t note = 0, velocity = 0, start = 0, duration = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const int32_t new_start =
                first + static_cast<int32_t>(static_cast<int64_t>(span) * i / count) / 16 * 16;
            const int32_t gap = count > 1 ? span / static_cast<int32_t>(count) : span;
            const int32_t new_note = 36 + 12 * (k % 3) + random.between(0, 23);
            const int32_t new_velocity = random.between(40, 64);
            const int32_t new_duration = std::clamp(gap / 2, 8, 96);
            list.notes.push_back(static_cast<uint8_t>(bundle::zigzag_encode(new_note - note)));
            list.velocities.push_back(
                static_cast<uint8_t>(bundle::zigzag_encode(new_velocity - velocity)));
            list.starts.push_back(bundle::zigzag_encode(new_start - start));
            list.durations.push_back(bundle::zigzag_encode(new_duration - duration));
            note = new_note, velocity = new_velocity, start = new_start, duration = new_duration;
        }
    }
    for (int c = 0; c < PACKED_CURVE_COUNT; ++c) {
        const uint32_t count = CURVE_LENGTHS[c];
        bundle::Curve& curve = score.curves.emplace_back();
        // Every fifth curve starts 2.5 s before the track; the rest at 0.
        const int32_t first = c % 5 == 0 ? -480 : 0;
        const int32_t step = (bundle::TRACK_TICKS - first) / static_cast<int32_t>(count + 1);
        for (uint32_t i = 0; i < count; ++i) {
            int32_t delta = i == 0 ? first : step;
            if (i == 2 && c % 4 == 1) delta = 0;  // a jump: two breakpoints at one time
            curve.times.push_back(delta);
            curve.values.push_back(random.between(0, 128));
            curve.shapes.push_back(i % 3 == 2 ? random.between(-32, 32) : 0);
        }
    }
    return score;
}

}  // namespace lf::placeholder
