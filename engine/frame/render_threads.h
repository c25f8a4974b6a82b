// The block path on two threads.
//
// The calling thread plans each block's noise and posts the block; the voices
// are then taken one at a time, heaviest first, by whichever of the two
// threads is free: the helper starts on them at once, the caller first mixes
// the block before (a two-stage pipeline: the mix and master chain overlap
// the next block's voices) and then takes what is left. Where the helper has
// lost its core to another program, the caller simply does all the voices.
//
// Real-time rules on the calling thread: no allocation and no lock; it waits
// only for a voice the helper is in the middle of, by spinning on an atomic
// counter (with a yield now and then). The helper spins a little between
// blocks and then sleeps on the post counter (a futex), so that it costs
// nothing once rendering stops.
#pragma once

#include <cstdint>

struct StereoFrame;

namespace lf {

// Starts the helper thread, in the engine's floating-point mode, where the
// machine lets this process run on more than one core; otherwise (and if the
// thread cannot be made) rendering stays on the calling thread. Call after
// engine_startup and before the first render_block_threads; once is enough.
// Returns the number of threads that render (1 or 2).
int render_threads_start();

// Stops and joins the helper (a render_block_threads after this runs on one
// thread).
void render_threads_stop();

// The same frames and bits as render_block(buffer, first, count).
void render_block_threads(StereoFrame* buffer, uint32_t first, uint32_t count);

// Voice blocks computed by each thread since the helper started.
struct RenderThreadCounts {
    uint64_t caller;
    uint64_t helper;
};
RenderThreadCounts render_threads_counts();

}  // namespace lf
