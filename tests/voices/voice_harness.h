// What the voice tests share: start-up once per program, a fixture that puts
// the whole engine state (and the drum samples) back where start-up left it,
// note lists of our own on the cursors the voices read, curve values set by
// hand, byte snapshots of a voice's record, and a few measurements.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/dsp/cascade.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"
#include "engine/dsp/vec4.h"
#include "engine/frame/engine_state.h"
#include "tests/cookbook.h"
#include "tests/engine_mode.h"

namespace lf::voices_test {

using VoiceFn = Vec4 (*)();

// Song time of frame i, computed as render_frame does (engine mode).
using test::frame_time;

// Byte copies of objects (a voice's record, a unit in it), written back on
// restore().
class Snapshot {
  public:
    template <class T>
    void add(T& object) {
        Copy c{reinterpret_cast<unsigned char*>(&object), sizeof(T), nullptr};
        c.bytes.reset(new unsigned char[sizeof(T)]);
        std::memcpy(c.bytes.get(), &object, sizeof(T));
        copies_.push_back(std::move(c));
    }
    void restore() const {
        for (const Copy& c : copies_) std::memcpy(c.address, c.bytes.get(), c.size);
    }
    // True when every object still holds the bytes it had when added.
    bool unchanged() const {
        for (const Copy& c : copies_)
            if (std::memcmp(c.address, c.bytes.get(), c.size) != 0) return false;
        return true;
    }

  private:
    struct Copy {
        unsigned char* address;
        size_t size;
        std::unique_ptr<unsigned char[]> bytes;
    };
    std::vector<Copy> copies_;
};

// A note track of our own: leading sentinel {0, 0, −16384, −16384}, the notes,
// trailing sentinel {1, 0, 16384, 16384}.
class NoteList {
  public:
    NoteList(std::initializer_list<NoteEvent> notes);
    const NoteEvent* data() const { return events_.data(); }
    // A track with no notes at all: its cursor stays on the leading sentinel.
    static const NoteList& none();

  private:
    std::vector<NoteEvent> events_;
};

// Points cursor `track` at `list` (which outlives its use), with a fresh level
// slot and state.
void point_cursor(int track, const NoteList& list);
// Moves the given cursors to frame i's time, as the score walk does.
void advance_tracks(std::initializer_list<int> tracks, uint32_t frame);

// Frames [0, frames) of a voice, cursor `track` moved to each frame's time
// before it.
template <class Voice>
std::vector<Vec4> run_track(Voice voice, int track, uint32_t frames) {
    std::vector<Vec4> out(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        advance_tracks({track}, i);
        out[i] = voice();
    }
    return out;
}

// Overwrites drum sample n (1..7) over its whole decoded length.
void fill_sample(int n, const std::function<float(uint32_t)>& value);

// Noise counter after `draws` more draws from `from`, by plain integer lanes.
Int4 counter_after(Int4 from, uint32_t draws);
bool same_lanes(Int4 a, Int4 b);

// Lane-wise equality; +0 and −0 count as equal.
inline bool equal_lanes(Vec4 a, Vec4 b) {
    for (int i = 0; i < 4; ++i)
        if (!(a.lane(i) == b.lane(i))) return false;
    return true;
}
inline bool is_zero(Vec4 a) {
    return equal_lanes(a, Vec4::zero());
}

// How many frames of two renders differ in value.
inline int differing(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
    int count = 0;
    for (size_t n = 0; n < a.size() && n < b.size(); ++n) count += !equal_lanes(a[n], b[n]);
    return count;
}

// A unit behind a wet/dry mix, rendered clean and then with its state
// scrambled: at mix 0 no frame may change, at mix 1 more than half of them.
inline void expect_heard_only_through_mix(float mix, const std::vector<Vec4>& clean,
                                          const std::vector<Vec4>& disturbed) {
    const int changed = differing(clean, disturbed);
    if (mix == 0.0f)
        EXPECT_EQ(changed, 0);
    else
        EXPECT_GT(changed, static_cast<int>(clean.size()) / 2);
}

// Fill a unit's memories with finite nonsense, so that any leak of the unit
// into a voice's output shows. Counts and indices stay as they are.
void disturb(BandShifter& unit);
void disturb(ReverbUnit& unit);
void disturb(ResonatorBank& bank);

// Mean power of x at frequency f (Hz), Hann-windowed Goertzel over blocks of
// 1024 frames, averaged: a spectrum estimate for noise.
double band_power(const std::vector<float>& x, double f);

// Magnitude response at f (Hz) of the cookbook section of the given kind,
// centred on f0 (an independent reference for the fixed filter chains).
inline double cookbook_gain(test::Design kind, double f0, double q, double a, double f) {
    return std::abs(test::response(test::cookbook_at(kind, f0, q, a), f));
}

// Amplitude of a steady sine in x[begin, end): sqrt(2 · mean square).
double sine_amplitude(const std::vector<float>& x, size_t begin, size_t end);

// Every test starts from the state start-up left (voice records, units,
// noise generator, cursors, curves, drum samples) and leaves it so.
class VoiceTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_engine_state(); }
    void TearDown() override { reset_engine_state(); }

    // Points cursor `track` at `list` and lets advance() move it.
    void attach(int track, const NoteList& list);
    // Moves the attached cursors to time t, highest track first, as the score
    // walk does.
    void advance(float t);
    // Frames [first, first + frames) of a voice, the attached cursors moved
    // to each frame's time before it.
    template <class Voice>
    std::vector<Vec4> render_voice(Voice voice, int frames, int first = 0) {
        std::vector<Vec4> out;
        for (int n = first; n < first + frames; ++n) {
            advance(frame_time(n));
            out.push_back(voice());
        }
        return out;
    }

  public:
    static void set_curve(int curve, float value);
    static void reset_engine_state();

  private:
    std::vector<int> tracks_;
};

}  // namespace lf::voices_test
