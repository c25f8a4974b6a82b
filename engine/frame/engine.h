// The engine's two entry points, as the front ends see them.
//
// engine_startup builds every table, sample, score array and unit object once;
// render_frame then computes the frames 0, 1, 2, ... TRACK_FRAMES - 1 strictly
// in order on one thread, each call storing four floats at the frame's
// position (the frame itself and the slot of the next one, which the next call
// overwrites). This header needs no special instruction set: the programs'
// entry code includes it before they have checked the processor.
#pragma once

#include <cstdint>

constexpr uint32_t SAMPLE_RATE = 44100;
constexpr uint32_t TRACK_FRAMES = 6093150;         // 138.16667 s
constexpr uint32_t TRACK_BUFFER_FRAMES = 8474550;  // room for the track and its overhang

struct StereoFrame {
    float left;
    float right;
};

// The whole track in memory; zero at start, so unrendered frames play as silence.
extern StereoFrame TrackBuffer[TRACK_BUFFER_FRAMES];

// Sets the calling thread's floating-point mode (flush-to-zero, rounding toward
// negative infinity), then runs the start-up sequence. Call once, before any frame.
void engine_startup();

// Puts the calling thread into the engine's floating-point mode. A thread that
// renders but did not run engine_startup calls this first.
void engine_set_fp_mode();

// Renders frame `index` into buffer[index] (and writes lanes 2 and 3 into the
// slot of index + 1).
void render_frame(StereoFrame* buffer, uint32_t index);

// Renders the frames first .. first + count - 1 into buffer, the same bits as
// render_frame on each of them in order, stage by stage over blocks of frames.
// Precondition as for render_frame: every frame below `first` rendered once.
void render_block(StereoFrame* buffer, uint32_t first, uint32_t count);
