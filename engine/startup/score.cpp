// Expansion of the packed score.
//
// Note lists arrive as four zigzag-coded delta streams (note, velocity, start
// and duration in ticks of 1/192 s); each becomes an array of NoteEvents in
// seconds between a sentinel in the far past and one the song never reaches.
// Curves arrive as breakpoints (time delta, value, shape); each becomes an
// array of CurveSegments whose shape exponents p and q = 1/p bend the path
// from one breakpoint to the next, ending in a sentinel that holds the last
// value for the rest of the track.
#include "engine/startup/score.h"

#include "engine/data/packed_data.h"
#include "engine/dsp/math.h"

namespace lf {

namespace {

static_assert(NOTE_LIST_COUNT == PACKED_NOTE_LIST_COUNT && CURVE_COUNT == PACKED_CURVE_COUNT);

constexpr float FAR_AWAY_S = 16384.0f;  // far beyond either end of the track

// Each list's events (count + 2) and each curve's segments (count + 1), back to back.
NoteEvent note_events[sum_of(NOTE_LIST_LENGTHS) + 2 * NOTE_LIST_COUNT];
CurveSegment curve_segments[sum_of(CURVE_LENGTHS) + CURVE_COUNT];

// Signed running sums with two's-complement wrap.
int32_t add_wrapping(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

Vec4 to_vec(int32_t v) {
    return Vec4(static_cast<float>(v));
}

}  // namespace

void build_note_list(const PackedNoteList& list) {
    NoteEvent* events = list.events;
    events[0] = {0.0f, 0.0f, -FAR_AWAY_S, -FAR_AWAY_S};
    const Vec4 tick(0.0052083335f);
    int32_t note = 0, velocity = 0, start = 0, duration = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        note = add_wrapping(note, zigzag_decode(list.notes[i]));
        velocity = add_wrapping(velocity, zigzag_decode(list.velocities[i]));
        start = add_wrapping(start, zigzag_decode(list.starts[i]));
        duration = add_wrapping(duration, zigzag_decode(list.durations[i]));
        // 2^(note/12 + log2 8.1758): note 69 is 440 Hz.
        const Vec4 frequency = fast_exp2(fma(to_vec(note), Vec4(0.083333336f), Vec4(3.0313597f)));
        const Vec4 on = to_vec(start) * tick;
        const Vec4 off = fma(to_vec(duration), tick, on);
        events[i + 1] = {frequency.lane0(), (to_vec(velocity) * Vec4(0.015625f)).lane0(),
                         on.lane0(), off.lane0()};
    }
    events[list.count + 1] = {1.0f, 0.0f, FAR_AWAY_S, FAR_AWAY_S};
    list.cursor->event = events;
}

void build_curve(const PackedCurve& curve) {
    CurveSegment* segments = curve.segments;
    const Vec4 tick(0.0052083335f);
    const Vec4 step(0.0078125f);
    const Vec4 one(1.0f);
    Vec4 time = Vec4::zero();
    for (uint32_t i = 0; i < curve.count; ++i) {
        // The time accumulates in seconds: T = delta·(1/192) + T.
        time = fma(to_vec(curve.times[i]), tick, time);
        const Vec4 k = to_vec(curve.shapes[i]) * step;
        const Vec4 falling = fnma(Vec4(0.435659f), k, one);  // 1 - 0.435659 k
        const Vec4 rising = fma(Vec4(0.6930241f), k, one);   // 1 + 0.6930241 k
        CurveSegment& s = segments[i];
        s.start = time;
        s.base = to_vec(curve.values[i]) * step;
        s.p = falling / rising;
        s.q = rising / falling;
    }
    CurveSegment& sentinel = segments[curve.count];
    sentinel.start = Vec4(FAR_AWAY_S);
    sentinel.base = segments[curve.count - 1].base;
    sentinel.p = one;
    sentinel.q = one;
    sentinel.inv_length = Vec4::zero();
    sentinel.scale = Vec4::zero();
    for (uint32_t i = 0; i < curve.count; ++i) {
        const Vec4 length = segments[i + 1].start - segments[i].start;
        // Two breakpoints at one time: a jump, which any finite slope would do.
        segments[i].inv_length = length.lane0() == 0.0f ? one : rcp_estimate(length);
        segments[i].scale = segments[i + 1].base - segments[i].base;
    }
    curve.cursor->segment = segments;
}

void build_score() {
    EventCursor* note_cursors = engine.score.note_cursors;
    CurveEnv* curve_envs = engine.score.curve_envs;
    NoteEvent* events = note_events;
    PackedNoteList lists[NOTE_LIST_COUNT];
    for (int k = 0; k < NOTE_LIST_COUNT; ++k) {
        const PackedNoteStreams& packed = PACKED_NOTE_LISTS[k];
        lists[k] = {&note_cursors[k], events,           packed.notes, packed.velocities,
                    packed.starts,    packed.durations, packed.count};
        events += packed.count + 2;
    }
    CurveSegment* segments = curve_segments;
    PackedCurve curves[CURVE_COUNT];
    for (int c = 0; c < CURVE_COUNT; ++c) {
        const PackedCurveStreams& packed = PACKED_CURVES[c];
        curves[c] = {&curve_envs[c], segments,      packed.times,
                     packed.values,  packed.shapes, packed.count};
        segments += packed.count + 1;
    }
    // The lists and curves are independent; they are built from the last to the first.
    for (int k = NOTE_LIST_COUNT - 1; k >= 0; --k) build_note_list(lists[k]);
    for (int c = CURVE_COUNT - 1; c >= 0; --c) build_curve(curves[c]);

    // The walk steps the curves in use, in its order; it has no plan yet.
    CurveWalk& walk = engine.score.curve_walk;
    walk = CurveWalk{};
    for (int c : CURVES_IN_USE.curves) walk.envs[walk.count++] = &curve_envs[c];
}

}  // namespace lf
