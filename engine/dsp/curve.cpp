// Nothing here keeps a clock of its own: a curve is handed the song time and
// steps through its sorted segments until the next one lies in the future;
// the sentinel at the array's end stops the walk without a bounds test.
//
// All arithmetic runs in Vec4 lanes, even where one lane would do, so that the
// literals stay opaque to the optimiser and every operation rounds at run time
// in the engine's mode.
#include "engine/dsp/curve.h"

#include <bit>
#include <cmath>
#include <limits>

#include "engine/dsp/math.h"

namespace lf {

namespace {

constexpr float LARGEST = std::numeric_limits<float>::max();

// fast_log2, the logarithm of the curves' shapes.
struct PlainLog2 {
    template <typename V>
    V operator()(V x) const {
        return fast_log2(x);
    }
};

// fast_log2 with its first division m = x / 2^(e − 127) replaced by setting the
// exponent field of x to 127. For a normal positive x the division is exact
// (a power of two scales one normal number to another), so both give the same
// m in [1, 2); where x <= 0 both return the same constant; everything after m
// is fast_log2's own series. They differ only for a positive x that is
// subnormal, infinite or NaN. One integer and and add instead of a division:
// eleven cycles less on the curve's long chain.
struct ExactLog2 {
    template <typename V>
    V operator()(V x) const {
        using I = decltype(to_int(x));
        I e = shift_right_logical(bits(x), 23);
        // The fraction bits below the exponent 127 of 1.0: an add of disjoint bits.
        V m = from_bits((bits(x) & I(0x007FFFFF)) + I(0x3F800000));
        return fast_log2_series(x, e, m);
    }
};

// The curve's value at t within segment s, lane by lane.
template <typename Log2 = PlainLog2, typename V>
inline V curve_value_at(V t, V start, V inv_length, V base, V scale, V p, V q) {
    const Log2 log2;
    // u runs from 1 at the segment start to 0 at its end:
    // u = 1 − (t − start)·inv_length
    V u = fnma(t - start, inv_length, V(1.0f));
    // v = (1 − u^p)^q. Outside the segment fast_log2 of u <= 0 (after the end)
    // or of 1 − u^p <= 0 (before the start) gives the most negative float, and
    // fast_exp2 of that is 0, so v sticks to 1 or 0.
    V a = fast_exp2(p * log2(u));
    V v = fast_exp2(q * log2(V(1.0f) - a));
    // base + scale·v
    return fma(scale, v, base);
}

// Lane 0 alone chooses the segment; all lanes of a segment are equal.
inline const CurveSegment& curve_step(CurveEnv& env, float t0) {
    while (t0 >= env.segment[1].start.lane0()) ++env.segment;
    return *env.segment;
}

// The part of curve_holds_still that does not depend on the time: the start
// is finite (or +∞), the slope 1/length is finite and not negative, and both
// exponents lie in (0, 64]. Comparisons with NaN are false, so any NaN field
// makes a segment wild.
inline bool curve_tame(const CurveSegment& s) {
    const float start = s.start.lane0(), slope = s.inv_length.lane0();
    const float p = s.p.lane0(), q = s.q.lane0();
    return start >= -LARGEST && slope >= 0.0f && slope <= LARGEST && p > 0.0f && p <= 64.0f &&
           q > 0.0f && q <= 64.0f;
}

// On a tame segment, for a finite t whose lanes are t0 >= start:
//   t − start is +0, −0 or positive and finite, so u = 1 − (t − start)·inv_length
//   is at most 1, finite or −∞, never NaN. The exact product of two floats is a
//   multiple of its significands' last place, which for a product near 1 is
//   above 2^−49, so u rounds from 0 or from a value at least that far from 0:
//   u is <= 0 or normal;
//   fast_log2(u) is −3.4e38 (u <= 0), −0 (u = 1), or in [−127, 1e-5) (its
//   series for m = 2u·2^k in [1, 2) stays below 1 − e + 127);
//   p times that is −∞ or below 0.001, so a = fast_exp2(…) lies in [+0, 1.01]
//   (0 below −127, else a positive polynomial times 2^n with n <= 0);
//   1 − a is at most 1 and is 0 or at least 2^−24 away from 0: <= 0 or normal;
//   the same two steps give v in [+0, 1.01]: never NaN, never infinite, never
//   negative.
// So both logarithms see only arguments for which ExactLog2 is fast_log2, and
// a zero scale times v is a zero of the scale's sign: the fused base + scale·v
// rounds to base + scale·0.
inline bool curve_holds_still(const CurveSegment& s, float t0) {
    return s.scale.lane0() == 0.0f && curve_tame(s) && t0 >= s.start.lane0();
}

// Steps every curve of the walk to t0 and sorts them: those that hold still,
// the tame moving ones (ExactLog2, by the proof above), the rest (fast_log2).
// The plan stays true while no curve's next segment has started and every
// tame curve's t0 >= start keeps its truth value (then no curve's kind
// changes: it depends on the segment's fields and on that comparison alone),
// that is from the latest start of a tame curve under way to the earliest
// next start or start of a tame curve yet to begin; +∞ is never inside.
void curve_walk_plan(CurveWalk& walk, float t0) {
    CurveEnv* exact[CURVE_WALK_MAX];
    CurveEnv* plain[CURVE_WALK_MAX];
    int exact_count = 0, plain_count = 0;
    float from = -std::numeric_limits<float>::infinity();
    float until = std::numeric_limits<float>::infinity();
    walk.holding = 0;
    for (int i = 0; i < walk.count; ++i) {
        CurveEnv& env = *walk.envs[i];
        const CurveSegment& s = curve_step(env, t0);
        const float start = s.start.lane0(), next = (&s)[1].start.lane0();
        if (next < until) until = next;  // a NaN start never comes
        const bool tame = curve_tame(s);
        const bool started = t0 >= start;
        if (tame && started && start > from) from = start;
        if (tame && !started && start < until) until = start;
        if (curve_holds_still(s, t0))
            walk.held[walk.holding++] = {&env, &s, s.scale, s.base};
        else if (tame && started && t0 <= LARGEST)
            exact[exact_count++] = &env;
        else
            plain[plain_count++] = &env;
    }
    // Eight curves to a group; spare lanes repeat the group's first curve, so
    // that they too compute a value of the group's kind (and nobody reads it).
    int g = 0;
    auto gather = [&](CurveEnv* const* list, int n) {
        for (int first = 0; first < n; first += 8, ++g) {
            const int used = n - first < 8 ? n - first : 8;
            alignas(16) float field[6][8];
            for (int j = 0; j < 8; ++j) {
                const CurveSegment& s = *list[first + (j < used ? j : 0)]->segment;
                field[0][j] = s.start.lane0();
                field[1][j] = s.inv_length.lane0();
                field[2][j] = s.base.lane0();
                field[3][j] = s.scale.lane0();
                field[4][j] = s.p.lane0();
                field[5][j] = s.q.lane0();
                walk.lane_envs[g][j] = j < used ? list[first + j] : nullptr;
                walk.lane_segments[g][j] = &s;
            }
            auto lanes = [&](int f) {
                return Vec8::join(Vec4::load(field[f]), Vec4::load(field[f] + 4));
            };
            walk.lanes[g] = {lanes(0), lanes(1), lanes(2), lanes(3), lanes(4), lanes(5)};
            walk.used[g] = used;
        }
    };
    gather(exact, exact_count);
    walk.exact_groups = g;
    gather(plain, plain_count);
    walk.groups = g;
    walk.planned_from = from;
    walk.planned_until = until;
}

// curve_value_at for the eight curves of a group, always written out in place.
template <typename Log2>
__attribute__((always_inline)) inline Vec8 curve_lanes_value(const CurveLanes& s, Vec8 t) {
    return curve_value_at<Log2>(t, s.start, s.inv_length, s.base, s.scale, s.p, s.q);
}

// Each real lane of group g to its curve's out, in all four lanes; false at
// the first curve whose segment is not the planned one.
inline bool curve_walk_scatter(const CurveWalk& walk, int g, Vec8 value) {
    alignas(16) float lane[8];
    value.low().store(lane);
    value.high().store(lane + 4);
    for (int j = 0; j < walk.used[g]; ++j) {
        CurveEnv& env = *walk.lane_envs[g][j];
        if (env.segment != walk.lane_segments[g][j]) return false;
        env.out = Vec4(lane[j]);
    }
    return true;
}

// Writes every curve's value at t by the plan, for a t0 inside the planned
// times; false at the first curve whose segment pointer is not the planned
// one. Each curve's value depends on its own segment and t0 alone: a curve
// still on its planned segment at such a t0 would not be stepped, is of the
// planned kind, and its value is the one written here, whatever became of
// the others.
bool curve_walk_write(const CurveWalk& walk, Vec4 t) {
    for (int k = 0; k < walk.holding; ++k) {
        const HeldCurve& c = walk.held[k];
        if (c.env->segment != c.segment) return false;
        c.env->out = fma(c.scale, Vec4::zero(), c.base);
    }
    const Vec8 t8 = Vec8::join(t, t);
    int g = 0;
    // Two groups in one stretch of straight code, so that their long chains
    // interleave (most frames have two groups).
    for (; g + 1 < walk.exact_groups; g += 2) {
        const Vec8 first = curve_lanes_value<ExactLog2>(walk.lanes[g], t8);
        const Vec8 second = curve_lanes_value<ExactLog2>(walk.lanes[g + 1], t8);
        if (!curve_walk_scatter(walk, g, first) || !curve_walk_scatter(walk, g + 1, second))
            return false;
    }
    for (; g < walk.groups; ++g) {
        const CurveLanes& s = walk.lanes[g];
        const Vec8 value = g < walk.exact_groups ? curve_lanes_value<ExactLog2>(s, t8)
                                                 : curve_lanes_value<PlainLog2>(s, t8);
        if (!curve_walk_scatter(walk, g, value)) return false;
    }
    return true;
}

}  // namespace

Vec4 curve_env_eval(CurveEnv& env, Vec4 t) {
    const CurveSegment& s = curve_step(env, t.lane0());
    env.out = curve_value_at(t, s.start, s.inv_length, s.base, s.scale, s.p, s.q);
    return env.out;
}

void curve_walk_eval(CurveWalk& walk, Vec4 t) {
    const float t0 = t.lane0();
    // A NaN t0 is never inside the planned times. After a fresh plan every
    // pointer is the planned one, so the second write goes through; a write
    // cut short is done again in full, the same values for the curves it
    // had reached.
    if (!(t0 >= walk.planned_from) || t0 >= walk.planned_until) curve_walk_plan(walk, t0);
    if (!curve_walk_write(walk, t)) {
        curve_walk_plan(walk, t0);
        curve_walk_write(walk, t);
    }
}

}  // namespace lf
