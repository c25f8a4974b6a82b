// The band-limited ring read and the ping-pong echo.
//
// The sinc read places 16 taps around the read point, n − 8 .. n + 7 frames
// back, and weighs tap m by sin(π(d − m))/(π(d − m)). Every tap shares the
// factor sin(π·f) up to an alternating sign, so the kernel is written as
// ±1/(π(d − m)) and the common factor cancels when the sum is divided by the
// sum of the weights. That normalisation also makes the read unity-gain for a
// constant signal, whatever the fraction; no window is applied.
//
// The tap distances come from π·f + 8π by repeated subtraction of π, each
// step rounded toward −∞. For a read exactly on a frame (f = 0) that leaves
// the centre distance at −3.3e-6 rather than within the 1e-6 of the special
// case, so the centre weight is about −3·10⁵ and the read returns that frame
// to within 1e-5; any other fraction gets the plain truncated sinc.
#include "engine/dsp/delay.h"

namespace lf {

namespace {

// The read for a delay whose four lanes are equal, as the lead's tunings are:
// the sixteen distances and weights are then the same in every lane, so one
// Vec4 holds four taps' distances and one division gives four weights instead
// of one. Each distance still comes from x₀ by its own run of subtractions of
// π in the same order (lane i of X starts at x₀ − π·i taken step by step;
// subtracting 0 from the nonzero distances is exact), and the two sums take
// the taps one by one in the same order, so every value is the one the plain
// loop computes. Only for taps that all read written slots (t0 >= 1) and do
// not wrap, so the keep mask and the index mask fall away.
Vec4 sinc_read_equal_lanes(const Vec4* tap, Vec4 x) {
    const Vec4 pi(3.1415927f);
    const Vec4 centre_limit(1e-6f);
    const Vec4 one(1.0f);
    const Vec4 zero = Vec4::zero();
    // (x₀, x₀ − π, x₀ − π − π, x₀ − π − π − π)
    Vec4 xs = x - with_lane<0>(pi, zero);
    xs = xs - shuffle2<0, 1, 2, 3>(zero, pi);
    xs = xs - with_lane<3>(zero, pi);
    const Vec4 sign = Vec4::set(1.0f, -1.0f, 1.0f, -1.0f);
    Vec4 acc = zero;
    Vec4 wsum = zero;
    for (int32_t k = 0; k < 16; k += 4) {
        const Vec4 w4 = select(abs(xs) < centre_limit, one, sign / xs);
        const Vec4 w[4] = {broadcast<0>(w4), broadcast<1>(w4), broadcast<2>(w4), broadcast<3>(w4)};
        for (int32_t i = 0; i < 4; ++i) {
            wsum = wsum + w[i];
            acc = fma(w[i], tap[k + i], acc);
        }
        xs = xs - pi;
        xs = xs - pi;
        xs = xs - pi;
        xs = xs - pi;
    }
    return acc / wsum;
}

}  // namespace

Vec4 delay_read_sinc(const DelayRing& ring, Vec4 d) {
    const Vec4 pi(3.1415927f);
    const Vec4 centre_limit(1e-6f);
    const Vec4 one(1.0f);
    Vec4 n = floor(d);
    Vec4 f = d - n;
    // The taps' integer base follows lane 0; each lane keeps its own fraction.
    int32_t t0 = to_int(n.lane0()) - 8;
    // x = π·f + π·8, the distance of the first tap in radians.
    Vec4 x = fma(pi, Vec4(8.0f), pi * f);
    delay_prefetch(ring, ring.index + t0);
    if (t0 >= 1 && ring.index + t0 + 15 <= RING_MASK && lanes_equal(d)) {
        return sinc_read_equal_lanes(&ring.slot[ring.index + t0], x);
    }
    Vec4 sgn = one;
    Vec4 acc = Vec4::zero();
    Vec4 wsum = Vec4::zero();
    for (int32_t k = 0; k < 16; ++k) {
        // w = sgn/x, and 1 where the read point sits on the tap.
        Vec4 w = select(abs(x) < centre_limit, one, sgn / x);
        wsum = wsum + w;
        // A tap at offset 0 or below reads the zero frame but keeps its weight.
        int32_t offset = t0 + k;
        Int4 keep(offset > 0 ? -1 : 0);
        Vec4 v = from_bits(bits(ring.slot[(ring.index + offset) & RING_MASK]) & keep);
        acc = fma(w, v, acc);
        sgn = -sgn;
        x = x - pi;
    }
    return acc / wsum;
}

Vec4 echo_process(EchoUnit& echo, Vec4 x, const EchoParams& params) {
    const Vec4 one(1.0f);
    const Vec4 half(0.5f);
    Vec4 delay(params.delay_frames);
    delay_push(echo.ring, x);
    Vec4 r = delay_read_linear(echo.ring, delay);
    // The repeat goes back into the line: newest = x + feedback·r.
    echo.ring.slot[echo.ring.index] = fma(Vec4(params.feedback), r, x);

    // The pan sweeps from the previous side to the new one over the first
    // 400 frames of each repeat: u runs from −1 to 1 and stays there, and
    // since u and side flip together at a change, the position is continuous.
    Vec4 u = min(one, fms(echo.counter, Vec4(0.005f), one));
    Vec4 v = (u * echo.side) * Vec4(params.width);
    Vec4 left = r * fnma(half, v, half);  // r·(0.5 − 0.5·v)
    Vec4 right = r * fma(half, v, half);  // r·(0.5 + 0.5·v)
    Vec4 out = with_lane<0>(right, left);

    // The side changes when the counter first exceeds the delay (lane 0 decides).
    echo.counter = echo.counter + one;
    Vec4 change = broadcast<0>(echo.counter > delay);
    echo.side = select(change, -echo.side, echo.side);
    echo.counter = select(change, Vec4::zero(), echo.counter);
    return out;
}

}  // namespace lf
