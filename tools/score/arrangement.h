// The arrangement the engine is built for: how many notes each list holds and
// which notes, velocities and times each track keeps, how many breakpoints
// each curve holds and which values it spans, and the curves whose every
// breakpoint is fixed (the main-bus gate, the transition's shifter and width
// moves, the rate-reduced outro). The packer holds a score to these rows.
#pragma once

#include <cstdint>

#include "tools/score/score.h"

namespace score {

struct TrackRow {
    const char* name;  // the name a `track` header uses
    int count;         // notes in the list
    int note_low, note_high;
    int velocity_low, velocity_high;
    double first_on_s;      // first note-on
    double last_off_s;      // last note-off
    bool off_grid_allowed;  // may hold a few times off the 8-tick grid
};

struct FixedPoint {
    double time_s;
    double value;  // in the curve's own unit (percent for the width)
    double shape;
};

struct CurveRow {
    const char* name;
    int count;
    bool driven;       // read by a voice or the mix
    bool spans_range;  // min and max of the values must be exactly value_low, value_high
    double value_low, value_high;  // in 1/1 units; bounds for every breakpoint
    const FixedPoint* fixed;       // null, or `count` breakpoints that must match exactly
};

extern const TrackRow TRACK_ROWS[TRACK_COUNT];
extern const CurveRow CURVE_ROWS[CURVE_COUNT];

// Times and values of the rows converted the way the packed data holds them:
// ticks = round(seconds x 192), units = round(value x 128).
int32_t seconds_to_ticks(double seconds);
int32_t value_to_units(double value);

// The grid every note-on and note-off lies on, except a few in the tracks
// that allow it.
constexpr int NOTE_GRID_TICKS = 8;

// Looks a track or curve up by number or name; -1 when there is none.
int find_track(const std::string& word);
int find_curve(const std::string& word);

}  // namespace score
