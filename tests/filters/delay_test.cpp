// The delay ring's indexing, its linear and band-limited reads, and the
// ping-pong echo, against closed forms.
#include <cmath>
#include <cstring>
#include <ostream>
#include <vector>

#include "engine/dsp/delay.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

using Delay = EngineMode;

// A distinct frame for push number n (exact small integers in every lane).
Vec4 frame(int n) {
    return Vec4::set(float(n % 4096), -float(n % 1000), float(n % 7), 1.0f);
}

TEST_F(Delay, RingIndexCountsDownAndWraps) {
    DelayRing& ring = cleared<DelayRing>();
    delay_push(ring, frame(0));
    EXPECT_EQ(ring.index, RING_SIZE - 1);
    EXPECT_TRUE(same_bits(ring.slot[RING_SIZE - 1], frame(0)));
    for (int n = 1; n < RING_SIZE; ++n) delay_push(ring, frame(n));
    EXPECT_EQ(ring.index, 0);  // 32768 pushes bring it back where it started
    // Ten more pushes: reads from here on cross the end of the array.
    const int pushes = RING_SIZE + 10;
    for (int n = RING_SIZE; n < pushes; ++n) delay_push(ring, frame(n));
    for (int d : {0, 1, 9, 10, 11, 500, RING_SIZE - 1}) {
        Vec4 got = delay_read_linear(ring, Vec4(float(d)));
        for (int lane = 0; lane < 4; ++lane)
            EXPECT_EQ(got.lane(lane), frame(pushes - 1 - d).lane(lane)) << "d = " << d;
    }
}

// Pushes n² for n = 0..99, so frame k back holds (99 − k)²; every expected
// value below is exact in single precision.
DelayRing& squares_ring() {
    DelayRing& ring = cleared<DelayRing>();
    for (int n = 0; n < 100; ++n) delay_push(ring, Vec4(float(n * n)));
    return ring;
}

double back(int k) {
    return double((99 - k) * (99 - k));
}

TEST_F(Delay, LinearReadFractions) {
    const DelayRing& ring = squares_ring();
    // 2.25: three quarters of frame 2 back, one quarter of frame 3 back.
    EXPECT_EQ(delay_read_linear(ring, Vec4(2.25f)).lane0(), 0.75 * back(2) + 0.25 * back(3));
    // 2.75: the integer part is the floor, the fraction 0.75.
    EXPECT_EQ(delay_read_linear(ring, Vec4(2.75f)).lane0(), 0.25 * back(2) + 0.75 * back(3));
    EXPECT_EQ(delay_read_linear(ring, Vec4(0.0f)).lane0(), back(0));
    // Lane 0 picks the two frames; every lane applies its own fraction to them.
    Vec4 got = delay_read_linear(ring, Vec4::set(2.25f, 3.5f, 2.0f, 5.75f));
    EXPECT_EQ(got.lane(0), 0.75 * back(2) + 0.25 * back(3));
    EXPECT_EQ(got.lane(1), 0.5 * back(2) + 0.5 * back(3));
    EXPECT_EQ(got.lane(2), back(2));
    EXPECT_EQ(got.lane(3), 0.25 * back(2) + 0.75 * back(3));
}

// The sinc kernel, weighed in double precision: tap k (offset n − 8 + k)
// weighs (−1)^k / x_k, or 1 where |x_k| < 1e-6, with x_k = π(f + 8 − k) placed
// as the read places it, by k single-precision subtractions of π from
// π·f + 8π. Taps at offset 0 or below read zero but count in the normalisation.
double sinc_expected(float f, int n, double value) {
    const float pi = 3.1415927f;
    float x = std::fma(pi, 8.0f, pi * f);
    double acc = 0, wsum = 0;
    for (int k = 0; k < 16; ++k, x -= pi) {
        double w = std::abs(x) < 1e-6f ? 1.0 : (k % 2 ? -1.0 : 1.0) / double(x);
        wsum += w;
        if (n - 8 + k > 0) acc += w * value;
    }
    return acc / wsum;
}

TEST_F(Delay, SincReadIsNormalisedAndSeesZeroAtOrBelowOffsetZero) {
    DelayRing& ring = cleared<DelayRing>();
    const float value[4] = {0.7f, -1.3f, 2.0f, 1e-3f};
    for (int n = 0; n < RING_SIZE; ++n) delay_push(ring, Vec4::load(value));
    // Far enough back, a constant comes out unchanged whatever the fraction.
    for (float d : {9.0f, 9.25f, 37.5f, 1000.125f, 32000.875f}) {
        Vec4 got = delay_read_sinc(ring, Vec4(d));
        for (int lane = 0; lane < 4; ++lane)
            EXPECT_NEAR(got.lane(lane), value[lane], 2e-6 * std::abs(value[lane])) << d;
    }
    // Closer than 9 frames the taps at offset 0 and below read zero, though
    // the ring holds the constant there. Lane 0's integer part places all taps.
    for (Vec4 d : {Vec4::set(3.4f, 3.9f, 3.0f, 3.5f), Vec4::set(8.5f, 8.0f, 8.25f, 8.999f),
                   Vec4::set(0.0f, 0.5f, 0.1f, 0.9f), Vec4::set(6.0f, 6.5f, 6.25f, 6.125f)}) {
        Vec4 got = delay_read_sinc(ring, d);
        int n = int(std::floor(d.lane0()));
        for (int lane = 0; lane < 4; ++lane) {
            float f = d.lane(lane) - std::floor(d.lane(lane));
            EXPECT_NEAR(got.lane(lane), sinc_expected(f, n, value[lane]),
                        1e-5 * std::abs(value[lane]))
                << "d " << d.lane(lane) << " lane " << lane;
        }
    }
}

// Exactly on a frame, the eight subtractions leave the centre tap 3.3e-6 from
// zero in this rounding mode, past the 1e-6 limit: its weight, about −3·10⁵,
// outweighs the rest and the read returns that frame to within 1e-5.
TEST_F(Delay, SincReadOnAFrameReturnsThatFrame) {
    DelayRing& ring = cleared<DelayRing>();
    for (int n = 0; n < 200; ++n) delay_push(ring, Vec4(float(n % 17) - 8.0f));
    for (int d : {9, 10, 57, 150}) {
        float expected = float((199 - d) % 17) - 8.0f;
        EXPECT_NEAR(delay_read_sinc(ring, Vec4(float(d))).lane0(), expected, 1e-4) << d;
    }
}

// A band-limited signal read between frames comes out close to its value
// there: the 16-tap kernel interpolates.
TEST_F(Delay, SincReadInterpolatesASine) {
    DelayRing& ring = cleared<DelayRing>();
    const double cycles_per_frame = 1000.0 / RATE;
    const int pushes = 2000;
    for (int n = 0; n < pushes; ++n)
        delay_push(ring, Vec4(float(std::sin(2 * PI * cycles_per_frame * n))));
    for (float d : {20.25f, 100.5f, 333.875f, 1500.1f}) {
        double t = (pushes - 1) - double(d);
        double expected = std::sin(2 * PI * cycles_per_frame * t);
        EXPECT_NEAR(delay_read_sinc(ring, Vec4(d)).lane0(), expected, 0.02) << d;
    }
}

EchoUnit& started_echo() {
    EchoUnit& echo = cleared<EchoUnit>();
    echo.side = Vec4(1.0f);
    return echo;
}

// Each repeat feeds back scaled by the feedback; with width 0 both sides
// carry half of it.
TEST_F(Delay, EchoRepeatsWithFeedback) {
    EchoUnit& echo = started_echo();
    const EchoParams params{0.5f, 0.0f, 100.0f};
    for (int n = 0; n < 1000; ++n) {
        Vec4 y = echo_process(echo, Vec4(n == 0 ? 1.0f : 0.0f), params);
        double expected = (n > 0 && n % 100 == 0) ? std::ldexp(1.0, -(n / 100)) : 0.0;
        for (int lane = 0; lane < 4; ++lane) ASSERT_EQ(y.lane(lane), expected) << "frame " << n;
    }
}

struct EchoCase {
    float delay, width;
};
void PrintTo(const EchoCase& c, std::ostream* os) {
    *os << "delay=" << c.delay << " width=" << c.width;
}

class EchoPan : public EngineMode, public ::testing::WithParamInterface<EchoCase> {};

// A steady input shows the pan position frame by frame. The side changes when
// the counter first exceeds the delay, every floor(delay) + 1 frames; within
// each period u = min(1, 0.005·counter − 1) sweeps from −1 to 1 over 400
// frames, so the position moves continuously from one side to the other.
TEST_P(EchoPan, SideChangesAndPanSweep) {
    const EchoCase& c = GetParam();
    EchoUnit& echo = started_echo();
    const EchoParams params{0.0f, c.width, c.delay};
    const int period = int(std::floor(c.delay)) + 1;
    for (int n = 0; n < 6000; ++n) {
        Vec4 y = echo_process(echo, Vec4(1.0f), params);
        if (n <= c.delay + 1) continue;  // the line is still filling
        int counter = n % period;
        double side = (n / period) % 2 ? -1.0 : 1.0;
        double v = std::min(1.0, 0.005 * counter - 1.0) * side * c.width;
        ASSERT_NEAR(y.lane(0), 0.5 - 0.5 * v, 1e-6) << "frame " << n;
        for (int lane = 1; lane < 4; ++lane) ASSERT_NEAR(y.lane(lane), 0.5 + 0.5 * v, 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Delays, EchoPan,
                         ::testing::Values(EchoCase{100.0f, 1.0f}, EchoCase{250.5f, 0.6f},
                                           EchoCase{1000.0f, 1.0f}, EchoCase{1234.0f, 0.3f}));

// The read the kernel defines, tap after tap in four lanes: the reference for
// the faster read of delays whose lanes are all equal, which must give the
// same bits (same subtractions, same division per weight, same sums in order).
Vec4 sinc_tap_by_tap(const DelayRing& ring, Vec4 d) {
    const Vec4 pi(3.1415927f);
    Vec4 n = floor(d);
    Vec4 x = fma(pi, Vec4(8.0f), pi * (d - n));
    int32_t t0 = to_int(n.lane0()) - 8;
    Vec4 sgn(1.0f), acc = Vec4::zero(), wsum = Vec4::zero();
    for (int32_t k = 0; k < 16; ++k) {
        Vec4 w = select(abs(x) < Vec4(1e-6f), Vec4(1.0f), sgn / x);
        wsum = wsum + w;
        Vec4 v = t0 + k > 0 ? ring.slot[(ring.index + t0 + k) & RING_MASK] : Vec4::zero();
        acc = fma(w, v, acc);
        sgn = -sgn;
        x = x - pi;
    }
    return acc / wsum;
}

TEST_F(Delay, SincReadOfEqualLanesIsTheTapByTapRead) {
    DelayRing& ring = cleared<DelayRing>();
    std::vector<float> noise(4 * RING_SIZE);
    uint32_t state = 12345;
    for (float& v : noise) v = lcg_noise(state);
    std::memcpy(ring.slot, noise.data(), sizeof ring.slot);
    // Index positions far from the end and close to it (taps that wrap take
    // the general read); delays near and far, on frames and between them.
    const float delays[] = {0.0f,  5.5f,  8.75f,      9.0f,      9.0001f,
                            13.7f, 24.5f, 100.03125f, 1000.999f, 32000.5f};
    for (int32_t index : {0, 1, 777, RING_SIZE - 40, RING_SIZE - 17, RING_SIZE - 1}) {
        ring.index = index;
        for (float d : delays) {
            for (float step : {0.0f, 1.0f / 3.0f, 0.0625f}) {
                const Vec4 dv(d + step);
                const Vec4 want = sinc_tap_by_tap(ring, dv);
                const Vec4 got = delay_read_sinc(ring, dv);
                ASSERT_TRUE(same_bits(got, want)) << "index " << index << " d " << d + step;
            }
        }
    }
}

}  // namespace
