// Rendering as the programs do it: start-up builds the engine state from
// whatever an earlier start-up or render left in it, so one process renders
// the same bits twice; and the block path writes the frame path's bits with
// any block size, block boundaries on the frames where the order matters most
// included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"
#include "engine/frame/render_threads.h"
#include "engine/voices/oscillator_bank_state.h"
#include "tests/engine_mode.h"

namespace {

using lf::test::frame_time;

// FNV-1a over the frames' bytes.
uint64_t hash_frames(const StereoFrame* frames, uint32_t count) {
    uint64_t h = 0xcbf29ce484222325ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames);
    for (size_t i = 0; i < size_t{count} * sizeof(StereoFrame); ++i)
        h = (h ^ bytes[i]) * 0x100000001b3ull;
    return h;
}

uint64_t render_frames(uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) render_frame(TrackBuffer, n);
    return hash_frames(TrackBuffer, count);
}

void clear_buffer(uint32_t frames) {
    std::memset(static_cast<void*>(TrackBuffer), 0, (frames + 1) * sizeof(StereoFrame));
}

TEST(Restart, SecondStartupRebuildsTheSameStateAndTheSameFrames) {
    constexpr uint32_t frames = 3 * SAMPLE_RATE;
    engine_startup();
    // The start condition, byte for byte (padding included: the record is
    // zeroed as a whole before it is built).
    auto fresh = std::make_unique<unsigned char[]>(sizeof lf::engine);
    std::memcpy(fresh.get(), &lf::engine, sizeof lf::engine);
    const uint64_t first = render_frames(frames);
    ASSERT_NE(std::memcmp(fresh.get(), &lf::engine, sizeof lf::engine), 0);

    engine_startup();
    EXPECT_EQ(std::memcmp(fresh.get(), &lf::engine, sizeof lf::engine), 0);
    clear_buffer(frames);
    EXPECT_EQ(render_frames(frames), first);
}

// The frames where the order of the stages matters most, found from the score
// as start-up expands it: where track 7's gate opens and closes (the noise
// draws of every later voice move by one) and where the master gate jumps.
// In this score the gate jumps at 24.2 s and 26.7 s, the pluck's gate opens at
// 0.17 s and first closes at 116.5 s.
struct Landmarks {
    std::vector<uint32_t> gate_jumps;
    std::vector<uint32_t> pluck_gate;  // opening and closing frames
};

const Landmarks& landmarks() {
    static const Landmarks found = [] {
        engine_startup();
        Landmarks l{};
        lf::EventCursor pluck = lf::engine.score.note_cursors[lf::TRACK_PLUCK];
        lf::CurveEnv gate = lf::engine.score.curve_envs[lf::CURVE_GATE];
        bool was_open = false, closed = false;
        float last_gate = 1.0f;
        for (uint32_t n = 0; n < TRACK_FRAMES && !closed; ++n) {
            const lf::Vec4 t = lf::Vec4(frame_time(n));
            lf::event_cursor_advance(pluck, t.lane0());
            const bool open = !(pluck.state.lane(3) > lf::PLUCK_GATE.open_s);
            if (open != was_open) l.pluck_gate.push_back(n);
            closed = was_open && !open;
            was_open = open;
            const float g = lf::curve_env_eval(gate, t).lane0();
            if (g != last_gate) l.gate_jumps.push_back(n);
            last_gate = g;
        }
        return l;
    }();
    return found;
}

// The frame path's frames [0, end).
std::vector<StereoFrame> reference(uint32_t end) {
    engine_startup();
    clear_buffer(end);
    for (uint32_t n = 0; n < end; ++n) render_frame(TrackBuffer, n);
    return std::vector<StereoFrame>(TrackBuffer, TrackBuffer + end);
}

// The block path in blocks of `block` frames, cut short so that a block
// starts on every mark, against the frame path up to a little past the last
// mark; the first frame that differs, or end.
using BlockRender = void (*)(StereoFrame*, uint32_t, uint32_t);

uint32_t first_difference(uint32_t block, const std::vector<uint32_t>& marks,
                          BlockRender render = render_block) {
    const uint32_t end = marks.back() + 3000;
    const std::vector<StereoFrame> expected = reference(end);
    engine_startup();
    clear_buffer(end);
    size_t next_mark = 0;
    for (uint32_t first = 0; first < end;) {
        while (next_mark < marks.size() && marks[next_mark] <= first) ++next_mark;
        uint32_t count = std::min(block, end - first);
        if (next_mark < marks.size()) count = std::min(count, marks[next_mark] - first);
        render(TrackBuffer, first, count);
        first += count;
    }
    for (uint32_t n = 0; n < end; ++n)
        if (std::memcmp(&expected[n], &TrackBuffer[n], sizeof(StereoFrame)) != 0) return n;
    return end;
}

class BlockPath : public ::testing::TestWithParam<uint32_t> {};

// Through the pluck's first opening and both jumps of the master gate.
TEST_P(BlockPath, EqualsFramePathThroughTheMasterGate) {
    const Landmarks& l = landmarks();
    ASSERT_EQ(l.gate_jumps.size(), 2u);
    ASSERT_GE(l.pluck_gate.size(), 2u);
    std::vector<uint32_t> marks = {l.pluck_gate[0], l.gate_jumps[0], l.gate_jumps[1]};
    EXPECT_EQ(first_difference(GetParam(), marks), marks.back() + 3000);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockPath, ::testing::Values(1u, 7u, 64u, 4096u));

// The pluck's gate closing and opening again, deep into the track (larger
// blocks only: the render is long).
TEST(BlockPathLong, EqualsFramePathWhereThePlucksGateCloses) {
    const Landmarks& l = landmarks();
    ASSERT_GE(l.pluck_gate.size(), 2u);
    std::vector<uint32_t> marks = l.pluck_gate;
    EXPECT_EQ(first_difference(64, marks), marks.back() + 3000);
}

// The two-thread path: the voices split between this thread and a helper,
// each block's mix beside the next block's voices.
class TwoThreads : public ::testing::TestWithParam<uint32_t> {
  protected:
    void SetUp() override {
        if (lf::render_threads_start() < 2) GTEST_SKIP() << "one core: no helper thread";
    }
    void TearDown() override { lf::render_threads_stop(); }
};

TEST_P(TwoThreads, EqualsFramePathThroughTheMasterGate) {
    const Landmarks& l = landmarks();
    std::vector<uint32_t> marks = {l.pluck_gate[0], l.gate_jumps[0]};
    // A shorter render where each frame is slow (`make test-tsan`).
    if (const char* end = std::getenv("LUMENFROST_SHORT_RENDER"))
        marks = {l.pluck_gate[0], static_cast<uint32_t>(std::atoi(end))};
    EXPECT_EQ(first_difference(GetParam(), marks, lf::render_block_threads), marks.back() + 3000);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TwoThreads, ::testing::Values(7u, 4096u));

}  // namespace
