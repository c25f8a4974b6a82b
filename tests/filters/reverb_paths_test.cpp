// The reverb's straight taps against the plain masked network.
//
// The engine steps all twelve lines from one index and, on most frames,
// addresses the taps without masks and skips the provisional zero frame. None
// of that may change a bit. The reference below is the network written out
// line by line: each line keeps its own index, every slot number is masked,
// and the new slot is zeroed on every frame before the taps read. Both start
// from the same scrambled state and run over more than three trips round the
// ring, so every index, both ends of the straight range and the wrap of every
// tap are crossed; outputs, the indices and the damping memories are compared
// on every frame, the high-pass memory and all ring contents at the end.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/dsp/reverb.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

namespace reference {

constexpr int32_t LENGTH[12] = {556, 441, 341, 225, 1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};

struct Network {
    std::vector<Vec4> slot[12];  // RING_SIZE each
    int32_t index[12];
    Vec4 damp[12];
    BiquadState highpass;
};

// Steps line k and returns its taps: lane 1 from `spread` frames further back.
Vec4 step_and_tap(Network& r, int k, int32_t spread) {
    r.index[k] = (r.index[k] - 1) & RING_MASK;
    std::vector<Vec4>& ring = r.slot[k];
    ring[r.index[k]] = Vec4::zero();  // the provisional zero frame
    const int64_t at = int64_t{r.index[k]} + LENGTH[k];
    Vec4 t = ring[at & RING_MASK];
    Vec4 t_right = ring[(at + spread) & RING_MASK];
    return with_lane<1>(t, t_right);
}

Vec4 process(Network& r, Vec4 x, const ReverbParams& p) {
    const Vec4 input = x * Vec4(p.input_gain);
    Vec4 acc = Vec4::zero();
    for (int k = 11; k >= 8; --k) {
        Vec4 t = step_and_tap(r, k, p.spread);
        Vec4 v = fma(Vec4(p.feedback), t, input);            // v = x·gin + fb·t
        r.damp[k] = fma(Vec4(p.damping), r.damp[k] - v, v);  // s = v + damp·(s − v)
        r.slot[k][r.index[k]] = r.damp[k];
        acc = acc + t;
    }
    Vec4 sig = acc;
    for (int k = 7; k >= 0; --k) {
        Vec4 t = step_and_tap(r, k, p.spread);
        Vec4 w = fma(Vec4(p.allpass_gain), t, sig);  // w = sig + g·t
        r.slot[k][r.index[k]] = w;
        sig = fnma(Vec4(p.allpass_gain), w, t);  // t − g·w
    }
    const BiquadCoeffs hp = design_highpass(Vec4(p.highpass_hz), Vec4(0.70710677f));
    Vec4 h = biquad_process(hp, r.highpass, sig);
    const Vec4 half(0.5f);
    Vec4 m = fma(half, broadcast<1>(h), half * broadcast<0>(h));
    return fma(h - m, Vec4(p.width), m) * (Vec4(p.wet) * Vec4(0.125f));
}

}  // namespace reference

// The engine's unit (static, like the engine's own) and the reference, both
// filled with the same noise and starting at `start`.
ReverbUnit engine_unit;

std::unique_ptr<reference::Network> scramble(int32_t start, uint32_t seed) {
    std::memset(&engine_unit, 0, sizeof engine_unit);
    auto r = std::make_unique<reference::Network>();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    auto draw = [&] { return Vec4::set(noise(rng), noise(rng), noise(rng), noise(rng)); };
    for (int k = 0; k < 12; ++k) {
        r->slot[k].resize(RING_SIZE);
        for (int32_t i = 0; i < RING_SIZE; ++i)
            r->slot[k][i] = engine_unit.line[k].slot[i] = draw();
        r->index[k] = engine_unit.line[k].index = start;
        r->damp[k] = engine_unit.damp[k] = draw();
    }
    r->highpass = engine_unit.highpass = {draw(), draw()};
    return r;
}

// Spread, or a sentinel for "a different spread on every frame".
constexpr int32_t MOVING = INT32_MIN;
// The largest spread whose taps stay straight: only at the lowest index that
// leaves room for the write hint.
constexpr int32_t LARGEST_STRAIGHT = RING_MASK - 1617 - RING_PREFETCH_FRAMES;
constexpr int32_t MOVING_SPREADS[] = {
    23, 0, -224, -225, 1, LARGEST_STRAIGHT, LARGEST_STRAIGHT + 1, 32543, -600};

struct PathCase {
    int32_t spread;
    int32_t start;  // the lines' index before the first frame
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << "spread " << (c.spread == MOVING ? "moving" : std::to_string(c.spread)) << " from index "
        << c.start;
}

class ReverbPaths : public EngineMode, public ::testing::WithParamInterface<PathCase> {};

// 3.2 trips round the ring: every index occurs at least three times.
constexpr int FRAMES = 105000;

TEST_P(ReverbPaths, StraightTapsMatchTheMaskedNetwork) {
    const PathCase c = GetParam();
    auto r = scramble(c.start, 0x5eed + static_cast<uint32_t>(c.spread));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    // A feedback and damping that change a little every frame, like the lead's.
    ReverbParams p{0.9f, 0.315f, 1.5217f, 232.0f, 1.0f, 1.0f, 0.5f, c.spread};
    for (int n = 0; n < FRAMES; ++n) {
        p.feedback = 0.9f + 0.05f * noise(rng);
        p.damping = 0.3f + 0.1f * noise(rng);
        if (c.spread == MOVING) p.spread = MOVING_SPREADS[rng() % std::size(MOVING_SPREADS)];
        const Vec4 x = Vec4::set(noise(rng), noise(rng), noise(rng), noise(rng));
        const Vec4 expected = reference::process(*r, x, p);
        const Vec4 got = reverb_process(engine_unit, x, p);
        ASSERT_TRUE(same_bits(got, expected))
            << "frame " << n << ", index " << r->index[0] << ", spread " << p.spread;
        for (int k = 0; k < 12; ++k) {
            ASSERT_EQ(engine_unit.line[k].index, r->index[k]) << "line " << k << ", frame " << n;
            ASSERT_TRUE(same_bits(engine_unit.damp[k], r->damp[k]))
                << "line " << k << ", frame " << n;
        }
    }
    EXPECT_TRUE(same_bits(engine_unit.highpass.s1, r->highpass.s1));
    EXPECT_TRUE(same_bits(engine_unit.highpass.s2, r->highpass.s2));
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(
            std::memcmp(engine_unit.line[k].slot, r->slot[k].data(), sizeof(Vec4) * RING_SIZE), 0)
            << "ring contents of line " << k;
    }
}

// Spreads: the track's 23; none; the smallest straight (−224) and the first
// that lands lane 1 on the new slot of the 225-frame line (−225); taps ahead
// of the new slot (−600); the largest straight spread (straight only at the
// lowest index the write hint allows) and the first that never is; 32543, whose right
// tap on the 225-frame line is the new slot itself, a whole ring back; and
// 40000, beyond the ring. Starts: from zero as in the engine, and just above
// the straight range's upper end.
INSTANTIATE_TEST_SUITE_P(Spreads, ReverbPaths,
                         ::testing::Values(PathCase{23, 0}, PathCase{0, 0}, PathCase{-224, 0},
                                           PathCase{-225, 0}, PathCase{-600, 0},
                                           PathCase{LARGEST_STRAIGHT, 0},
                                           PathCase{LARGEST_STRAIGHT + 1, 0}, PathCase{32543, 0},
                                           PathCase{40000, 0}, PathCase{23, 31130},
                                           PathCase{MOVING, 0}, PathCase{MOVING, 12}));

}  // namespace
