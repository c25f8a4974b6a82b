// The Schroeder network, one frame at a time.
//
// Four combs of 32 to 37 ms sum their taps into the first of eight all-passes
// in series. Each comb recirculates through a one-pole low-pass (the damping),
// so high frequencies die away sooner than low ones, as in a room. The
// all-passes then thicken the echo density without colouring the spectrum.
// Lane 1 reads every line `spread` frames further back than lanes 0, 2 and 3,
// which decorrelates the right channel from the left.
#include "engine/dsp/reverb.h"

namespace lf {

namespace {

// Line lengths in frames: 0-7 are the all-passes, 8-11 the combs.
constexpr int32_t LINE_LENGTH[12] = {556,  441,  341,  225,  1116, 1188,
                                     1277, 1356, 1422, 1491, 1557, 1617};

// One frame of a line: the index moves back by one, and the taps read what
// the line wrote `length` frames ago, lane 1 from `spread` frames further
// back. The new slot holds the provisional zero frame until the caller writes
// the line's input there. Only a tap that lands on the new slot could read
// that zero, so it is stored only then; the index stays in a register, which
// spares the reload that every vector store (it may alias anything) would
// force on ring.index.
struct LineTap {
    int32_t index;  // the new slot
    Vec4 t;
};

inline LineTap step_and_tap(DelayRing& ring, int32_t length, int32_t spread) {
    const int32_t index = (ring.index - 1) & RING_MASK;
    ring.index = index;
    // The slot this line writes RING_PREFETCH_FRAMES frames from now, and the
    // left tap's slot of then. The right tap reads where the left one read
    // `spread` frames ago, still in the cache.
    __builtin_prefetch(&ring.slot[(index - RING_PREFETCH_FRAMES) & RING_MASK], 1);
    const int32_t at = index + length;
    delay_prefetch(ring, at);
    if ((length & RING_MASK) == 0 || ((length + spread) & RING_MASK) == 0) {
        ring.slot[index] = Vec4::zero();
    }
    const Vec4 t = ring.slot[at & RING_MASK];
    const Vec4 t_right = ring.slot[(at + spread) & RING_MASK];
    return {index, with_lane<1>(t, t_right)};
}

}  // namespace

Vec4 reverb_process(ReverbUnit& unit, Vec4 x, const ReverbParams& params) {
    const Vec4 feedback(params.feedback);
    const Vec4 damping(params.damping);
    const Vec4 gain(params.allpass_gain);
    const Vec4 input = x * Vec4(params.input_gain);
    const int32_t spread = params.spread;

    // Combs, longest first: v = x·gin + fb·t, s = v + damp·(s − v) goes back in.
    Vec4 acc = Vec4::zero();
    for (int32_t k = 11; k >= 8; --k) {
        DelayRing& ring = unit.line[k];
        const LineTap tap = step_and_tap(ring, LINE_LENGTH[k], spread);
        Vec4 v = fma(feedback, tap.t, input);
        Vec4& s = unit.damp[k];
        s = fma(damping, s - v, v);
        ring.slot[tap.index] = s;
        acc = acc + tap.t;
    }

    // All-passes 1356, 1277, ..., 556: w = sig + g·t goes in, t − g·w comes out.
    Vec4 sig = acc;
    for (int32_t k = 7; k >= 0; --k) {
        DelayRing& ring = unit.line[k];
        const LineTap tap = step_and_tap(ring, LINE_LENGTH[k], spread);
        Vec4 w = fma(gain, tap.t, sig);
        ring.slot[tap.index] = w;
        sig = fnma(gain, w, tap.t);
    }

    // The high-pass follows its cutoff parameter frame by frame (designed
    // again only when the cutoff changes).
    const BiquadCoeffs& highpass =
        design_highpass(unit.highpass_design, Vec4(params.highpass_hz), Vec4(0.70710677f));
    Vec4 h = biquad_process(highpass, unit.highpass, sig);

    // Mid/side width: m = 0.5·h0 + 0.5·h1, out = ((h − m)·width + m)·(wet·0.125).
    const Vec4 half(0.5f);
    Vec4 m = fma(half, broadcast<1>(h), half * broadcast<0>(h));
    return fma(h - m, Vec4(params.width), m) * (Vec4(params.wet) * Vec4(0.125f));
}

}  // namespace lf
