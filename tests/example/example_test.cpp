// The engine built with glasshouse, a short piece in the free profile
// (content/examples/glasshouse): its storage has the piece's shape, not the
// track's, and the whole render is audible, finite and below full scale. The
// piece holds the edges of the layout: empty note lists, a one-block sample
// (the tick of track 0), a kick and a snare shorter than their voices read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/data/packed_layout.h"
#include "engine/dsp/math.h"
#include "engine/frame/block.h"
#include "engine/frame/engine.h"
#include "engine/frame/render_threads.h"
#include "engine/frame/stages.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"

namespace lf {
namespace {

constexpr uint32_t PIECE_END_FRAME = 25 * FRAMES_PER_BAR;  // the piece is 24 bars

TEST(Glasshouse, StorageHasThePiecesShape) {
    EXPECT_NE(NOTE_LIST_LENGTHS, TRACK_NOTE_LIST_LENGTHS);
    EXPECT_NE(CURVE_LENGTHS, TRACK_CURVE_LENGTHS);
    for (int track : {TRACK_CHORD5, TRACK_SOLO, TRACK_CRASH_REVERB, TRACK_BLIPS}) {
        EXPECT_EQ(NOTE_LIST_LENGTHS[track], 0u) << track;
    }
    // The tick of track 0: one block, three hops of floats.
    EXPECT_EQ(PACKED_SAMPLE_LAYOUTS[5].blocks, 1u);
    EXPECT_EQ(sample_decoded_length(6), 3u * 1024u);
    // The kick's decoded sample is shorter than the 29680 frames its voice
    // reads of the track's kick: the voice stops at the end of this one.
    EXPECT_LT(sample_decoded_length(2), 29680u);
    EXPECT_EQ(sample_play_length(2, 29680), sample_decoded_length(2));
    EXPECT_EQ(sample_play_length(5, 103948), 103948u);
}

// The peak of a voice's lanes 0 and 1 over a run of frames, and whether all
// were finite.
struct VoicePeaks {
    float peak[TAP_COUNT] = {};
    bool finite = true;
    void mark(Stage) {}
    void tap(Tap tap, Vec4 v) {
        for (int lane = 0; lane < 2; ++lane) {
            const float x = v.lane(lane);
            if (!std::isfinite(x)) finite = false;
            peak[tap] = std::max(peak[tap], std::fabs(x));
        }
    }
};

// Before, during and after the tick's notes (bars 9 to 12), voice by voice;
// the voices of the empty lists stay exactly silent all along.
TEST(Glasshouse, EmptyListsAreSilentAndTheOneBlockTickSounds) {
    engine_startup();
    VoicePeaks before, during;
    for (uint32_t i = 0; i < PIECE_END_FRAME; ++i) {
        const Vec4 t = Vec4(static_cast<float>(i)) * Vec4(FRAME_SECONDS);
        run_frame_stages_probed(t, i < 8 * FRAMES_PER_BAR ? before : during);
    }
    ASSERT_TRUE(before.finite && during.finite);
    EXPECT_EQ(before.peak[TAP_TRACK0], 0.0f);
    EXPECT_GT(during.peak[TAP_TRACK0], 1e-3f);
    for (Tap silent : {TAP_TRACK21, TAP_TRACK22, TAP_TRACK23}) {
        EXPECT_EQ(before.peak[silent], 0.0f) << silent;
        EXPECT_EQ(during.peak[silent], 0.0f) << silent;
    }
    for (Tap sounding : {TAP_TRACK1, TAP_TRACK7, TAP_TRACK11, TAP_TRACK13, TAP_TRACK14, TAP_TRACK16,
                         TAP_TRACK17, TAP_TRACK19}) {
        EXPECT_GT(during.peak[sounding], 1e-3f) << sounding;
    }
}

// The whole render through render_frame, as the programs run it.
TEST(Glasshouse, WholeRenderIsAudibleFiniteAndBelowFullScale) {
    engine_startup();
    for (uint32_t i = 0; i < TRACK_FRAMES; ++i) render_frame(TrackBuffer, i);
    float peak = 0.0f;
    double piece_energy = 0.0;
    uint32_t bad = 0;
    for (uint32_t i = 0; i < TRACK_FRAMES; ++i) {
        for (float x : {TrackBuffer[i].left, TrackBuffer[i].right}) {
            if (!std::isfinite(x)) {
                ++bad;
                continue;
            }
            peak = std::max(peak, std::fabs(x));
            if (i < PIECE_END_FRAME) piece_energy += double{x} * x;
        }
    }
    EXPECT_EQ(bad, 0u) << "samples that are NaN or infinite";
    EXPECT_LT(peak, 1.0f);
    const double rms = std::sqrt(piece_energy / (2.0 * PIECE_END_FRAME));
    EXPECT_GT(rms, 0.01) << "the piece is all but silent";
    // After the piece and its tails, the track's remaining 100 s are quiet.
    float tail = 0.0f;
    for (uint32_t i = TRACK_FRAMES - SAMPLE_RATE; i < TRACK_FRAMES; ++i) {
        tail = std::max({tail, std::fabs(TrackBuffer[i].left), std::fabs(TrackBuffer[i].right)});
    }
    EXPECT_LT(tail, 1e-3f);
}

// The piece through the block path, on one thread and on two, against
// render_frame bit for bit: the other shape moves every gate and noise draw.
TEST(Glasshouse, BlockPathsGiveTheFramePathsBits) {
    engine_startup();
    for (uint32_t i = 0; i < PIECE_END_FRAME; ++i) render_frame(TrackBuffer, i);
    const std::vector<StereoFrame> expected(TrackBuffer, TrackBuffer + PIECE_END_FRAME);
    const auto first_difference = [&](void (*render)(StereoFrame*, uint32_t, uint32_t)) {
        engine_startup();
        std::memset(TrackBuffer, 0, sizeof(StereoFrame) * (PIECE_END_FRAME + 1));
        for (uint32_t first = 0; first < PIECE_END_FRAME; first += 1000)
            render(TrackBuffer, first, std::min(1000u, PIECE_END_FRAME - first));
        for (uint32_t i = 0; i < PIECE_END_FRAME; ++i)
            if (std::memcmp(&expected[i], &TrackBuffer[i], sizeof(StereoFrame)) != 0) return i;
        return PIECE_END_FRAME;
    };
    EXPECT_EQ(first_difference(render_block), PIECE_END_FRAME);
    render_threads_start();
    EXPECT_EQ(first_difference(render_block_threads), PIECE_END_FRAME);
    render_threads_stop();
}

// A list at the limit expands whole: its last note, then the far sentinel, and
// the cursor walks to the last note.
TEST(Glasshouse, ListAtTheLimitExpandsWhole) {
    static std::vector<uint8_t> notes(MAX_NOTES_PER_LIST, 0), velocities(MAX_NOTES_PER_LIST, 0);
    // Notes 3 ticks apart from tick 0, each 2 ticks long.
    static std::vector<uint32_t> starts(MAX_NOTES_PER_LIST, zigzag_encode(3)),
        durations(MAX_NOTES_PER_LIST, 0);
    starts[0] = 0;
    notes[0] = static_cast<uint8_t>(zigzag_encode(60));
    velocities[0] = static_cast<uint8_t>(zigzag_encode(64));
    durations[0] = zigzag_encode(2);
    static std::vector<NoteEvent> events(MAX_NOTES_PER_LIST + 2);
    static EventCursor cursor{};
    build_note_list({&cursor, events.data(), notes.data(), velocities.data(), starts.data(),
                     durations.data(), MAX_NOTES_PER_LIST});
    const NoteEvent& last = events[MAX_NOTES_PER_LIST];
    EXPECT_NEAR(last.on, 3.0 * (MAX_NOTES_PER_LIST - 1) / 192.0, 1e-4);
    EXPECT_NEAR(last.off, last.on + 2.0 / 192.0, 1e-4);
    EXPECT_EQ(events[MAX_NOTES_PER_LIST + 1].on, 16384.0f);
    event_cursor_advance(cursor, last.on + 0.001f);
    EXPECT_EQ(cursor.event, &last);
}

}  // namespace
}  // namespace lf
