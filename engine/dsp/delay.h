// The delay ring shared by every delay-based effect, its two fractional reads,
// and the ping-pong echo built on it.
//
// A ring holds 32768 frames; its write index counts down, so the frame pushed
// d pushes ago sits at (index + d) & 32767 and every wrap is one mask.
//
// The track runs about a hundred rings at once, more streams than the
// processor's prefetcher follows, and a slot is written again only 32768
// frames after its last write, long after it left the cache. So every push
// and every long read asks for its slot one frame ahead; the hint changes no
// value.
#pragma once

#include <cstdint>

#include "engine/dsp/vec4.h"

namespace lf {

constexpr int32_t RING_SIZE = 32768;
constexpr int32_t RING_MASK = RING_SIZE - 1;

struct DelayRing {
    Vec4 slot[RING_SIZE];
    int32_t index;  // slot of the newest frame
};

// How far ahead the hints reach: one frame. A cache line holds four slots, so
// a hint fetches a new line once every four frames, a frame (about a
// microsecond) before the line is first used. Measured with paired renders:
// 2 frames ahead is 1 to 2 % slower, 4 frames 5 %, 8 frames 7 %; with no hint
// before the reverbs' writes the render takes twice as long. A hint that
// reaches further fetches lines that the frames in between push out of the
// cache again before they are used.
constexpr int32_t RING_PREFETCH_FRAMES = 1;

// Hints that slot `at` (any integer, masked here) will be read in
// RING_PREFETCH_FRAMES frames' time, when the read position has moved there.
// The subtraction wraps in unsigned arithmetic: a non-finite delay gives any
// index at all (INT_MIN among them), and only the hint is affected.
inline void delay_prefetch(const DelayRing& ring, int32_t at) {
    __builtin_prefetch(&ring.slot[(static_cast<uint32_t>(at) - RING_PREFETCH_FRAMES) & RING_MASK]);
}

// Moves the index back by one (0 wraps to 32767) and stores x there.
inline void delay_push(DelayRing& ring, Vec4 x) {
    ring.index = (ring.index - 1) & RING_MASK;
    ring.slot[ring.index] = x;
    // The slot written RING_PREFETCH_FRAMES pushes from now.
    __builtin_prefetch(&ring.slot[(ring.index - RING_PREFETCH_FRAMES) & RING_MASK], 1);
}

// The frame d pushes back (d = 0 is the newest), interpolated linearly. The
// integer part comes from lane 0; each lane keeps its own fraction, so callers
// that want per-lane delays keep the integer parts equal. Inline: every echo,
// shifter and several voices read through it once per frame.
inline Vec4 delay_read_linear(const DelayRing& ring, Vec4 d) {
    Vec4 p = Vec4(static_cast<float>(ring.index)) + d;
    Vec4 whole = floor(p);
    int32_t i = to_int(whole.lane0());
    delay_prefetch(ring, i);
    Vec4 a = ring.slot[i & RING_MASK];
    Vec4 b = ring.slot[(i + 1) & RING_MASK];
    // a + f·(b − a)
    return fma(p - whole, b - a, a);
}

// The frame d pushes back through a 16-tap sinc kernel normalised by its
// weight sum. Taps at offset 0 or below read the zero frame.
Vec4 delay_read_sinc(const DelayRing& ring, Vec4 d);

// Ping-pong echo: each repeat moves to the other side.
struct EchoUnit {
    Vec4 counter;  // frames since the last side change, all lanes equal
    Vec4 side;     // +1 or -1; start-up sets +1
    DelayRing ring;
};

struct EchoParams {
    float feedback;
    float width;
    float delay_frames;
};

// Returns the wet signal only.
Vec4 echo_process(EchoUnit& echo, Vec4 x, const EchoParams& params);

}  // namespace lf
