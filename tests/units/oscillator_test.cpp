// Table read, wavetable oscillator, unison voice and sample player, checked
// against interpolation and oscillator banks modelled in double precision.
#include "engine/dsp/oscillator.h"

#include <cmath>
#include <ostream>
#include <vector>

#include "engine/dsp/math.h"
#include "tests/engine_mode.h"

namespace lf::test {
namespace {

// A ragged table whose neighbours all differ, so any wrong index shows, or a
// smooth cycle (slope at most 0.16 per entry) for the oscillator banks, whose
// phases drift from the exact ones by up to an ulp per frame.
struct Table {
    float v[256];
    explicit Table(bool smooth = false) {
        for (int i = 0; i < 256; ++i) {
            double x = 2.0 * 3.14159265358979323846 * i / 256.0;
            v[i] = static_cast<float>(smooth ? std::sin(3.0 * x) + 0.5 * std::sin(7.0 * x + 1.0)
                                             : std::sin(0.3 * i) + 0.01 * i);
        }
    }
    // Linear interpolation at position p, wrapping at 256.
    double at(double p) const {
        double fl = std::floor(p);
        int i = static_cast<int>(fl) & 255;
        return v[i] + (p - fl) * (v[(i + 1) & 255] - v[i]);
    }
};

// ----------------------------------------------------------------------------
// Table read and oscillator

TEST_F(EngineMode, TableReadInterpolatesAcrossTheWrap) {
    const Table t;
    Vec4 y = wavetable_read(t.v, Vec4::set(255.5f, 10.25f, 255.5f, 10.25f), 256);
    EXPECT_NEAR(y.lane(0), t.v[255] + 0.5 * (t.v[0] - t.v[255]), 1e-6);
    EXPECT_NEAR(y.lane(1), t.at(10.25), 1e-6);
    // The mask, not the table size, decides the wrap.
    y = wavetable_read(t.v, Vec4::set(15.75f, 16.5f, 15.75f, 16.5f), 16);
    EXPECT_NEAR(y.lane(0), t.v[15] + 0.75 * (t.v[0] - t.v[15]), 1e-6);
    EXPECT_NEAR(y.lane(1), t.v[0] + 0.5 * (t.v[1] - t.v[0]), 1e-6);
}

TEST_F(EngineMode, TableReadBlendsTowardsThePartnerLane) {
    const Table t;
    // Lanes 2 and 3 hold other positions: lane 0 blends its own floor with
    // the entry after lane 2's floor, lane 1 likewise with lane 3.
    Vec4 y = wavetable_read(t.v, Vec4::set(3.25f, 7.5f, 100.0f, 255.75f), 256);
    EXPECT_NEAR(y.lane(0), t.v[3] + 0.25 * (t.v[101] - t.v[3]), 1e-6);
    EXPECT_NEAR(y.lane(1), t.v[7] + 0.5 * (t.v[0] - t.v[7]), 1e-6);
    EXPECT_NEAR(y.lane(2), t.v[101], 1e-6);  // frac 0: its own entry
    EXPECT_EQ(y.lane(3), t.v[0]);
}

class PhaseStep : public EngineMode, public ::testing::WithParamInterface<int> {};

// At 44100/256·k Hz the phase moves k entries per frame. The step constant
// 0.0058049886 lies 1.8e-8 relative below 256/44100 and the sum rounds down,
// so each frame falls short of k by at most an ulp of the unwrapped sum
// (2^-15 for sums in [256, 512)).
TEST_P(PhaseStep, AdvancesByKEntriesAt44100Over256TimesK) {
    const int k = GetParam();
    const Table t;
    const double ulp = std::ldexp(1.0, -16);  // of phases in [128, 256)
    WavetablePhase phase = Vec4::set(0.0f, 17.0f, 0.0f, 17.0f);
    for (int n = 1; n <= 1000; ++n) {
        const float before = phase.lane(1);
        Vec4 f = Vec4::set(172.265625f * k, 172.265625f * k, -5.0f, 123.0f);
        Vec4 y = wavetable_osc_step(phase, t.v, f);
        // The caller's frequency is rewritten to (f0, f1, f0, f1).
        ASSERT_EQ(f.lane(2), f.lane(0));
        ASSERT_EQ(f.lane(3), f.lane(1));
        double step = std::fmod(phase.lane(1) - before + 256.0, 256.0);
        ASSERT_LE(step, k) << n;
        ASSERT_GE(step, k - 2.0 * ulp) << n;
        ASSERT_LT(phase.lane(1), 256.0f);
        ASSERT_EQ(phase.lane(3), phase.lane(1));
        // Against the exact count: the shortfall stays below n such ulps.
        double exact = (n * k) % 256;
        double lag = std::fmod(exact - phase.lane(0) + 256.0, 256.0);
        ASSERT_LE(lag, n * 2.0 * ulp) << n;
        ASSERT_NEAR(y.lane(0), t.at(phase.lane(0)), 1e-5);
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, PhaseStep, ::testing::Values(1, 3, 64, 200, 255));

TEST_F(EngineMode, OscillatorWrapsOnceBySelection) {
    const Table t;
    // A lane at +0 that does not wrap stays +0; subtracting a masked 256
    // would make it −0 in this rounding mode.
    WavetablePhase phase = Vec4::set(0.0f, 250.0f, 0.0f, 250.0f);
    Vec4 f = Vec4::set(0.0f, 8.0f * 172.265625f, 0.0f, 0.0f);
    wavetable_osc_step(phase, t.v, f);
    EXPECT_EQ(float_bits(phase.lane(0)), 0u);
    EXPECT_EQ(float_bits(phase.lane(2)), 0u);
    // 258 entries less the step's shortfall, wrapped once.
    EXPECT_NEAR(phase.lane(1), 2.0f, 1e-4);
    EXPECT_EQ(phase.lane(3), phase.lane(1));
}

// ----------------------------------------------------------------------------
// Unison voice

// A held note far past its attack and decay: the level sustains.
const EnvShape kHold{0.001f, 0.002f, -1.0f, 0.1f};

EventCursor held_note(float frequency, float velocity, float level) {
    EventCursor c{velocity, nullptr, level, Vec4::set(frequency, velocity, 5.0f, -1.0f)};
    return c;
}

// The unison voice in double precision: oscillator j of a note plays
// f/r^(j+1) left and f·r^(j+1) right, width ±(j+1)/N alternating.
struct UnisonModel {
    std::vector<double> phase_l, phase_r;
    void init(const std::vector<WavetablePhase>& pool, int count) {
        for (int e = 0; e < count; ++e) {
            phase_l.push_back(pool[e].lane(0));
            phase_r.push_back(pool[e].lane(1));
        }
    }
    // One frame of one note using pool entries from `first` on.
    void note(const Table& t, double freq, double amp, double r, int n, int first, double out[2]) {
        for (int j = 0; j < n; ++j) {
            double fl = freq / std::pow(r, j + 1), fr = freq * std::pow(r, j + 1);
            double& pl = phase_l[first + j];
            double& pr = phase_r[first + j];
            pl = std::fmod(pl + fl * 256.0 / 44100.0, 256.0);
            pr = std::fmod(pr + fr * 256.0 / 44100.0, 256.0);
            double ol = t.at(pl), or_ = t.at(pr);
            double m = 0.5 * (ol + or_);
            double w = (j % 2 == 0 ? 1.0 : -1.0) * (j + 1) / n;
            out[0] += amp * (m + w * (ol - m));
            out[1] += amp * (m + w * (or_ - m));
        }
    }
};

// The engine's phases lag the exact ones by up to an ulp (2^-16 entries) per
// frame; on the smooth table (slope <= 0.16, peak 1.5) that bounds the output
// error of `oscillators` unit-level oscillators after `frame` frames.
double drift(int frame, int oscillators) {
    return oscillators * (0.16 * (frame + 1) * std::ldexp(1.0, -15) + 2e-6);
}

std::vector<WavetablePhase> start_phases(int count) {
    std::vector<WavetablePhase> pool;
    for (int e = 0; e < count; ++e) {
        float a = static_cast<float>(37 * e % 256), b = static_cast<float>((91 * e + 11) % 256);
        pool.push_back(Vec4::set(a, b, a, b));
    }
    return pool;
}

// The voice of `slots` notes held on kHold, each keeping its level in its cursor.
UnisonVoiceParams unison_params(std::vector<WavetablePhase>& pool, EventCursor* cursors,
                                uint32_t slots, const Table& t, Vec4 sensitivity_db, float ratio,
                                uint32_t oscillators) {
    return {pool.data(), cursors, slots, &kHold, nullptr, t.v, sensitivity_db, ratio, oscillators};
}

struct Unison {
    int oscillators;
    float ratio;
};

std::ostream& operator<<(std::ostream& os, const Unison& u) {
    return os << "N=" << u.oscillators << " r=" << u.ratio;
}

class UnisonBank : public EngineMode, public ::testing::WithParamInterface<Unison> {};

TEST_P(UnisonBank, MatchesADetunedOscillatorModel) {
    const Unison u = GetParam();
    const Table t(true);
    EventCursor cursors[2] = {held_note(220.0f, 1.0f, 0.8f), held_note(331.0f, 0.5f, 0.5f)};
    std::vector<WavetablePhase> pool = start_phases(2 * u.oscillators);
    UnisonModel model;
    model.init(pool, 2 * u.oscillators);
    const UnisonVoiceParams params = unison_params(pool, cursors, 2, t, Vec4(-30.0f), u.ratio,
                                                   static_cast<uint32_t>(u.oscillators));
    // Velocity 0.5 at −30 dB sensitivity: 15 dB down.
    const double g1 = std::pow(10.0, -15.0 / 20.0);
    for (int frame = 0; frame < 200; ++frame) {
        Vec4 y = unison_voice_process(params);
        double out[2] = {0.0, 0.0};
        model.note(t, 220.0, 0.8, u.ratio, u.oscillators, 0, out);
        model.note(t, 331.0, 0.5 * g1, u.ratio, u.oscillators, u.oscillators, out);
        ASSERT_NEAR(y.lane(0), out[0], drift(frame, 2 * u.oscillators)) << "frame " << frame;
        ASSERT_NEAR(y.lane(1), out[1], drift(frame, 2 * u.oscillators)) << "frame " << frame;
    }
    // Sustaining notes keep their levels in the cursors' slots.
    EXPECT_EQ(cursors[0].level, 0.8f);
    EXPECT_EQ(cursors[1].level, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(Banks, UnisonBank,
                         ::testing::Values(Unison{1, 1.0f}, Unison{1, 1.07f}, Unison{2, 1.001f},
                                           Unison{4, 1.002f}, Unison{3, 1.007f}));

// The voice, written out step by step from the public units exactly as the
// arithmetic is defined; the unit's shortcuts must not change a bit.
Vec4 unison_by_steps(const UnisonVoiceParams& p) {
    WavetablePhase* pool = p.pool;
    Vec4 out = Vec4::zero();
    const Vec4 r(p.detune_ratio);
    const Vec4 step = Vec4::set((Vec4(1.0f) / r).lane0(), p.detune_ratio, 0.0f, 0.0f);
    for (uint32_t i = 0; i < p.slots; ++i) {
        float& level = p.levels ? p.levels[i] : p.cursors[i].level;
        adsr_step(*p.envelope, p.cursors[i].state, level);
        if (level < 0.001f) continue;
        const NoteState note = p.cursors[i].state;
        const Vec4 sens = p.velocity_sensitivity_db;
        Vec4 g = fast_exp2(fnma(sens, Vec4(note.lane(1)), sens) * Vec4(0.1660964f));
        Vec4 amp = Vec4(level) * g;
        Vec4 v(note.lane(0));
        for (uint32_t j = 0; j < p.oscillators; ++j) {
            v = v * step;
            Vec4 copy = v;
            Vec4 o = wavetable_osc_step(*pool++, p.table, copy);
            float w =
                static_cast<float>(j % 2 ? -static_cast<int>(j + 1) : static_cast<int>(j + 1));
            Vec4 wv = Vec4(w) / Vec4(static_cast<float>(p.oscillators));
            Vec4 m(fma(Vec4(0.5f), Vec4(o.lane(1)), Vec4(0.5f) * Vec4(o.lane(0))).lane0());
            out = fma(amp, fma(wv, o - m, m), out);
        }
    }
    return out;
}

// Every oscillator count from one to five: pairs of oscillators and an odd
// one left over must add up exactly as one at a time.
TEST_F(EngineMode, UnisonEqualsItsStepByStepDefinitionBitForBit) {
    const Table t(true);
    for (uint32_t oscillators = 1; oscillators <= 5; ++oscillators) {
        EventCursor a[3] = {held_note(196.0f, 0.9f, 0.7f), held_note(0.0f, 0.0f, 0.0f),
                            held_note(247.0f, 0.3f, 0.4f)};
        EventCursor b[3] = {a[0], a[1], a[2]};
        std::vector<WavetablePhase> pool_a = start_phases(3 * oscillators), pool_b;
        // Partner lanes seeded apart, as in the chord voice's pools.
        for (WavetablePhase& e : pool_a) e = shuffle<0, 1, 1, 0>(e);
        pool_b = pool_a;
        const UnisonVoiceParams pa =
            unison_params(pool_a, a, 3, t, Vec4(-20.0f), 1.002f, oscillators);
        const UnisonVoiceParams pb =
            unison_params(pool_b, b, 3, t, Vec4(-20.0f), 1.002f, oscillators);
        for (int frame = 0; frame < 300; ++frame) {
            Vec4 ya = unison_voice_process(pa), yb = unison_by_steps(pb);
            ASSERT_TRUE(same_bits(ya, yb)) << oscillators << " oscillators, frame " << frame;
        }
        for (size_t e = 0; e < pool_a.size(); ++e)
            ASSERT_TRUE(bits(pool_a[e]).lane(0) == bits(pool_b[e]).lane(0) &&
                        bits(pool_a[e]).lane(3) == bits(pool_b[e]).lane(3))
                << "phase " << e;
    }
}

// The velocity gains are filed by (sensitivity, velocity) in a small table.
// Many more pairs than slots, met in turn again and again, must each get the
// gain the steps give; a sensitivity that differs from lane to lane is worked
// out lane by lane, never filed.
TEST_F(EngineMode, UnisonFiledVelocityGainsMatchTheSteps) {
    const Table t(true);
    const Vec4 sensitivities[] = {Vec4(-30.0f), Vec4(-20.0f), Vec4(-15.0f),
                                  Vec4::set(-30.0f, -20.0f, -10.0f, 0.0f)};
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 24; ++i) {
            const float velocity = 0.04f * static_cast<float>(i + 1);
            const Vec4 sens = sensitivities[(i + round) % 4];
            EventCursor a = held_note(220.0f, velocity, 0.6f), b = a;
            std::vector<WavetablePhase> pool_a = start_phases(2), pool_b = pool_a;
            const UnisonVoiceParams pa = unison_params(pool_a, &a, 1, t, sens, 1.003f, 2);
            const UnisonVoiceParams pb = unison_params(pool_b, &b, 1, t, sens, 1.003f, 2);
            for (int frame = 0; frame < 3; ++frame) {
                const Vec4 ya = unison_voice_process(pa), yb = unison_by_steps(pb);
                ASSERT_TRUE(same_bits(ya, yb)) << "velocity " << velocity << ", sensitivity "
                                               << sens.lane(0) << ", round " << round;
            }
        }
    }
}

TEST_F(EngineMode, UnisonSingleOscillatorWithoutDetuneIsCentred) {
    const Table t(true);
    EventCursor cursor = held_note(440.0f, 1.0f, 1.0f);
    std::vector<WavetablePhase> pool = start_phases(1);
    pool[0] = Vec4::set(12.0f, 12.0f, 12.0f, 12.0f);
    const UnisonVoiceParams params = unison_params(pool, &cursor, 1, t, Vec4(-30.0f), 1.0f, 1);
    for (int frame = 1; frame <= 50; ++frame) {
        Vec4 y = unison_voice_process(params);
        double p = std::fmod(12.0 + frame * 440.0 * 256.0 / 44100.0, 256.0);
        // Velocity 1: gain exactly 1 whatever the sensitivity; both sides alike.
        ASSERT_NEAR(y.lane(0), t.at(p), drift(frame, 1));
        ASSERT_EQ(y.lane(0), y.lane(1));
    }
}

TEST_F(EngineMode, UnisonSilentSlotsAdvanceButLeaveThePoolToSoundingOnes) {
    const Table t(true);
    // Slot 0 is released and below the 0.001 threshold, slot 1 sounds.
    EventCursor cursors[2] = {held_note(300.0f, 1.0f, 0.0009f), held_note(500.0f, 1.0f, 0.25f)};
    cursors[0].state = Vec4::set(300.0f, 1.0f, 5.0f, 0.5f);
    float levels[2] = {0.0009f, 0.25f};
    std::vector<WavetablePhase> pool = start_phases(4);
    const std::vector<WavetablePhase> untouched = pool;
    UnisonModel model;
    model.init(pool, 4);
    UnisonVoiceParams params = unison_params(pool, cursors, 2, t, Vec4(-30.0f), 1.002f, 2);
    params.levels = levels;
    for (int frame = 0; frame < 20; ++frame) {
        Vec4 y = unison_voice_process(params);
        double out[2] = {0.0, 0.0};
        model.note(t, 500.0, 0.25, 1.002, 2, 0, out);  // slot 1 on entries 0 and 1
        ASSERT_NEAR(y.lane(0), out[0], drift(frame, 2));
        ASSERT_NEAR(y.lane(1), out[1], drift(frame, 2));
    }
    // The silent slot's envelope still moved on (in the level array, not the cursor).
    EXPECT_LT(levels[0], 0.0009f);
    EXPECT_EQ(cursors[0].level, 0.0009f);
    for (int e = 2; e < 4; ++e) EXPECT_TRUE(same_bits(pool[e], untouched[e])) << "entry " << e;
}

// ----------------------------------------------------------------------------
// Sample player

class Player : public EngineMode {
  protected:
    // 100 frames 1, 2, ... 100 and a zero guard after them.
    float buffer[101];
    EventCursor cursor{};
    SamplePlayerParams params{buffer, 100, 10, &cursor, Vec4(0.001953125f)};  // root 512 Hz
    void SetUp() override {
        EngineMode::SetUp();
        for (int i = 0; i < 100; ++i) buffer[i] = static_cast<float>(i + 1);
        buffer[100] = 0.0f;
    }
    void note(float frequency, float velocity, float age) {
        cursor.state = Vec4::set(frequency, velocity, age, age - 1.0f);
        cursor.velocity = velocity;
    }
};

TEST_F(Player, IdleStaysSilentUntilANoteStarts) {
    SamplePlayer player{Vec4(3.4028235e38f), 1.0f};
    for (int n = 0; n < 10; ++n) {
        note(512.0f, 1.0f, 5.0f + n * 0.01f);  // an old note: its age is above 1
        ASSERT_EQ(sample_voice_process(player, params).lane0(), 0.0f);
    }
    note(512.0f, 1.0f, 0.0f);  // the age falls: a new note
    // Velocity 1 plays at (nearly) 0 dB from the start offset.
    EXPECT_NEAR(sample_voice_process(player, params).lane0(), buffer[10], 1e-5);
    note(512.0f, 1.0f, 0.001f);
    EXPECT_NEAR(sample_voice_process(player, params).lane0(), buffer[11], 1e-5);
}

TEST_F(Player, PlaysToTheLengthBoundAndRetriggers) {
    SamplePlayer player{Vec4::zero(), 0.0f};
    // A player at zero restarts on frame 0 even before its note: the age is negative.
    note(256.0f, 0.0f, -2.0f);
    float y = sample_voice_process(player, params).lane0();
    EXPECT_NEAR(y, buffer[10] * std::pow(10.0, -30.0 / 20.0), 1e-5);  // velocity 0: −30 dB
    EXPECT_EQ(player.position.lane0(), 10.5f);                        // half speed
    for (int n = 1; n < 179; ++n) {
        note(256.0f, 0.0f, -2.0f + n * 0.001f);
        y = sample_voice_process(player, params).lane0();
        double p = 10.0 + 0.5 * n;
        ASSERT_NEAR(y, (buffer[static_cast<int>(p)] + (p - std::floor(p))) * 0.0316228, 1e-5) << n;
    }
    // Position 99.5 blends the last frame with the guard; 100 is silent.
    EXPECT_EQ(player.position.lane0(), 99.5f);
    note(256.0f, 0.0f, 0.0f);
    EXPECT_NEAR(sample_voice_process(player, params).lane0(), 50.0 * 0.0316228, 1e-5);
    for (int n = 0; n < 5; ++n) {
        note(256.0f, 0.0f, 0.001f * (n + 1));
        ASSERT_EQ(sample_voice_process(player, params).lane0(), 0.0f);
    }
    // A new note (age below the last seen one) restarts at the offset.
    note(512.0f, 1.0f, 0.0f);
    EXPECT_NEAR(sample_voice_process(player, params).lane0(), buffer[10], 1e-5);
    EXPECT_EQ(player.position.lane0(), 11.0f);
}

}  // namespace
}  // namespace lf::test
