// The render thread: every frame of the track, in order, into TrackBuffer,
// publishing its progress after each one.
#pragma once

#include <atomic>
#include <cstdint>

namespace player {

// Frames completely rendered. Written only by the render thread, with release
// after each frame's samples are stored; read with acquire.
extern std::atomic<uint32_t> RenderProgress;

// Renders frames 0 .. TRACK_FRAMES - 1 in the engine's floating-point mode.
void render_thread();

// Starts render_thread on its own thread, raised to the highest scheduling
// priority this process is granted, and leaves it running: the process ends
// it when playback ends.
void start_render_thread();

}  // namespace player
