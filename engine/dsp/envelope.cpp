// Time-driven control signals.
//
// Nothing here keeps a clock of its own: every unit is handed the song time
// (or a note state derived from it) and moves forward to it. The cursor and the
// curve walk their sorted arrays until the next entry lies in the future; the
// sentinel at each array's end stops the walk without a bounds test.
//
// All arithmetic runs in Vec4 lanes, even where one lane would do, so that the
// literals stay opaque to the optimiser and every operation rounds at run time
// in the engine's mode.
#include "engine/dsp/envelope.h"

#include <cmath>
#include <limits>

#include "engine/dsp/math.h"

namespace lf {

void event_cursor_advance(EventCursor& cursor, float t) {
    // An event becomes current on the very frame its on time is reached.
    while (t >= cursor.event[1].on) ++cursor.event;
    const NoteEvent& e = *cursor.event;
    // (frequency, velocity, on, off) → (frequency, velocity, t − on, t − off)
    Vec4 fields = Vec4::set(e.frequency, e.velocity, e.on, e.off);
    Vec4 since = Vec4(t) - fields;
    cursor.state = shuffle2<0, 1, 2, 3>(fields, since);
    cursor.velocity = e.velocity;
}

void adsr_step(const EnvShape& shape, NoteState note, float& level) {
    const float age = note.lane(2);
    const float since_off = note.lane(3);
    Vec4 l(level);
    if (age < shape.attack_s) {
        // L + ((1 − L)·(1/44100)) / (attack − age): the remaining distance to 1
        // spread evenly over the frames left in the attack, so the ramp is a
        // straight line to 1 from wherever a retrigger finds the level.
        Vec4 step = (Vec4(1.0f) - l) * Vec4(2.2675737e-05f);
        l = l + step / (Vec4(shape.attack_s) - broadcast<2>(note));
    } else {
        // A constant ratio per frame: b octaves of amplitude. Where b is at
        // most 0 (or −∞), 2^b is a finite number >= +0, and a level of ±0
        // times it is the same zero: released and decayed notes, which sit at
        // exactly 0 once their level has fallen below the smallest float,
        // return early with their level as it is. (A positive release time,
        // or a positive decay time with a finite, falling decay, keeps b there.)
        Vec4 b = Vec4::zero();
        if (since_off >= 0.0f) {
            if (level == 0.0f && shape.release_s > 0.0f) return;
            // −log2(1000)/44100/release: −60 dB over the release time.
            b = Vec4(-0.0002259815f) / Vec4(shape.release_s);
        } else if (age < shape.decay_s) {
            if (level == 0.0f && shape.decay_s > 0.0f && shape.decay_db <= 0.0f &&
                shape.decay_db >= -std::numeric_limits<float>::max()) {
                return;
            }
            // decay_dB·log2(10)/20/44100/decay time.
            b = Vec4(shape.decay_db) * Vec4(3.7663583e-06f) / Vec4(shape.decay_s);
        } else {
            // Sustain multiplies by fast_exp2(0), which is exactly 1: a level
            // that is zero or a finite normal number stays as it is.
            const float size = std::abs(level);
            if (size == 0.0f || (size >= std::numeric_limits<float>::min() &&
                                 size <= std::numeric_limits<float>::max())) {
                return;
            }
        }
        l = l * fast_exp2(b);
    }
    level = l.lane0();
}

namespace {

// The curve's value at t within segment s, lane by lane.
inline Vec4 curve_value_at(Vec4 t, Vec4 start, Vec4 inv_length, Vec4 base, Vec4 scale, Vec4 p,
                           Vec4 q) {
    // u runs from 1 at the segment start to 0 at its end:
    // u = 1 − (t − start)·inv_length
    Vec4 u = fnma(t - start, inv_length, Vec4(1.0f));
    // v = (1 − u^p)^q. Outside the segment fast_log2 of u <= 0 (after the end)
    // or of 1 − u^p <= 0 (before the start) gives the most negative float, and
    // fast_exp2 of that is 0, so v sticks to 1 or 0.
    Vec4 a = fast_exp2(p * fast_log2(u));
    Vec4 v = fast_exp2(q * fast_log2(Vec4(1.0f) - a));
    // base + scale·v
    return fma(scale, v, base);
}

// Lane 0 alone chooses the segment; all lanes of a segment are equal.
inline const CurveSegment& curve_step(CurveEnv& env, float t0) {
    while (t0 >= env.segment[1].start.lane0()) ++env.segment;
    return *env.segment;
}

// (a0, b0, c0, d0) for four vectors whose lanes are each equal.
inline Vec4 lanes_of(Vec4 a, Vec4 b, Vec4 c, Vec4 d) {
    return with_lane<3>(with_lane<2>(with_lane<1>(a, b), c), d);
}

// Four curves on their current segments, one per lane.
void curve_value4(CurveEnv* const (&envs)[4], Vec4 t) {
    const CurveSegment& a = *envs[0]->segment;
    const CurveSegment& b = *envs[1]->segment;
    const CurveSegment& c = *envs[2]->segment;
    const CurveSegment& d = *envs[3]->segment;
    Vec4 value = curve_value_at(t, lanes_of(a.start, b.start, c.start, d.start),
                                lanes_of(a.inv_length, b.inv_length, c.inv_length, d.inv_length),
                                lanes_of(a.base, b.base, c.base, d.base),
                                lanes_of(a.scale, b.scale, c.scale, d.scale),
                                lanes_of(a.p, b.p, c.p, d.p), lanes_of(a.q, b.q, c.q, d.q));
    envs[0]->out = broadcast<0>(value);
    envs[1]->out = broadcast<1>(value);
    envs[2]->out = broadcast<2>(value);
    envs[3]->out = broadcast<3>(value);
}

// True where curve_value_at(t, s) is exactly fma(scale, 0, base) for a finite
// t whose lanes are t0: the scale is ±0, the start is finite and t lies at or
// after it, the slope 1/length is finite and not negative, and both exponents
// lie in (0, 64]. Then
//   u = 1 − (t − start)·inv_length is at most 1, finite or −∞ (never NaN);
//   fast_log2(u) is −3.4e38 (u <= 0), −0 (u = 1), or in [−127, 1e-5) (its
//   series for m = 2u·2^k in [1, 2) stays below 1 − e + 127);
//   p times that is −∞ or below 0.001, so a = fast_exp2(…) lies in [+0, 1.01]
//   (0 below −127, else a positive polynomial times 2^n with n <= 0);
//   1 − a is at most 1, and the same two steps give v in [+0, 1.01]: never
//   NaN, never infinite, never negative.
// A zero scale times such a v is a zero of the scale's sign, so the fused
// base + scale·v rounds to base + scale·0. Comparisons with NaN are false, so
// any NaN field takes the full evaluation.
inline bool curve_holds_still(const CurveSegment& s, float t0) {
    constexpr float LARGEST = std::numeric_limits<float>::max();
    const float start = s.start.lane0(), slope = s.inv_length.lane0();
    const float p = s.p.lane0(), q = s.q.lane0();
    return s.scale.lane0() == 0.0f && start >= -LARGEST && t0 >= start && slope >= 0.0f &&
           slope <= LARGEST && p > 0.0f && p <= 64.0f && q > 0.0f && q <= 64.0f;
}

}  // namespace

Vec4 curve_env_eval(CurveEnv& env, Vec4 t) {
    const CurveSegment& s = curve_step(env, t.lane0());
    env.out = curve_value_at(t, s.start, s.inv_length, s.base, s.scale, s.p, s.q);
    return env.out;
}

void curve_envs_eval(CurveEnv* const* envs, int count, Vec4 t) {
    const float t0 = t.lane0();
    CurveEnv* moving[4];
    int waiting = 0;
    for (int i = 0; i < count; ++i) {
        CurveEnv& env = *envs[i];
        const CurveSegment& s = curve_step(env, t0);
        if (curve_holds_still(s, t0)) {
            env.out = fma(s.scale, Vec4::zero(), s.base);
            continue;
        }
        moving[waiting++] = &env;
        if (waiting == 4) {
            curve_value4(moving, t);
            waiting = 0;
        }
    }
    if (waiting > 0) {
        // The spare lanes repeat the first waiting curve, which is then
        // written twice with the same value.
        for (int k = waiting; k < 4; ++k) moving[k] = moving[0];
        curve_value4(moving, t);
    }
}

Vec4 env_follow(Vec4& state, Vec4 x) {
    // state + (|x| − state)·0.0002
    state = fma(abs(x) - state, Vec4(0.0002f), state);
    return state;
}

Vec4 rate_reduce_process(RateReducer& reducer, Vec4 x, float rate_hz) {
    reducer.sum = reducer.sum + x;
    Vec4 count = Vec4(reducer.count) + Vec4(1.0f);
    // phase + rate·(1/44100)
    Vec4 phase = fma(Vec4(rate_hz), Vec4(2.2675737e-05f), Vec4(reducer.phase));
    if (phase.lane0() >= 1.0f) {
        // One period is over: hold the mean of the frames it gathered.
        phase = phase - Vec4(1.0f);
        reducer.held = reducer.sum / count;
        reducer.sum = Vec4::zero();
        count = Vec4::zero();
    }
    reducer.count = count.lane0();
    reducer.phase = phase.lane0();
    return reducer.held;
}

}  // namespace lf
