// The block path on two threads.
//
// The calling thread plans each block's noise, hands one share of the block's
// voices to a helper thread, computes the other share itself and then, while
// the helper finishes, mixes the block before: a two-stage pipeline whose
// second stage (the mix and master chain) overlaps the next block's voices.
// The shares are fixed, chosen from the voices' measured costs.
//
// Real-time rules on the calling thread: no allocation, no lock, no system
// call while the helper is awake; it waits for the helper by spinning on an
// atomic counter. The helper spins a little between blocks and then sleeps on
// that counter (a futex), so that it costs nothing once rendering stops.
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

}  // namespace lf
