// The Schroeder network, one frame at a time.
//
// Four combs of 32 to 37 ms sum their taps into the first of eight all-passes
// in series. Each comb recirculates through a one-pole low-pass (the damping),
// so high frequencies die away sooner than low ones, as in a room. The
// all-passes then thicken the echo density without colouring the spectrum.
// Lane 1 reads every line `spread` frames further back than lanes 0, 2 and 3,
// which decorrelates the right channel from the left.
#include "engine/dsp/reverb.h"

#include <cstddef>

namespace lf {

namespace {

// Line lengths in frames: 0-7 are the all-passes, 8-11 the combs.
constexpr int32_t LINE_LENGTH[12] = {556,  441,  341,  225,  1116, 1188,
                                     1277, 1356, 1422, 1491, 1557, 1617};
constexpr int32_t SHORTEST_LINE = 225;
constexpr int32_t LONGEST_LINE = 1617;

// How a frame finds a line's taps. Every line moves its index back by one per
// frame and reads what it wrote `length` frames ago, lane 1 from `spread`
// frames further back. The new slot holds the provisional zero frame until the
// line's input is written there; only a tap that lands on it could read that
// zero, so the zero is stored only then.
//
// Wrapping: every slot number is masked. Straight: the caller has checked that
// every slot number of this frame, hints included, already lies in 0..32767
// and that no tap lands on the new slot. The masks are then the identity and
// the zero store never happens, so the taps read the very slots the wrapping
// form reads, at constant distances from the new slot.
enum class Taps { wrapping, straight };

template <Taps TAPS>
inline Vec4 line_tap(DelayRing& ring, ptrdiff_t index, int32_t length, ptrdiff_t spread) {
    // The hints: the slot this line writes RING_PREFETCH_FRAMES frames from
    // now, and the left tap's slot of then. The right tap reads where the left
    // one read `spread` frames ago, still in the cache.
    if constexpr (TAPS == Taps::wrapping) {
        const ptrdiff_t at = index + length;
        __builtin_prefetch(&ring.slot[(index - RING_PREFETCH_FRAMES) & RING_MASK], 1);
        __builtin_prefetch(&ring.slot[(at - RING_PREFETCH_FRAMES) & RING_MASK]);
        if (((length + spread) & RING_MASK) == 0) ring.slot[index] = Vec4::zero();
        return with_lane<1>(ring.slot[at & RING_MASK], ring.slot[(at + spread) & RING_MASK]);
    } else {
        // Slot numbers in 64 bits: every address is the unit's base plus
        // index or index + spread plus a constant, one addressing mode each.
        __builtin_prefetch(&ring.slot[index - RING_PREFETCH_FRAMES], 1);
        __builtin_prefetch(&ring.slot[index + length - RING_PREFETCH_FRAMES]);
        return with_lane<1>(ring.slot[index + length], ring.slot[index + spread + length]);
    }
}

// The combs and all-passes of one frame, from the input to the all-passes'
// output; `index` is every line's new slot.
template <Taps TAPS>
inline Vec4 network(ReverbUnit& unit, Vec4 x, const ReverbParams& params, ptrdiff_t index) {
    const Vec4 feedback(params.feedback);
    const Vec4 damping(params.damping);
    const Vec4 gain(params.allpass_gain);
    const Vec4 input = x * Vec4(params.input_gain);
    const ptrdiff_t spread = params.spread;

    // Combs, longest first: v = x·gin + fb·t, s = v + damp·(s − v) goes back in.
    Vec4 acc = Vec4::zero();
    for (int32_t k = 11; k >= 8; --k) {
        DelayRing& ring = unit.line[k];
        const Vec4 t = line_tap<TAPS>(ring, index, LINE_LENGTH[k], spread);
        Vec4 v = fma(feedback, t, input);
        Vec4& s = unit.damp[k];
        s = fma(damping, s - v, v);
        ring.slot[index] = s;
        acc = acc + t;
    }

    // All-passes 1356, 1277, ..., 556: w = sig + g·t goes in, t − g·w comes out.
    Vec4 sig = acc;
    for (int32_t k = 7; k >= 0; --k) {
        DelayRing& ring = unit.line[k];
        const Vec4 t = line_tap<TAPS>(ring, index, LINE_LENGTH[k], spread);
        Vec4 w = fma(gain, t, sig);
        ring.slot[index] = w;
        sig = fnma(gain, w, t);
    }
    return sig;
}

}  // namespace

Vec4 reverb_process(ReverbUnit& unit, Vec4 x, const ReverbParams& params) {
    // The twelve lines start at index 0 and step together, so one index serves
    // them all; each ring still records it.
    const ptrdiff_t index = (unit.line[0].index - 1) & RING_MASK;
    for (DelayRing& ring : unit.line) ring.index = static_cast<int32_t>(index);

    // Straight in all but 1641 of every 32768 frames (spread 23): the
    // write hint at index − 1 and the farthest tap at index + 1617 + spread stay
    // in the ring, and with spread > −225 the nearest right tap, at
    // index + 225 + spread, lies beyond the new slot.
    const ptrdiff_t spread = params.spread;
    const ptrdiff_t reach = spread > 0 ? spread : 0;
    const bool straight = index >= RING_PREFETCH_FRAMES && spread > -SHORTEST_LINE &&
                          reach <= RING_MASK - LONGEST_LINE - index;
    const Vec4 sig = straight ? network<Taps::straight>(unit, x, params, index)
                              : network<Taps::wrapping>(unit, x, params, index);

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
