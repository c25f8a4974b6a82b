// The shifters' paired paths against the plain four-lane shifter.
//
// The engine runs path A and path B of a shifter, its two angles and the two
// shifters of a band stage side by side in eight lanes, finds the delay read's
// slot in integers and designs the crossover only when its frequency moves.
// None of that may change a bit. The reference below is the shifter written
// out step by step on Vec4 with the ring's own push and read, designing the
// crossover on every frame; both run from zero state over tens of thousands of
// frames with every parameter moving, and every output, every record the
// frame touches and, now and then, the whole state must be identical.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>

#include "engine/dsp/math.h"
#include "engine/dsp/shifter.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

namespace reference {

constexpr float PATH_A[4] = {0.4794f, 0.876218f, 0.976598f, 0.997499f};
constexpr float PATH_B[4] = {0.161758f, 0.733029f, 0.94535f, 0.990599f};

Vec4 allpass_chain(AllpassMemory (&memory)[4], const float (&coeff)[4], Vec4 u) {
    for (int i = 0; i < 4; ++i) {
        Vec4 a(coeff[i]);
        Vec4 y = fma(a, u, memory[i].m1);  // y = a·u + m1
        memory[i].m1 = memory[i].m2;
        memory[i].m2 = fms(a, y, u);  // m2 = a·y − u
        u = y;
    }
    return u;
}

Vec4 freq_shift(FreqShifter& s, Vec4 x, const FreqShiftParams& p) {
    Vec4 phase = fma(p.shift_hz, Vec4(FRAME_SECONDS), s.phase);
    phase = phase - floor(phase);
    s.phase = phase;
    Vec4 y_a = allpass_chain(s.path_a, PATH_A, x);
    Vec4 d_a = s.previous_a;
    s.previous_a = y_a;
    Vec4 y_b = allpass_chain(s.path_b, PATH_B, x);
    Vec4 r[2];
    for (int i = 0; i < 2; ++i) {
        Vec4 turns = phase + p.phase_offset;
        if (i == 1) turns = turns + p.right_offset;
        Vec4 angle = fma(Vec4(6.2831855f), turns, Vec4::set(0.0f, 0.0f, 1.5707964f, 1.5707964f));
        Vec4 sn = fast_sin(angle);
        // (s2, s3, s2, s3)·dA, then + (s0, s1, s0, s1)·yB fused.
        Vec4 cos_d = Vec4::set(sn.lane(2), sn.lane(3), sn.lane(2), sn.lane(3)) * d_a;
        r[i] = fma(Vec4::set(sn.lane(0), sn.lane(1), sn.lane(0), sn.lane(1)), y_b, cos_d);
    }
    Vec4 v = Vec4::set(r[0].lane(0), r[1].lane(1), r[0].lane(2), r[0].lane(3));
    delay_push(s.ring, v);
    Vec4 w = delay_read_linear(s.ring, Vec4(44.1f) * p.delay_ms);
    s.ring.slot[s.ring.index] = fma(p.feedback, w, v);
    return fma(p.wet, w, d_a);
}

Vec4 band_shift(BandShifter& s, Vec4 x, const BandShiftParams& p) {
    design_crossover(s.split, p.crossover_hz);
    CrossoverOutput bands = crossover_process(s.split, x);
    const Vec4 zero = Vec4::zero();
    const FreqShiftParams down{p.base_delay_ms, -p.shift_hz, zero, p.right_offset, zero, 1.0f};
    const FreqShiftParams up{
        p.base_delay_ms * p.delay_ratio, p.shift_hz, zero, p.right_offset, zero, 1.0f};
    Vec4 high = bands.high;
    for (uint32_t k = 0; k < p.stages; ++k) {
        Vec4 shifted_down = freq_shift(s.shifter[2 * k], high, down);
        Vec4 shifted_up = freq_shift(s.shifter[2 * k + 1], high, up);
        high = shifted_down - shifted_up;
    }
    return fma(p.wet, high, bands.low);
}

}  // namespace reference

// How the delays move over a run.
enum class Delays {
    swept,    // a slow sweep over 0.4 to about 2600 frames
    short_,   // 0 to 2.2 frames: the read reaches the newest slot
    long_,    // close to the ring's length: the read wraps round the ring
    edges,    // stepping by single ulps across whole frames
    unusual,  // negative, beyond 2^23 frames, straddling 2^23
};

std::string delays_name(Delays d) {
    static const char* const names[] = {"swept", "short", "long", "edges", "unusual"};
    return names[static_cast<int>(d)];
}
void PrintTo(Delays d, std::ostream* os) {
    *os << delays_name(d);
}

constexpr int FRAMES = 36000;  // more than one trip round the ring
constexpr int CHECKPOINT = 3000;

float wave(int n, double rate, double phase = 0.0) {
    return float(std::sin(rate * n + phase));
}

// Lane-0 delay in milliseconds at frame n.
float delay_ms(Delays d, int n) {
    switch (d) {
        case Delays::swept:
            return 0.01f + 30.0f * (1.0f + wave(n, 0.00031));
        case Delays::short_:
            return 0.025f * (1.0f + wave(n, 0.0019));
        case Delays::long_:
            return 700.0f + 40.0f * wave(n, 0.0007);
        case Delays::edges: {
            // Near k/44.1 ms for whole frames k, a few ulps either side, so that
            // 44.1·ms lands on, just below and just above k.
            float ms = float((1 + (n / 64) % 700) / 44.1);
            for (int step = (n % 16) - 8; step != 0; step += step > 0 ? -1 : 1)
                ms = std::nextafter(ms, step > 0 ? 1e30f : -1e30f);
            return ms;
        }
        case Delays::unusual: {
            // 5e5 ms and 1e6 ms are 2.2e7 and 4.4e7 frames, where floats are
            // two and four apart; 190217.5 ms is about 2^23 frames.
            static const float values[] = {-3.0f, -0.01f, 1e6f, 190217.0f, 190218.0f, 2.5f,
                                           -0.0f, 0.0f,   5e5f, 190217.5f, 5000.0f,   -700.0f};
            return values[(n / 37) % 12];
        }
    }
    return 0.0f;
}

// Deterministic input: a few sines and a hash, different in every lane.
Vec4 input(int n) {
    uint32_t h = uint32_t(n) * 2654435761u;
    float noise = float(int32_t(h ^ (h >> 15))) * 4.656613e-10f;
    return Vec4::set(wave(n, 0.071) + 0.3f * noise, wave(n, 0.013, 1.0) - 0.2f * noise,
                     0.5f * wave(n, 0.29), noise);
}

// Lanes (a, b, a, b), the way callers pass stereo parameters, but lanes 2-3
// may also differ to show every lane is computed alike.
Vec4 stereo(float a, float b, bool same_pairs = true) {
    return same_pairs ? Vec4::set(a, b, a, b) : Vec4::set(a, b, b, a);
}

FreqShiftParams shift_params(Delays d, int n) {
    const float ms = delay_ms(d, n);
    const bool pairs = (n / 500) % 2 == 0;
    return {stereo(ms, ms * 1.01f + 0.003f, pairs),
            stereo(450.0f * wave(n, 0.0007), -300.0f * wave(n, 0.0011) + 3.0f, pairs),
            stereo(0.3f * wave(n, 0.00017), 0.1f, pairs),
            stereo(0.25f + 0.2f * wave(n, 0.0005), 0.123f, pairs),
            stereo(0.9f * wave(n, 0.0013), 0.7f * wave(n, 0.0009), pairs),
            stereo(0.5f + 0.5f * wave(n, 0.0021), 1.0f, pairs)};
}

BandShiftParams band_params(Delays d, uint32_t stages, int n) {
    // The crossover holds for a while, then jumps; lanes sometimes differ.
    static const float crossovers[] = {220.0f, 700.0f, 1500.5f, 90.0f, 220.0f};
    const float f = crossovers[(n / 700) % 5];
    const bool pairs = (n / 900) % 2 == 0;
    const float ratio = d == Delays::unusual ? ((n / 41) % 3 == 0 ? -1.0f : 1.618f)
                                             : 1.0f + 0.618f * (1.0f + wave(n, 0.0004));
    // The right offset is now and then exactly +0, as the bass has it (the
    // right angle is then the left one), or −0.
    const int offset_span = (n / 600) % 4;
    const Vec4 right_offset = offset_span == 1   ? Vec4(0.0f)
                              : offset_span == 3 ? Vec4(-0.0f)
                                                 : stereo(0.25f * wave(n, 0.0003), 0.25f, pairs);
    return {stereo(f, (n / 1100) % 2 ? f : 1.5f * f),
            stages,
            stereo(delay_ms(d, n), delay_ms(d, n) * 0.99f, pairs),
            stereo(ratio, ratio, pairs),
            stereo(200.0f * wave(n, 0.0006), 150.0f * wave(n, 0.0008) - 2.0f, pairs),
            right_offset,
            stereo(0.25f + 0.5f * (1.0f + wave(n, 0.0017)), 0.5f, pairs)};
}

// A state of its own for every shifter, as a record may hold any: phase in
// [0, 1), memories, previous output and ring contents in [-1, 1), any index.
// (Zero state is what the track starts from; there the two shifters of a
// stage stay equal, which would hide a mix-up between them.)
void seed(FreqShifter& s, uint32_t seed) {
    uint32_t h = seed;
    auto quad = [&h] {
        const float a = lcg_noise(h), b = lcg_noise(h), c = lcg_noise(h), d = lcg_noise(h);
        return Vec4::set(a, b, c, d);
    };
    s.phase = abs(quad());
    for (AllpassMemory& m : s.path_a) m = {quad(), quad()};
    for (AllpassMemory& m : s.path_b) m = {quad(), quad()};
    s.previous_a = quad();
    for (Vec4& slot : s.ring.slot) slot = quad();
    s.ring.index = int32_t(h >> 7) & RING_MASK;
}

void seed(BandShifter& s, uint32_t seed_value) {
    std::memset(&s, 0, sizeof s);  // nothing designed yet
    for (int k = 0; k < 8; ++k) seed(s.shifter[k], seed_value + 7919u * uint32_t(k));
    s.split.low1 = {Vec4(0.1f), Vec4(-0.2f)};
    s.split.high2 = {Vec4(0.3f), Vec4(0.05f)};
}

bool same_memory(const void* a, const void* b, size_t size) {
    return std::memcmp(a, b, size) == 0;
}

// The fields a frame touches: phase, all-pass memories, previous path A
// output, ring index and the newest slot.
bool same_frame_state(const FreqShifter& a, const FreqShifter& b) {
    return same_memory(&a, &b, offsetof(FreqShifter, ring)) && a.ring.index == b.ring.index &&
           same_bits(a.ring.slot[a.ring.index & RING_MASK], b.ring.slot[b.ring.index & RING_MASK]);
}

FreqShifter engine_shifter, reference_shifter;
BandShifter engine_band, reference_band;

class ShifterPaths : public EngineMode, public ::testing::WithParamInterface<Delays> {};

TEST_P(ShifterPaths, SingleShifterIsThePlainShifter) {
    seed(engine_shifter, 12345u + uint32_t(GetParam()));
    std::memcpy(&reference_shifter, &engine_shifter, sizeof engine_shifter);
    for (int n = 0; n < FRAMES; ++n) {
        const Vec4 x = input(n);
        const FreqShiftParams p = shift_params(GetParam(), n);
        const Vec4 y = freq_shift_process(engine_shifter, x, p);
        const Vec4 expected = reference::freq_shift(reference_shifter, x, p);
        ASSERT_TRUE(same_bits(y, expected)) << "output, frame " << n;
        ASSERT_TRUE(same_frame_state(engine_shifter, reference_shifter)) << "state, frame " << n;
        if (n % CHECKPOINT == 0 || n == FRAMES - 1) {
            ASSERT_TRUE(same_memory(&engine_shifter, &reference_shifter, sizeof engine_shifter))
                << "whole record, frame " << n;
        }
    }
}

TEST_P(ShifterPaths, BandShifterIsThePlainBandShifter) {
    for (uint32_t stages = 0; stages <= 4; ++stages) {
        SCOPED_TRACE(stages);
        seed(engine_band, 777u * stages + uint32_t(GetParam()));
        std::memcpy(&reference_band, &engine_band, sizeof engine_band);
        for (int n = 0; n < FRAMES; ++n) {
            const Vec4 x = input(n);
            const BandShiftParams p = band_params(GetParam(), stages, n);
            const Vec4 y = band_shift_process(engine_band, x, p);
            const Vec4 expected = reference::band_shift(reference_band, x, p);
            ASSERT_TRUE(same_bits(y, expected)) << "output, frame " << n;
            for (int s = 0; s < 8; ++s)
                ASSERT_TRUE(same_frame_state(engine_band.shifter[s], reference_band.shifter[s]))
                    << "shifter " << s << ", frame " << n;
            if (n % CHECKPOINT == 0 || n == FRAMES - 1) {
                ASSERT_TRUE(same_memory(&engine_band.split, &reference_band.split,
                                        sizeof engine_band.split))
                    << "crossover, frame " << n;
                ASSERT_TRUE(same_memory(engine_band.shifter, reference_band.shifter,
                                        sizeof engine_band.shifter))
                    << "whole shifters, frame " << n;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Delays, ShifterPaths,
                         ::testing::Values(Delays::swept, Delays::short_, Delays::long_,
                                           Delays::edges, Delays::unusual),
                         [](const ::testing::TestParamInfo<Delays>& info) {
                             return delays_name(info.param);
                         });

// Delays that are not numbers, or infinite, still give the plain shifter's
// (meaningless but fixed) bits.
using ShifterPathsNonFinite = EngineMode;

TEST_F(ShifterPathsNonFinite, DelaysGiveThePlainShiftersBits) {
    const float nan = std::nanf("");
    const float inf = INFINITY;
    for (float ms : {nan, inf, -inf}) {
        SCOPED_TRACE(ms);
        std::memset(&engine_shifter, 0, sizeof engine_shifter);
        std::memset(&reference_shifter, 0, sizeof reference_shifter);
        for (int n = 0; n < 64; ++n) {
            FreqShiftParams p = shift_params(Delays::swept, n);
            p.delay_ms = n % 2 ? Vec4(ms) : p.delay_ms;
            const Vec4 x = input(n);
            ASSERT_TRUE(same_bits(freq_shift_process(engine_shifter, x, p),
                                  reference::freq_shift(reference_shifter, x, p)))
                << "frame " << n;
        }
        ASSERT_TRUE(same_memory(&engine_shifter, &reference_shifter, sizeof engine_shifter));
    }
}

}  // namespace
