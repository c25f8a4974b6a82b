// Note cursor, per-note envelope, breakpoint curve, follower and rate reducer,
// checked against closed forms computed in double precision.
#include "engine/dsp/adsr.h"
#include "engine/dsp/curve.h"
#include "engine/dsp/follower.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/rate_reducer.h"

#include <cmath>
#include <ostream>

#include "engine/dsp/math.h"
#include "tests/engine_mode.h"

namespace lf::test {
namespace {

// ----------------------------------------------------------------------------
// Note cursor

class Cursor : public EngineMode {
  protected:
    // Sentinels first and last, as the score expansion lays them out; two
    // notes share one on time to show that one call can step over several.
    const NoteEvent events[6] = {
        {0.0f, 0.0f, -16384.0f, -16384.0f}, {440.0f, 0.5f, 1.0f, 2.0f},
        {220.0f, 1.0f, 3.0f, 3.5f},         {330.0f, 0.75f, 3.0f, 4.0f},
        {110.0f, 0.25f, 6.0f, 7.0f},        {1.0f, 0.0f, 16384.0f, 16384.0f},
    };
    EventCursor cursor{0.0f, events, 0.0f, Vec4::zero()};
};

TEST_F(Cursor, StepsOnTheFrameTheOnTimeIsReached) {
    event_cursor_advance(cursor, std::nextafter(1.0f, 0.0f));
    EXPECT_EQ(cursor.event, &events[0]);
    EXPECT_EQ(cursor.state.lane(0), 0.0f);
    EXPECT_GT(cursor.state.lane(2), 16384.0f);  // the sentinel's age

    event_cursor_advance(cursor, 1.0f);
    EXPECT_EQ(cursor.event, &events[1]);
    EXPECT_EQ(cursor.state.lane(0), 440.0f);
    EXPECT_EQ(cursor.state.lane(1), 0.5f);
    EXPECT_EQ(cursor.state.lane(2), 0.0f);   // age 0 on the first frame
    EXPECT_EQ(cursor.state.lane(3), -1.0f);  // held
    EXPECT_EQ(cursor.velocity, 0.5f);
}

TEST_F(Cursor, CatchesUpOverSeveralEventsAndReportsRelease) {
    event_cursor_advance(cursor, 3.75f);
    // Both notes at 3.0 became due; the later one in the array is current.
    EXPECT_EQ(cursor.event, &events[3]);
    EXPECT_EQ(cursor.state.lane(0), 330.0f);
    EXPECT_EQ(cursor.state.lane(2), 0.75f);
    EXPECT_EQ(cursor.state.lane(3), -0.25f);
    EXPECT_EQ(cursor.velocity, 0.75f);

    event_cursor_advance(cursor, 5.5f);
    EXPECT_EQ(cursor.event, &events[3]);
    EXPECT_EQ(cursor.state.lane(3), 1.5f);  // released: positive

    // The closing sentinel is never reached.
    event_cursor_advance(cursor, 10000.0f);
    EXPECT_EQ(cursor.event, &events[4]);
}

// ----------------------------------------------------------------------------
// Per-note envelope

class Adsr : public EngineMode {
  protected:
    // Steps one level from age 0 for `frames` frames; the note is held until
    // hold_s (since_off = age − hold_s).
    static float run(const EnvShape& shape, float level, int first, int frames, float hold_s) {
        for (int n = first; n < first + frames; ++n) {
            float age = frame_time(n);
            adsr_step(shape, Vec4::set(100.0f, 1.0f, age, age - hold_s), level);
        }
        return level;
    }
};

class AdsrAttack : public Adsr, public ::testing::WithParamInterface<float> {};

TEST_P(AdsrAttack, IsAStraightLineToOneFromAnyLevel) {
    const float start = GetParam();
    const EnvShape shape{0.01f, 1.0f, -20.0f, 0.5f};
    float level = start;
    // 441 frames have an age below 0.01 s.
    for (int n = 0; n < 441; ++n) {
        level = run(shape, level, n, 1, 100.0f);
        double expected = start + (1.0 - start) * (n + 1) / 441.0;
        ASSERT_NEAR(level, expected, 2e-5) << "frame " << n;
    }
    EXPECT_NEAR(level, 1.0f, 2e-5);
    // After the attack the decay takes over from the top.
    float next = run(shape, level, 441, 1, 100.0f);
    EXPECT_LT(next, level);
}

INSTANTIATE_TEST_SUITE_P(FromZeroAndHalf, AdsrAttack, ::testing::Values(0.0f, 0.5f));

TEST_F(Adsr, DecaysAtTheGivenRateAndSustainsWhereTheDecayEnds) {
    const EnvShape shape{0.1f, 1.0f, -20.0f, 0.5f};
    float level = run(shape, 0.0f, 0, 4410, 100.0f);
    EXPECT_NEAR(level, 1.0f, 1e-4);
    // 20 dB per second from age 0.1 s.
    for (int n = 4410; n < 44100; n += 4410) {
        level = run(shape, level, n, 4410, 100.0f);
        double age = (n + 4410) / 44100.0;
        double db = 20.0 * std::log10(level);
        ASSERT_NEAR(db, -20.0 * (age - 0.1), 0.05) << "age " << age;
    }
    // Frame 44100's age is 0.99999994 s, still inside the decay; from age 1 s
    // the level holds at −18 dB.
    level = run(shape, level, 44100, 1, 100.0f);
    EXPECT_NEAR(20.0 * std::log10(level), -18.0, 0.05);
    float sustained = run(shape, level, 44101, 44100, 100.0f);
    EXPECT_EQ(sustained, level);
}

TEST_F(Adsr, ReleaseFallsSixtyDecibelsPerReleaseTime) {
    const EnvShape shape{0.01f, 0.02f, -6.0f, 0.25f};
    // Released at age 0.5 s, from a sustained level.
    const float held = run(shape, 0.0f, 0, 22050, 0.5f);
    float level = run(shape, held, 22050, 11025, 0.5f);  // 0.25 s of release
    EXPECT_NEAR(20.0 * std::log10(level / held), -60.0, 0.1);
    level = run(shape, level, 33075, 5513, 0.5f);  // 0.125 s more
    EXPECT_NEAR(20.0 * std::log10(level / held), -90.0, 0.15);
}

TEST_F(Adsr, ReleaseStartsAtSinceOffZero) {
    const EnvShape shape{0.01f, 0.02f, -6.0f, 0.25f};
    const float held = 0.5f;
    float level = held;
    adsr_step(shape, Vec4::set(100.0f, 1.0f, 1.0f, -0.0001f), level);
    EXPECT_EQ(level, held);  // still held: sustain
    adsr_step(shape, Vec4::set(100.0f, 1.0f, 1.0f, 0.0f), level);
    // One frame of the −60 dB per 0.25 s slope.
    EXPECT_NEAR(level / held, std::pow(10.0, -3.0 / (0.25 * 44100.0)), 1e-6);
}

// ----------------------------------------------------------------------------
// Breakpoint curve

CurveSegment segment(float start, float length, float base, float scale, float p, float q) {
    // inv_length is the reciprocal estimate, as the score expansion builds it.
    return {Vec4(start), rcp_estimate(Vec4(length)), Vec4(base), Vec4(scale), Vec4(p), Vec4(q)};
}

CurveSegment sentinel() {
    return segment(16384.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
}

struct Shape {
    float p, q;
};
void PrintTo(const Shape& c, std::ostream* os) {
    *os << "p=" << c.p << " q=" << c.q;
}

class CurveShape : public EngineMode, public ::testing::WithParamInterface<Shape> {};

TEST_P(CurveShape, FollowsTheClosedFormBetweenItsEnds) {
    const Shape s = GetParam();
    const CurveSegment segments[2] = {segment(2.0f, 4.0f, 0.25f, -3.0f, s.p, s.q), sentinel()};
    CurveEnv env{segments, Vec4::zero()};
    const double inv_length = segments[0].inv_length.lane0();
    for (int i = 1; i < 64; ++i) {
        float t = 2.0f + 4.0f * static_cast<float>(i) / 64.0f;
        Vec4 out = curve_env_eval(env, Vec4(t));
        double u = 1.0 - (t - 2.0) * inv_length;
        double expected = 0.25 - 3.0 * std::pow(1.0 - std::pow(u, s.p), s.q);
        ASSERT_NEAR(out.lane0(), expected, 3e-4) << "t " << t;
        EXPECT_EQ(out.lane0(), out.lane(3));
        EXPECT_EQ(env.out.lane0(), out.lane0());
    }
}

// p = q = 1 is the straight line from base to base + scale.
INSTANTIATE_TEST_SUITE_P(Exponents, CurveShape,
                         ::testing::Values(Shape{1.0f, 1.0f}, Shape{2.0f, 1.0f}, Shape{1.0f, 3.0f},
                                           Shape{0.5f, 2.0f}, Shape{3.0f, 0.25f}));

TEST_F(EngineMode, CurveLandsOnItsEndsAndJumpsOverZeroLengthSegments) {
    const CurveSegment segments[4] = {
        segment(1.0f, 1.0f, 0.5f, 0.25f, 2.0f, 2.0f),
        segment(2.0f, 0.0f, 9.0f, 9.0f, 1.0f, 1.0f),  // zero length: never current
        segment(2.0f, 2.0f, -1.0f, 3.0f, 1.0f, 1.0f),
        sentinel(),
    };
    CurveEnv env{segments, Vec4::zero()};
    // Before the first start and at it: the base, exactly.
    EXPECT_EQ(curve_env_eval(env, Vec4(0.0f)).lane0(), 0.5f);
    EXPECT_EQ(curve_env_eval(env, Vec4(1.0f)).lane0(), 0.5f);
    // Just before the next start: the first segment's end.
    EXPECT_NEAR(curve_env_eval(env, Vec4(std::nextafter(2.0f, 0.0f))).lane0(), 0.75f, 1e-4);
    EXPECT_EQ(env.segment, &segments[0]);
    // At 2 s both later segments are due: the value jumps to the third's base.
    EXPECT_EQ(curve_env_eval(env, Vec4(2.0f)).lane0(), -1.0f);
    EXPECT_EQ(env.segment, &segments[2]);
    // Lane 0 alone chooses the segment; the other lanes are evaluated on it,
    // before its start (base), inside, and past its end (base + scale).
    Vec4 out = curve_env_eval(env, Vec4::set(3.0f, 0.5f, 3.0f, 100.0f));
    EXPECT_NEAR(out.lane(0), 0.5f, 1e-3);
    EXPECT_EQ(out.lane(1), -1.0f);
    EXPECT_NEAR(out.lane(2), 0.5f, 1e-3);
    EXPECT_EQ(out.lane(3), 2.0f);
}

// ----------------------------------------------------------------------------
// Envelope follower

TEST_F(EngineMode, FollowerTracksTheMagnitudeWithItsTimeConstant) {
    const float c[4] = {0.5f, -0.25f, 1.0f, -2.0f};
    Vec4 x = Vec4::set(c[0], c[1], c[2], c[3]);
    Vec4 state = Vec4::zero();
    for (int n = 0; n < 5000; ++n) env_follow(state, x);
    for (int i = 0; i < 4; ++i) {
        double expected = std::fabs(c[i]) * (1.0 - std::pow(1.0 - 0.0002, 5000));
        EXPECT_NEAR(state.lane(i), expected, 1e-3 * std::fabs(c[i])) << "lane " << i;
    }
    Vec4 returned = Vec4::zero();
    for (int n = 0; n < 200000; ++n) returned = env_follow(state, x);
    for (int i = 0; i < 4; ++i) {
        // Settles just below |c|: once a step (|c| − state)·0.0002 is less than
        // one ulp of the state, rounding down drops it, so the state stops
        // within 5000 ulps under |c|.
        double ulp = std::ldexp(1.0, std::ilogb(c[i]) - 23);
        EXPECT_LT(state.lane(i), std::fabs(c[i])) << "lane " << i;
        EXPECT_GE(state.lane(i), std::fabs(c[i]) - 5000.0 * ulp) << "lane " << i;
        EXPECT_EQ(float_bits(returned.lane(i)), float_bits(state.lane(i)));
    }
}

// ----------------------------------------------------------------------------
// Rate reducer

float ramp(int n) {
    return 0.125f * static_cast<float>(n % 97) - 3.0f;
}

TEST_F(EngineMode, ReducerAtTheFrameRatePassesEachFrameFromTheSecondOn) {
    RateReducer r{};
    // 44100·(1/44100) rounds to just below 1: the first frame does not fire.
    EXPECT_EQ(rate_reduce_process(r, Vec4(ramp(0)), 44100.0f).lane0(), 0.0f);
    // The second fires with the mean of both frames.
    EXPECT_EQ(rate_reduce_process(r, Vec4(ramp(1)), 44100.0f).lane0(), (ramp(0) + ramp(1)) / 2.0f);
    for (int n = 2; n < 1000; ++n) {
        Vec4 x = Vec4::set(ramp(n), -ramp(n), 2.0f * ramp(n), 0.0f);
        Vec4 y = rate_reduce_process(r, x, 44100.0f);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(y.lane(i), x.lane(i)) << n;
    }
}

TEST_F(EngineMode, ReducerHoldsBlockMeansAndFreezesAtZeroRate) {
    RateReducer r{};
    const float rate = 3000.0f;
    double sum = 0.0;
    int count = 0, fired = 0;
    float held = 0.0f;
    for (int n = 0; n < 4410; ++n) {
        sum += ramp(n);
        ++count;
        float y = rate_reduce_process(r, Vec4(ramp(n)), rate).lane0();
        if (r.count == 0.0f) {
            // Fired: the mean of the frames since the last firing.
            ASSERT_NEAR(y, sum / count, 1e-5) << n;
            ++fired;
            sum = 0.0;
            count = 0;
            held = y;
        }
        ASSERT_EQ(y, held);
    }
    EXPECT_NEAR(fired, 300, 1);  // 3000 periods per second for 0.1 s
    // Rate 0: the held value stays, whatever comes in.
    ASSERT_NE(held, 0.0f);
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(rate_reduce_process(r, Vec4(5.0f), 0.0f).lane0(), held);
    RateReducer fresh{};
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(rate_reduce_process(fresh, Vec4(5.0f), 0.0f).lane0(), 0.0f);
}

}  // namespace
}  // namespace lf::test
