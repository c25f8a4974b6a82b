// Shared by the voice tests: start-up once per program, note lists of our own
// on the cursors the voices read, curve values set by hand, and snapshots that
// put every object a voice touches back where start-up left it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/dsp/cascade.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/math.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"
#include "engine/dsp/vec4.h"
#include "tests/engine_mode.h"

namespace lf::voices_test {

// Byte copies of objects, written back on restore().
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

// A note track of our own: leading sentinel, the notes, trailing sentinel.
class NoteList {
  public:
    NoteList(std::initializer_list<NoteEvent> notes) {
        events_.push_back({0.0f, 0.0f, -16384.0f, -16384.0f});
        events_.insert(events_.end(), notes);
        events_.push_back({1.0f, 0.0f, 16384.0f, 16384.0f});
    }
    const NoteEvent* data() const { return events_.data(); }
    // A track with no notes at all: its cursor stays on the leading sentinel.
    static const NoteList& none() {
        static const NoteList empty({});
        return empty;
    }

  private:
    std::vector<NoteEvent> events_;
};

// Every test starts from the state start-up left: the voices' own aggregates
// zeroed, the shared units they use restored, cursors on lists of the test.
class VoiceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Points cursor `track` at `list` (which outlives the test) from its start.
    void attach(int track, const NoteList& list);
    // Moves the attached cursors to time t, highest track first, as the score
    // walk does.
    void advance(float t);
    void set_curve(int curve, float value);

  private:
    std::vector<int> tracks_;
};

using test::frame_time;

// Fill a unit's memories with finite nonsense, so that any leak of the unit
// into a voice's output shows. Counts and indices stay as they are.
void disturb(BandShifter& unit);
void disturb(ReverbUnit& unit);
void disturb(ResonatorBank& bank);

// Lane-wise equality; +0 and -0 count as equal.
inline bool same_value(Vec4 a, Vec4 b) {
    for (int i = 0; i < 4; ++i)
        if (!(a.lane(i) == b.lane(i))) return false;
    return true;
}

inline bool is_zero(Vec4 a) {
    return same_value(a, Vec4::zero());
}

// How many frames of two renders differ in value.
inline int differing(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
    int count = 0;
    for (size_t n = 0; n < a.size() && n < b.size(); ++n) count += !same_value(a[n], b[n]);
    return count;
}

}  // namespace lf::voices_test
