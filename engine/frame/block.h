// The block path: the same frames as render_frame, computed stage by stage
// over a block of frames, so that one voice's code and rings stay in the
// caches while it works through the block.
//
// What the frame order fixes, and how the block keeps it:
// - the score walk per frame: the cursors and curves are independent of each
//   other, and each is read by one stage only (its voice, or the mix), so each
//   stage moves its own cursors and curves to every frame's time just before
//   it computes that frame; the frequency lanes a voice rewrites stay in its
//   own cursors until its next frame's step rewrites them;
// - the shared noise: draw k is the hash of counter k·step, and which draws a
//   frame makes depends only on track 7's gate, so the block's plan walks a
//   copy of track 7's cursor and gives each noise voice the counter of its
//   draw on every frame;
// - the mix and master chain run after all voices of the block, frame by
//   frame in the stage order, on the voices' stored outputs.
#pragma once

#include <cstdint>

#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/vec4.h"

struct StereoFrame;

namespace lf {

// The most frames one pass of the stages covers; longer calls take several.
constexpr uint32_t BLOCK_FRAMES = 128;

// The sixteen voices in the stage order.
enum VoiceStage : int {
    VOICE_TRACK0,
    VOICE_NOISE_SWEEP,
    VOICE_TRACK1,
    VOICE_TRACK7,
    VOICE_TRACK9,
    VOICE_TRACK10,
    VOICE_TRACK11,
    VOICE_TRACK14,
    VOICE_TRACK12,
    VOICE_TRACK13,
    VOICE_TRACK16,
    VOICE_TRACK17,
    VOICE_TRACK19,
    VOICE_TRACK21,
    VOICE_TRACK22,
    VOICE_TRACK23,
    VOICE_COUNT
};

// The four voices that draw noise, in their order within a frame.
enum NoiseDraw : int { DRAW_SWEEP, DRAW_PLUCK, DRAW_HATS, DRAW_BASS, DRAW_COUNT };

// The plan of a block: the counter each noise voice draws at on each frame
// (the pluck's only matters on frames where its gate is open).
struct NoisePlan {
    Int4 counter[DRAW_COUNT][BLOCK_FRAMES];
};

// Two blocks in flight: while the mix works on one, the voices fill the other.
constexpr int BLOCK_SLOTS = 2;

// What the block path keeps besides the voices' and the mix's own records:
// the walk of track 7's gate for the noise plan, and per slot one block of
// plan and voice outputs.
struct BlockState {
    EventCursor pluck_gate;
    NoisePlan plan[BLOCK_SLOTS];
    Vec4 voice_out[BLOCK_SLOTS][VOICE_COUNT][BLOCK_FRAMES];
};

// Lists each stage's curves in its own walk and starts the gate's cursor where
// track 7's starts. Start-up runs it after the score is built.
void block_setup();

// The stages of one block, for the render loops and the benchmarks: count <=
// BLOCK_FRAMES, and the block's plan and voice outputs in `slot`. Blocks are
// planned in frame order; a block's voices run after its plan, its mix after
// its voices and after the mix of the block before. Voices of one block may
// run on different threads: each touches only its own records and its slot's
// outputs.
void plan_noise(int slot, uint32_t first, uint32_t count);
void run_voice_block(VoiceStage voice, int slot, uint32_t first, uint32_t count);
void mix_block(int slot, StereoFrame* buffer, uint32_t first, uint32_t count);

}  // namespace lf
