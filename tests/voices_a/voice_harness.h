// What the voice tests share: the song clock of render_frame, small note lists
// with their sentinels, writable drum samples, and a fixture that puts every
// state these voices touch back where start-up left it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "engine/dsp/note_cursor.h"
#include "engine/dsp/math.h"
#include "tests/engine_mode.h"

namespace voices_a {

using VoiceFn = lf::Vec4 (*)();

// Song time of frame i, computed as render_frame does (engine mode).
using lf::test::frame_time;

// A note list between the leading sentinel {0, 0, −16384, −16384} and the
// trailing one {1, 0, 16384, 16384}.
struct NoteList {
    std::vector<lf::NoteEvent> events;
    NoteList(std::initializer_list<lf::NoteEvent> notes);
};

// Points cursor `track` at the list, with a fresh level slot and state.
void point_cursor(int track, NoteList& list);

// Moves the given cursors to frame i's time, as the score walk does.
void advance(std::initializer_list<int> tracks, uint32_t frame);

// Overwrites drum sample n (1..7) over its whole decoded length.
void fill_sample(int n, const std::function<float(uint32_t)>& value);

// Noise counter after `draws` more draws from `from`, by plain integer lanes.
lf::Int4 counter_after(lf::Int4 from, uint32_t draws);
bool same_lanes(lf::Int4 a, lf::Int4 b);

// True when lanes 0 to 3 of a and b compare equal (so −0 equals +0).
bool equal_lanes(lf::Vec4 a, lf::Vec4 b);

// Mean power of x at frequency f (Hz), Hann-windowed Goertzel over blocks of
// 1024 frames, averaged: a spectrum estimate for noise.
double band_power(const std::vector<float>& x, double f);

// Start-up runs once per process; every test starts from its result: players,
// the pluck's phaser, the noise generator, cursors, curves and samples are put
// back, and the voices' own state records are zeroed.
class VoiceTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_engine_state(); }
    void TearDown() override { reset_engine_state(); }

  public:
    static void reset_engine_state();
};

}  // namespace voices_a

namespace voices_a {

// Magnitude response at f (Hz) of the audio-EQ cookbook section of the given
// kind, designed and evaluated in double precision with the exact sine and
// cosine: an independent reference for the fixed filter chains.
enum class Section { HIGHPASS, LOWPASS, PEAKING, NOTCH };
double cookbook_gain(Section kind, double f0, double q, double a, double f);

// Amplitude of a steady sine in x[begin, end): sqrt(2 · mean square).
double sine_amplitude(const std::vector<float>& x, size_t begin, size_t end);

}  // namespace voices_a
