// The render's shortcuts against the plain operations they stand for: curves
// walked together, eight to a register (and flat segments skipped), filter designs kept
// while their inputs repeat, and the envelope's early exits. Each must give
// the same bits as the plain operation, or the track changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/dsp/adsr.h"
#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/curve.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/frame/engine.h"
#include "engine/startup/score.h"
#include "tests/engine_mode.h"
#include "tests/filters/filters_test.h"

namespace lf::test {
namespace {

using FastPaths = EngineMode;

// Every curve of the track's score, walked over the whole track both ways
// (tests/units/curve_paths_test.cpp takes the walk through everything else).
TEST_F(FastPaths, ScoreCurvesWalkedTogetherMatchOneAtATime) {
    engine_startup();
    static CurveEnv plain[CURVE_COUNT], batched[CURVE_COUNT];
    static CurveWalk walk;
    walk = CurveWalk{};
    walk.count = CURVE_COUNT;
    for (int c = 0; c < CURVE_COUNT; ++c) {
        plain[c] = batched[c] = engine.score.curve_envs[c];
        walk.envs[c] = &batched[c];
    }
    int frames_by_groups[CURVE_WALK_MAX / 8 + 2] = {};
    for (int n = 0; n < static_cast<int>(TRACK_FRAMES); n += 11) {
        const Vec4 t(frame_time(n));
        curve_walk_eval(walk, t);
        ++frames_by_groups[walk.groups];
        for (int c = 0; c < CURVE_COUNT; ++c) {
            curve_env_eval(plain[c], t);
            ASSERT_TRUE(same_bits(plain[c].out, batched[c].out))
                << "curve " << c << " at frame " << n << ": " << plain[c].out.lane0() << " vs "
                << batched[c].out.lane0();
            ASSERT_EQ(plain[c].segment, batched[c].segment);
        }
    }
    // The score reaches one lone group, a pair, and a pair and one more.
    EXPECT_GT(frames_by_groups[1], 0);
    EXPECT_GT(frames_by_groups[2], 0);
    EXPECT_GT(frames_by_groups[3], 0);
}

TEST_F(FastPaths, RememberedDesignsFollowEveryChangeOfTheirInputs) {
    RememberedDesign d{};
    const Vec4 q(0.70710677f);
    float f = 440.0f;
    for (int step = 0; step < 200; ++step) {
        // Repeat, then move by one ulp, then jump: each must match a fresh design.
        if (step % 3 == 1) f = std::nextafter(f, 1e9f);
        if (step % 3 == 2) f *= 1.37f;
        if (f > 19000.0f) f = 30.0f;
        ASSERT_TRUE(same_bits(design_lowpass(d, Vec4(f), q), design_lowpass(Vec4(f), q))) << f;
    }
    // A change of Q alone, or of the gain alone, is a change too.
    RememberedDesign shelf{};
    design_low_shelf(shelf, Vec4(100.0f), q, Vec4(1.5f));
    EXPECT_TRUE(same_bits(design_low_shelf(shelf, Vec4(100.0f), q, Vec4(1.25f)),
                          design_low_shelf(Vec4(100.0f), q, Vec4(1.25f))));
    EXPECT_TRUE(same_bits(design_low_shelf(shelf, Vec4(100.0f), Vec4(0.5f), Vec4(1.25f)),
                          design_low_shelf(Vec4(100.0f), Vec4(0.5f), Vec4(1.25f))));
    RememberedDesign hp{};
    design_highpass(hp, Vec4(50.0f), q);
    EXPECT_TRUE(same_bits(design_highpass(hp, Vec4(50.0f), Vec4(0.795f)),
                          design_highpass(Vec4(50.0f), Vec4(0.795f))));
    // So is a change in one lane only, in any of the three inputs, and a gain
    // that turns from +0 to −0 (equal as numbers, not as bits).
    for (int lane = 0; lane < 4; ++lane) {
        float moved[4] = {100.0f, 100.0f, 100.0f, 100.0f};
        moved[lane] = 130.0f;
        const Vec4 f_moved = Vec4::load(moved);
        const Vec4 q_moved = Vec4(0.007f) * f_moved;
        const Vec4 a_moved = Vec4(0.015f) * f_moved;
        RememberedDesign r{};
        design_low_shelf(r, Vec4(100.0f), Vec4(0.7f), Vec4(1.5f));
        EXPECT_TRUE(same_bits(design_low_shelf(r, f_moved, Vec4(0.7f), Vec4(1.5f)),
                              design_low_shelf(f_moved, Vec4(0.7f), Vec4(1.5f))))
            << "f, lane " << lane;
        EXPECT_TRUE(same_bits(design_low_shelf(r, f_moved, q_moved, Vec4(1.5f)),
                              design_low_shelf(f_moved, q_moved, Vec4(1.5f))))
            << "q, lane " << lane;
        EXPECT_TRUE(same_bits(design_low_shelf(r, f_moved, q_moved, a_moved),
                              design_low_shelf(f_moved, q_moved, a_moved)))
            << "a, lane " << lane;
    }
    DesignInputs zero_gain{};
    EXPECT_FALSE(design_inputs_repeat(zero_gain, Vec4(100.0f), q, Vec4(0.0f)));
    EXPECT_TRUE(design_inputs_repeat(zero_gain, Vec4(100.0f), q, Vec4(0.0f)));
    EXPECT_FALSE(design_inputs_repeat(zero_gain, Vec4(100.0f), q, Vec4(-0.0f)));
}

// The envelope step written out from its formulas, without shortcuts.
float plain_adsr_step(const EnvShape& s, NoteState note, float level) {
    const float age = note.lane(2), since_off = note.lane(3);
    if (age < s.attack_s) {
        Vec4 step = (Vec4(1.0f) - Vec4(level)) * Vec4(FRAME_SECONDS);
        return (Vec4(level) + step / (Vec4(s.attack_s) - Vec4(age))).lane0();
    }
    Vec4 b = Vec4::zero();
    if (since_off >= 0.0f)
        b = Vec4(-0.0002259815f) / Vec4(s.release_s);
    else if (age < s.decay_s)
        b = Vec4(s.decay_db) * Vec4(3.7663583e-06f) / Vec4(s.decay_s);
    return (Vec4(level) * fast_exp2(b)).lane0();
}

TEST_F(FastPaths, EnvelopeEarlyExitsGiveThePlainResult) {
    const EnvShape shapes[] = {{0.001f, 0.07f, -60.0f, 0.1f},
                               {0.0046f, 0.071f, -30.0f, 0.0279f},
                               {0.001f, 0.0745f, -0.0f, 0.0112f},
                               {0.00914f, 0.0745f, 0.0f, 0.005f},
                               {0.0003f, 0.018f, 6.0f, 0.193f}};
    const float levels[] = {0.0f,   -0.0f, 1e-40f, std::numeric_limits<float>::min(),
                            0.001f, 0.5f,  1.0f,   1.06f};
    const float ages[] = {0.0f, 0.0005f, 0.01f, 0.05f, 0.2f, 3.0f};
    const float offs[] = {-1.0f, -0.001f, 0.0f, 0.003f, 2.0f};
    for (const EnvShape& s : shapes)
        for (float level : levels)
            for (float age : ages)
                for (float off : offs) {
                    NoteState note = Vec4::set(220.0f, 1.0f, age, off);
                    float fast = level;
                    adsr_step(s, note, fast);
                    const float plain = plain_adsr_step(s, note, level);
                    ASSERT_EQ(std::memcmp(&fast, &plain, sizeof fast), 0)
                        << "level " << level << " age " << age << " since off " << off << ": "
                        << fast << " vs " << plain;
                }
}

// The decay and release ratios are filed by shape in small tables. Many more
// shapes than slots, visited in a scrambled order again and again, make them
// hit, collide and take slots over; shapes that share one of the two numbers
// a decay ratio is filed under must still get their own ratio.
TEST_F(FastPaths, EnvelopeRatiosFiledByShapeMatchThePlainStep) {
    std::vector<EnvShape> shapes;
    for (int i = 0; i < 40; ++i) {
        const float decay_s = 0.01f + 0.013f * static_cast<float>(i % 9);
        const float decay_db = -6.0f * static_cast<float>(i % 7) + (i % 5 == 0 ? 3.0f : 0.0f);
        const float release_s = 0.005f + 0.021f * static_cast<float>(i % 11);
        shapes.push_back({0.001f, decay_s, decay_db, release_s});
    }
    std::mt19937 rng(17);
    std::uniform_int_distribution<size_t> pick(0, shapes.size() - 1);
    std::uniform_real_distribution<float> level(0.001f, 1.0f);
    for (int n = 0; n < 20000; ++n) {
        const EnvShape& s = shapes[pick(rng)];
        // Decaying (age inside the decay time) or released, alternately.
        const NoteState note = n % 2 == 0 ? Vec4::set(220.0f, 1.0f, 0.005f, -1.0f)
                                          : Vec4::set(220.0f, 1.0f, 3.0f, 0.5f);
        const float before = level(rng);
        float fast = before;
        adsr_step(s, note, fast);
        const float plain = plain_adsr_step(s, note, before);
        ASSERT_EQ(std::memcmp(&fast, &plain, sizeof fast), 0)
            << "step " << n << ": decay " << s.decay_db << " dB in " << s.decay_s << " s, release "
            << s.release_s << " s";
    }
}

// Independent sections run two at a time, one in each half of a Vec8: the
// crossover's two paths and the resonator bank's band slots. Each output and
// every memory must keep the bits of the sections run one by one, also where
// the values are odd: zeros of either sign, huge values that overflow to
// infinity, NaNs.
TEST_F(FastPaths, SectionsRunInPairsMatchSectionsRunAlone) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<float> wide(-2.0f, 2.0f);
    const float odd[] = {0.0f,
                         -0.0f,
                         3e38f,
                         -3e38f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         1e-30f};
    auto any = [&](int n) { return n % 97 == 5 ? odd[(n / 97) % 7] : wide(rng); };
    auto lanes = [&](int n) { return Vec4::set(any(n), any(n + 1), any(n + 2), any(n + 3)); };

    // A pair step against two plain steps, on arbitrary coefficients and memories.
    for (int n = 0; n < 5000; ++n) {
        const BiquadCoeffs c1{lanes(n), lanes(n + 4), lanes(n + 8), lanes(n + 12), lanes(n + 16)};
        const BiquadCoeffs c2{lanes(n + 20), lanes(n + 24), lanes(n + 28), lanes(n + 32),
                              lanes(n + 36)};
        BiquadState p1{lanes(n + 40), lanes(n + 44)}, p2{lanes(n + 48), lanes(n + 52)};
        BiquadState a1 = p1, a2 = p2;
        const Vec4 x1 = lanes(n + 56), x2 = lanes(n + 60);
        const Vec8 y = biquad_process(join(c1, c2), p1, p2, Vec8::join(x1, x2));
        ASSERT_TRUE(same_bits(y.low(), biquad_process(c1, a1, x1))) << n;
        ASSERT_TRUE(same_bits(y.high(), biquad_process(c2, a2, x2))) << n;
        ASSERT_TRUE(same_bits(p1, a1) && same_bits(p2, a2)) << n;
    }

    // The crossover: both paths as two plain sections each, over a signal
    // that now and then takes an odd value.
    CrossoverSplit split{};
    design_crossover(split, Vec4::set(300.0f, 310.0f, 2900.0f, 40.0f));
    BiquadState low1{}, low2{}, high1{}, high2{};
    for (int n = 0; n < 4000; ++n) {
        const Vec4 x = lanes(n);
        const CrossoverOutput out = crossover_process(split, x);
        const Vec4 low = biquad_process(split.low, low2, biquad_process(split.low, low1, x));
        const Vec4 high = biquad_process(split.high, high2, biquad_process(split.high, high1, x));
        ASSERT_TRUE(same_bits(out.low, low) && same_bits(out.high, high)) << n;
        ASSERT_TRUE(same_bits(split.low1, low1) && same_bits(split.low2, low2)) << n;
        ASSERT_TRUE(same_bits(split.high1, high1) && same_bits(split.high2, high2)) << n;
    }

    // The bank with an odd number of slots (the last runs alone) and with an
    // even one, depth 1 to 3: the slots' sums in slot order, as written out
    // here from the bank's definition.
    static ResonatorBank bank, copy;
    for (uint32_t bands : {5u, 8u, 35u}) {
        for (uint32_t depth : {1u, 2u, 3u}) {
            bank = ResonatorBank{};
            bank.params.band_count = bands;
            bank.params.depth = depth;
            bank.params.edge_stages = 2;
            bank.params.band_gain = Vec4::set(1.7f, 1.6f, 0.9f, 1.1f);
            bank.edge = {lanes(1), lanes(2), lanes(3), Vec4(0.1f) * lanes(4),
                         Vec4(0.1f) * lanes(5)};
            for (uint32_t m = 0; m < 28; ++m) {
                const Vec4 f = Vec4::set(100.0f + 200.0f * static_cast<float>(m), 130.0f, 7000.0f,
                                         90.0f * static_cast<float>(m + 1));
                bank.band[m] = design_bandpass_q_gain(f, Vec4(4.0f));
            }
            copy = bank;
            const uint32_t slots = (bands + 1) / 2;
            for (int n = 0; n < 600; ++n) {
                Vec4 x = Vec4(0.25f) * lanes(n);
                Vec4 plain_x = dup_low(x);
                const Vec4 y = biquad_bank_process(bank, x);
                Vec4 u = plain_x;
                for (uint32_t i = 0; i < 2; ++i)
                    u = biquad_process(copy.edge, copy.edge_state[i], u);
                const Vec4 outside = u + swap_pairs(u);
                const Vec4 r = plain_x - outside;
                Vec4 acc = Vec4::zero();
                for (uint32_t m = 0; m < slots; ++m) {
                    Vec4 v = r;
                    for (uint32_t d = 0; d < depth; ++d)
                        v = biquad_process(copy.band[m], copy.band_state[m][d], v);
                    acc = fma(copy.params.band_gain, v, acc);
                }
                const Vec4 plain = acc + swap_pairs(acc) + outside;
                ASSERT_TRUE(same_bits(y, plain)) << bands << " bands, depth " << depth << ", " << n;
            }
            for (uint32_t m = 0; m < slots; ++m)
                for (uint32_t d = 0; d < depth; ++d)
                    ASSERT_TRUE(same_bits(bank.band_state[m][d], copy.band_state[m][d]));
        }
    }
}

}  // namespace
}  // namespace lf::test
