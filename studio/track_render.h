// Rendering for the studio: the engine runs from frame 0 strictly in order, as
// it always does, and the studio keeps what it asked for: the frames of a
// section, or the signals inside the frame (each voice as it enters the mix,
// the buses) for stems. Built with the engine's instruction sets: call only
// after the processor check. The engine's floating-point mode is set around
// its calls and the caller's mode is restored after them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/engine.h"

namespace studio {

class Progress {
  public:
    virtual void update(uint32_t done, uint32_t total) = 0;

  protected:
    ~Progress() = default;
};

// Builds the engine's tables and instruments; once per process.
void start_engine();

// Renders frames 0 .. to - 1 into TrackBuffer.
void render_track(uint32_t to, Progress* progress);

// The signals a stem can hold, in the frame's order: sixteen voices, then the
// front bus after its resonator bank, the main bus before the master chain,
// the master chain's output and the final output.
constexpr int SIGNAL_COUNT = 20;
constexpr int OUTPUT_SIGNAL = SIGNAL_COUNT - 1;
// File names without extension: "14-bass", "bus-front", "output", ...
std::string signal_name(int signal);

// Receives the signals of frames first .. first + count - 1: signals[s][i].
class SignalSink {
  public:
    virtual void take(uint32_t first, uint32_t count, const StereoFrame* const* signals) = 0;

  protected:
    ~SignalSink() = default;
};

// Renders frames 0 .. to - 1 (those before `from` by render_frame) and hands
// the signals of from .. to - 1 to `sink` in blocks.
void render_signals(uint32_t from, uint32_t to, SignalSink& sink, Progress* progress);

}  // namespace studio
