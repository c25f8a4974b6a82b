// Score expansion: zigzag and delta decoding, note frequencies and times,
// sentinels, curve segments (jumps, early starts, shapes, slopes), and the
// compiled-in score expanded into the cursors.
#include <cmath>
#include <vector>

#include "engine/data/packed_layout.h"
#include "engine/startup/score.h"
#include "tests/startup/startup_test.h"

namespace lf::test {
namespace {

class ScoreTest : public StartupTest {};

double note_hz(int note) {
    return 8.1757989156 * std::exp2(note / 12.0);
}

struct NoteListFixture {
    std::vector<uint8_t> notes, velocities;
    std::vector<uint32_t> starts, durations;
    std::vector<NoteEvent> events;
    EventCursor cursor{};

    PackedNoteList build() {
        events.assign(notes.size() + 2, NoteEvent{-1, -1, -1, -1});
        PackedNoteList list{&cursor,
                            events.data(),
                            notes.data(),
                            velocities.data(),
                            starts.data(),
                            durations.data(),
                            static_cast<uint32_t>(notes.size())};
        build_note_list(list);
        return list;
    }
};

TEST_F(ScoreTest, NoteStreamsAreZigzagDeltas) {
    NoteListFixture f;
    // Notes: +69, then 255 (-128), then 254 (+127): 69, -59, 68.
    f.notes = {138, 255, 254};
    // Velocities 64, 64, 32; starts at ticks 192, 192, 576; durations 96, 48, 48.
    f.velocities = {128, 0, 63};
    f.starts = {384, 0, 768};
    f.durations = {192, 95, 0};
    f.build();
    const int want_notes[3] = {69, -59, 68};
    const double want_velocity[3] = {1.0, 1.0, 0.5};
    const int want_start[3] = {192, 192, 576}, want_duration[3] = {96, 48, 48};
    for (int i = 0; i < 3; ++i) {
        const NoteEvent& e = f.events[i + 1];
        EXPECT_NEAR(e.frequency, note_hz(want_notes[i]), 2e-6 * note_hz(want_notes[i])) << i;
        EXPECT_EQ(e.velocity, want_velocity[i]) << i;
        EXPECT_NEAR(e.on, want_start[i] / 192.0, 1e-6) << i;
        EXPECT_NEAR(e.off - e.on, want_duration[i] / 192.0, 2e-6) << i;
    }
    EXPECT_NEAR(f.events[1].frequency, 440.0, 1e-3) << "note 69";
}

TEST_F(ScoreTest, NoteListsSitBetweenSentinels) {
    NoteListFixture f;
    f.notes = {0, 0};
    f.velocities = {0, 0};
    f.starts = {0, 0};
    f.durations = {0, 0};
    f.build();
    EXPECT_EQ(f.cursor.event, f.events.data());
    const NoteEvent& first = f.events[0];
    EXPECT_EQ(first.frequency, 0.0f);
    EXPECT_EQ(first.velocity, 0.0f);
    EXPECT_EQ(first.on, -16384.0f);
    EXPECT_EQ(first.off, -16384.0f);
    // All-zero streams: note 0 (8.1758 Hz), velocity 0, on and off at 0.
    for (int i = 1; i <= 2; ++i) {
        EXPECT_NEAR(f.events[i].frequency, 8.1758, 1e-4);
        EXPECT_EQ(f.events[i].velocity, 0.0f);
        EXPECT_EQ(f.events[i].on, 0.0f);
        EXPECT_EQ(f.events[i].off, 0.0f);
    }
    const NoteEvent& last = f.events[3];
    EXPECT_EQ(last.frequency, 1.0f);
    EXPECT_EQ(last.velocity, 0.0f);
    EXPECT_EQ(last.on, 16384.0f);
    EXPECT_EQ(last.off, 16384.0f);

    NoteListFixture empty;
    empty.build();
    EXPECT_EQ(empty.events[0].on, -16384.0f);
    EXPECT_EQ(empty.events[1].on, 16384.0f);
}

struct CurveFixture {
    std::vector<int32_t> times, values, shapes;
    std::vector<CurveSegment> segments;
    CurveEnv env{};

    void build() {
        segments.resize(times.size() + 1);
        build_curve({&env, segments.data(), times.data(), values.data(), shapes.data(),
                     static_cast<uint32_t>(times.size())});
    }
};

bool all_lanes(Vec4 v, float x) {
    return same_bits(v, Vec4(x));
}

TEST_F(ScoreTest, CurveSegmentsCarryStartSlopeAndShape) {
    CurveFixture f;
    // Breakpoints at -480, 0, 0 (a jump), 192 ticks; values 0, 1, 0.5, 0.25;
    // shapes 0, 64/128, -64/128, 0.
    f.times = {-480, 480, 0, 192};
    f.values = {0, 128, 64, 32};
    f.shapes = {0, 64, -64, 0};
    f.build();
    EXPECT_EQ(f.env.segment, f.segments.data());
    EXPECT_NEAR(f.segments[0].start.lane0(), -2.5, 1e-6) << "2.5 s before the track";
    EXPECT_NEAR(f.segments[1].start.lane0(), 0.0, 1e-6);
    EXPECT_TRUE(all_lanes(f.segments[1].inv_length, 1.0f)) << "a jump: zero length";
    EXPECT_NEAR(f.segments[3].start.lane0(), 1.0, 1e-6);
    // k = 0 is a straight line.
    EXPECT_TRUE(all_lanes(f.segments[0].p, 1.0f));
    EXPECT_TRUE(all_lanes(f.segments[0].q, 1.0f));
    for (int i : {1, 2}) {
        const double k = f.shapes[i] / 128.0;
        const double p = (1 - 0.435659 * k) / (1 + 0.6930241 * k);
        EXPECT_NEAR(f.segments[i].p.lane0(), p, 1e-6) << i;
        EXPECT_NEAR(f.segments[i].q.lane0(), 1 / p, 1e-6) << i;
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.segments[i].base.lane0(), f.values[i] / 128.0f) << i;
        const float next_base = i + 1 < 4 ? f.values[i + 1] / 128.0f : f.values[3] / 128.0f;
        EXPECT_EQ(f.segments[i].scale.lane0(), next_base - f.values[i] / 128.0f) << i;
        for (int lane = 1; lane < 4; ++lane) {
            EXPECT_EQ(f.segments[i].start.lane(lane), f.segments[i].start.lane0());
            EXPECT_EQ(f.segments[i].inv_length.lane(lane), f.segments[i].inv_length.lane0());
        }
    }
    // Slopes are the processor's 12-bit estimates of 1/length, not divisions;
    // the last one reaches the sentinel.
    EXPECT_TRUE(same_bits(f.segments[0].inv_length,
                          rcp_estimate(f.segments[1].start - f.segments[0].start)));
    const double lengths[4] = {2.5, 0.0, 1.0, 16384.0 - 1.0};
    for (int i : {0, 2, 3}) {
        EXPECT_NEAR(f.segments[i].inv_length.lane0() * lengths[i], 1.0, 1.5 / 4096) << i;
    }
    // The sentinel holds the last value for the rest of the track.
    const CurveSegment& sentinel = f.segments[4];
    EXPECT_TRUE(all_lanes(sentinel.start, 16384.0f));
    EXPECT_TRUE(same_bits(sentinel.base, f.segments[3].base));
    EXPECT_TRUE(all_lanes(sentinel.p, 1.0f));
    EXPECT_TRUE(all_lanes(sentinel.q, 1.0f));
    EXPECT_TRUE(all_lanes(sentinel.inv_length, 0.0f));
    EXPECT_TRUE(all_lanes(sentinel.scale, 0.0f));
    // base - base is -0 when rounding toward -inf: zero all the same.
    for (int lane = 0; lane < 4; ++lane) EXPECT_EQ(f.segments[3].scale.lane(lane), 0.0f);
}

TEST_F(ScoreTest, CompiledScoreExpandsIntoOrderedTracks) {
    build_score();
    for (int k = 0; k < NOTE_LIST_COUNT; ++k) {
        const NoteEvent* e = engine.score.note_cursors[k].event;
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e[0].on, -16384.0f) << "list " << k;
        const uint32_t count = NOTE_LIST_LENGTHS[k];
        for (uint32_t i = 1; i <= count; ++i) {
            EXPECT_GE(e[i].on, e[i - 1].on) << "list " << k << " note " << i;
            EXPECT_LE(e[i].on, 138.17f) << "list " << k << " note " << i;
            EXPECT_GT(e[i].frequency, 0.0f);
        }
        EXPECT_EQ(e[count + 1].on, 16384.0f) << "list " << k;
    }
    for (int c = 0; c < CURVE_COUNT; ++c) {
        const CurveSegment* s = engine.score.curve_envs[c].segment;
        ASSERT_NE(s, nullptr);
        const uint32_t count = CURVE_LENGTHS[c];
        for (uint32_t i = 1; i <= count; ++i) {
            EXPECT_GE(s[i].start.lane0(), s[i - 1].start.lane0())
                << "curve " << c << " point " << i;
        }
        EXPECT_EQ(s[count].start.lane0(), 16384.0f) << "curve " << c;
    }
}

}  // namespace
}  // namespace lf::test
