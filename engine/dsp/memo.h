// Values that depend on a few numbers only, kept instead of worked out again.
//
// Some per-frame values are functions of a note's or a shape's constants: the
// ratio an envelope decays by, the gain of a velocity. A MemoTable keeps the
// last value worked out for each key, the exact bits of the numbers
// it came from. A value found there is the one the same operations, rounded in
// the same mode, gave when it was kept; a key that finds its slot taken by
// another works its value out and takes the slot over. So the table changes
// how often the arithmetic runs, never its result.
#pragma once

#include <bit>
#include <cstdint>

namespace lf {

template <int SLOTS>
struct MemoTable {
    static_assert(SLOTS > 1 && (SLOTS & (SLOTS - 1)) == 0, "a power of two");
    struct Slot {
        uint64_t key;
        float value;
        bool kept;
    };
    Slot slot[SLOTS];

    template <class Work>
    float get(uint64_t key, Work work) {
        // Fibonacci hashing: the top bits of key·2^64/φ pick the slot.
        constexpr int SHIFT = 64 - std::countr_zero(static_cast<unsigned>(SLOTS));
        Slot& s = slot[(key * 0x9E3779B97F4A7C15ull) >> SHIFT];
        if (!s.kept || s.key != key) s = {key, work(), true};
        return s.value;
    }
};

// The key of a value that depends on the two floats a and b.
inline uint64_t memo_key(float a, float b) {
    return uint64_t{std::bit_cast<uint32_t>(a)} << 32 | std::bit_cast<uint32_t>(b);
}

}  // namespace lf
