// The curves walked together (CurveWalk: planned, eight lanes to a register,
// flat segments skipped) against the same curves walked one by one with
// curve_env_eval: after every frame each curve must have the same segment and
// the same bits in its out, for any number of moving curves, across segment
// changes, restarts, curves moved behind the walk's back, and fields or times
// that the shortened logarithm must never see.
#include <gtest/gtest.h>
#include <ostream>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/dsp/curve.h"
#include "tests/engine_mode.h"

namespace lf::test {
namespace {

constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();
constexpr float INF_F = std::numeric_limits<float>::infinity();

struct Breakpoint {
    float time;
    float value;
    float p;  // the shape exponent from here on; q = 1/p
};

// Segments from breakpoints as the score lays them out: scale to the next
// value, 1/length as the reciprocal estimate (1 for a jump), a sentinel far
// in the future holding the last value. `slope` multiplies every 1/length
// (above 1 the segment's end value is reached early and u goes below 0).
std::vector<CurveSegment> segments_of(const std::vector<Breakpoint>& points, float slope = 1.0f) {
    std::vector<CurveSegment> s(points.size() + 1);
    for (size_t i = 0; i < points.size(); ++i) {
        s[i].start = Vec4(points[i].time);
        s[i].base = Vec4(points[i].value);
        s[i].p = Vec4(points[i].p);
        s[i].q = Vec4(1.0f) / Vec4(points[i].p);
    }
    CurveSegment& end = s.back();
    end = {Vec4(16384.0f), Vec4::zero(), s[points.size() - 1].base,
           Vec4::zero(),   Vec4(1.0f),   Vec4(1.0f)};
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec4 length = s[i + 1].start - s[i].start;
        s[i].inv_length = length.lane0() == 0.0f ? Vec4(1.0f) : rcp_estimate(length) * Vec4(slope);
        s[i].scale = s[i + 1].base - s[i].base;
    }
    return s;
}

// A small deterministic generator for breakpoint times, values and shapes.
struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    float unit() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
};

constexpr float SHAPES[] = {0.25f, 0.5f, 1.0f, 1.7f, 3.0f, 7.5f, 64.0f};

// Moves for the whole span: every value differs from the one before. With
// `flat_now_and_then`, some segments repeat their value (they hold still for
// a while) and some breakpoints come in pairs (a jump).
std::vector<Breakpoint> ramp(Lcg& rng, int frames, bool flat_now_and_then) {
    std::vector<Breakpoint> points;
    float value = 0.0f;
    for (int n = 0; n < frames; n += 40 + static_cast<int>(rng.next() % 360)) {
        const float t = frame_time(n);
        const uint32_t kind = rng.next() % 8;
        if (flat_now_and_then && kind == 0) {
            points.push_back({t, value, SHAPES[rng.next() % 7]});
            continue;
        }
        if (flat_now_and_then && kind == 1) points.push_back({t, value + 1.0f, 1.0f});
        value = rng.unit() * 4.0f - 2.0f + static_cast<float>(points.size() % 2);
        points.push_back({t, value, SHAPES[rng.next() % 7]});
    }
    return points;
}

// Holds still for the whole span, with breakpoints (and so segment steps) all the same.
std::vector<Breakpoint> flat(Lcg& rng, int frames) {
    std::vector<Breakpoint> points;
    const float value = rng.unit() - 0.5f;
    for (int n = 0; n < frames; n += 100 + static_cast<int>(rng.next() % 500))
        points.push_back({frame_time(n), value, SHAPES[rng.next() % 7]});
    return points;
}

// The same curves twice: once in a walk, once alone.
class CurvePaths : public EngineMode {
  protected:
    void add(std::vector<CurveSegment> segments) { curves.push_back(std::move(segments)); }

    // Both copies on their first segments; the walk without a plan.
    void start() {
        walk = CurveWalk{};
        walked.assign(curves.size(), CurveEnv{});
        alone.assign(curves.size(), CurveEnv{});
        for (size_t i = 0; i < curves.size(); ++i) {
            walked[i] = alone[i] = {curves[i].data(), Vec4::zero()};
            walk.envs[i] = &walked[i];
        }
        walk.count = static_cast<int>(curves.size());
    }

    // The portable build's plain floats carry a NaN's sign as the compiler
    // orders the operands, so there two NaNs count as the same value.
    static bool portable_nans(Vec4 a, Vec4 b) {
        if (LUMENFROST_X86) return false;
        for (int k = 0; k < 4; ++k)
            if (!std::isnan(a.lane(k)) || !std::isnan(b.lane(k))) return false;
        return true;
    }

    ::testing::AssertionResult frame(float t) {
        curve_walk_eval(walk, Vec4(t));
        for (size_t i = 0; i < curves.size(); ++i) {
            curve_env_eval(alone[i], Vec4(t));
            if (walked[i].segment != alone[i].segment)
                return ::testing::AssertionFailure()
                       << "curve " << i << " at t " << t << ": segment "
                       << walked[i].segment - curves[i].data() << " instead of "
                       << alone[i].segment - curves[i].data();
            if (std::memcmp(&walked[i].out, &alone[i].out, sizeof(Vec4)) != 0 &&
                !portable_nans(walked[i].out, alone[i].out))
                return ::testing::AssertionFailure()
                       << "curve " << i << " at t " << t << ": " << walked[i].out.lane0()
                       << " instead of " << alone[i].out.lane0();
        }
        return ::testing::AssertionSuccess();
    }

    // Frames first .. last, every `step`-th.
    ::testing::AssertionResult frames(int first, int last, int step = 1) {
        for (int n = first; n <= last; n += step) {
            ::testing::AssertionResult same = frame(frame_time(n));
            if (!same) return same;
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<std::vector<CurveSegment>> curves;
    std::vector<CurveEnv> walked, alone;
    CurveWalk walk{};
};

constexpr int SPAN = 3000;  // frames walked

struct Mix {
    int count;   // curves
    int moving;  // of which move all the time; the rest hold still
};
void PrintTo(const Mix& c, std::ostream* os) {
    *os << c.moving << " of " << c.count << " curves moving";
}

class MovingCount : public CurvePaths, public ::testing::WithParamInterface<Mix> {};

TEST_P(MovingCount, WalkedCurvesMatchCurvesAlone) {
    const Mix mix = GetParam();
    Lcg rng{static_cast<uint32_t>(mix.count * 64 + mix.moving)};
    for (int i = 0; i < mix.count; ++i)
        add(segments_of(i < mix.moving ? ramp(rng, SPAN, false) : flat(rng, SPAN)));
    start();
    ASSERT_TRUE(frame(0.0f));
    // The fast lanes take every moving curve, eight to a group.
    EXPECT_EQ(walk.exact_groups, (mix.moving + 7) / 8);
    EXPECT_EQ(walk.groups, walk.exact_groups);
    EXPECT_EQ(walk.holding, mix.count - mix.moving);
    ASSERT_TRUE(frames(1, SPAN));
    // Long jumps forward step over many segments at once.
    ASSERT_TRUE(frames(SPAN + 1000, 40 * SPAN, 7919));
}

INSTANTIATE_TEST_SUITE_P(Lanes, MovingCount,
                         ::testing::Values(Mix{1, 1}, Mix{3, 0}, Mix{4, 4}, Mix{5, 5}, Mix{8, 8},
                                           Mix{9, 9}, Mix{12, 4}, Mix{16, 16}, Mix{17, 17},
                                           Mix{28, 13}, Mix{28, 16}, Mix{40, 0}, Mix{40, 33},
                                           Mix{40, 40}),
                         [](const auto& info) {
                             return std::to_string(info.param.moving) + "_of_" +
                                    std::to_string(info.param.count);
                         });

// Ramps that now and then hold still or jump: the number of moving curves,
// and with it the plan, changes all the time.
TEST_F(CurvePaths, PlansFollowCurvesThatStartAndStopMoving) {
    Lcg rng{7};
    for (int i = 0; i < 30; ++i) add(segments_of(ramp(rng, SPAN, true), i % 5 == 0 ? 1.5f : 1.0f));
    start();
    ASSERT_TRUE(frames(0, SPAN));
}

// Curves whose fields or times put them outside what the shortened logarithm
// may take: they must take fast_log2 (or hold still exactly as the full
// evaluation would).
TEST_F(CurvePaths, WildFieldsAndTimesTakeThePlainPath) {
    const float late = frame_time(700), mid = frame_time(1500);
    auto two = [&](float p, float value) {
        return std::vector<Breakpoint>{{0.0f, value, p}, {mid, value + 1.0f, 2.0f}};
    };
    const float shapes[] = {NAN_F, 0.0f, -1.0f, 64.5f, 1e-40f, 1e30f, 64.0f};
    for (float p : shapes) {
        add(segments_of(two(p, 0.5f)));                          // moving
        add(segments_of(two(p, 0.5f)));                          // the same, as a second lane
        add(segments_of({{0.0f, 0.5f, p}, {mid, 0.5f, 1.0f}}));  // flat
    }
    // Starting late: before its start, 1 − (t − start)·inv_length grows without bound.
    add(segments_of({{late, 1.0f, 7.5f}, {mid, -1.0f, 0.25f}}, 1e30f));
    add(segments_of({{late, 1.0f, 0.25f}, {mid, 3.0f, 3.0f}}));
    // Slopes that are negative, infinite, NaN; scales and bases that are not numbers.
    for (float slope : {-1.0f, INF_F, NAN_F, 1e30f}) add(segments_of(two(1.7f, -0.25f), slope));
    {
        std::vector<CurveSegment> s = segments_of(two(3.0f, 0.0f));
        s[0].scale = Vec4(NAN_F);
        add(s);
        s = segments_of({{0.0f, 0.0f, 1.0f}, {mid, 0.0f, 1.0f}});
        s[0].base = Vec4(NAN_F);  // holds still with a NaN base
        add(s);
        s = segments_of(two(1.0f, 2.0f));
        s[1].start = Vec4(NAN_F);  // a next start that never comes
        add(s);
    }
    // Tame, but one frame before its start u = 1 + 63 = 64, and fast_exp2 of
    // 64·log2(64) = 384 builds −∞ from its exponent bits: 1 − a = +∞, whose
    // fast_log2 is NaN (the shortened logarithm would say 128).
    std::vector<CurveSegment> early =
        segments_of({{frame_time(701), 1.0f, 64.0f}, {mid, -1.0f, 1.0f}});
    early[0].inv_length = Vec4(63.0f) / (Vec4(frame_time(701)) - Vec4(frame_time(700)));
    add(early);
    start();
    ASSERT_TRUE(frame(0.0f));
    EXPECT_GE(walk.groups - walk.exact_groups, 2);
    ASSERT_TRUE(frames(1, 700));
    EXPECT_TRUE(std::isnan(alone.back().out.lane0()));
    ASSERT_TRUE(frames(701, 1000));
    // Back to just before that start, then on.
    ASSERT_TRUE(frame(frame_time(700)));
    EXPECT_TRUE(std::isnan(alone.back().out.lane0()));
    ASSERT_TRUE(frames(701, 2000));
    // Times no render uses: not a number, −∞, before every start, backwards.
    for (float t : {NAN_F, -INF_F, -1.0f, frame_time(100), NAN_F, frame_time(800), -0.0f})
        ASSERT_TRUE(frame(t)) << "t " << t;
    ASSERT_TRUE(frames(2001, 4000));
}

TEST_F(CurvePaths, RestartsAndCurvesMovedBehindTheWalksBack) {
    Lcg rng{11};
    for (int i = 0; i < 16; ++i) add(segments_of(ramp(rng, SPAN, i % 2 == 0)));
    // Steps: flat, a jump at 2000 frames, flat again at another level.
    for (int i = 0; i < 4; ++i) {
        const float at = frame_time(2000 + 100 * i), level = 0.25f * static_cast<float>(i);
        add(segments_of({{0.0f, level, 1.0f},
                         {at, level, 1.0f},
                         {at, level + 0.5f, 3.0f},
                         {frame_time(2900), level + 0.5f, 1.0f}}));
    }
    start();
    ASSERT_TRUE(frames(0, 1200));
    // The score built again: every curve back on its first segment, outs as they were.
    for (size_t i = 0; i < curves.size(); ++i)
        walked[i].segment = alone[i].segment = curves[i].data();
    ASSERT_TRUE(frames(0, 1200));
    // Curves stepped on by someone else (moving ones and ones that hold
    // still), then put back to their start, while the time moves on (going
    // back in time alone would already make the walk plan again).
    int n = 1201;
    for (size_t i : {size_t{3}, size_t{8}, size_t{15}, size_t{16}, size_t{19}}) {
        curve_env_eval(walked[i], Vec4(frame_time(2500)));
        curve_env_eval(alone[i], Vec4(frame_time(2500)));
        ASSERT_TRUE(frames(n, n + 9)) << "curve " << i << " moved on";
        walked[i].segment = alone[i].segment = curves[i].data();
        ASSERT_TRUE(frames(n + 10, n + 19)) << "curve " << i << " moved back";
        n += 20;
    }
    ASSERT_TRUE(frames(n, SPAN));
}

}  // namespace
}  // namespace lf::test
