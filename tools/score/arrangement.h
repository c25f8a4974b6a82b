// The arrangement the packer holds a score to is the engine's own table
// (engine/frame/arrangement.h): the same names, counts, ranges and fixed
// curves. This header adds what only the packer needs: unit conversions and
// look-up by name.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/arrangement.h"
#include "tools/score/score.h"

namespace score {

using lf::CURVE_ROWS;
using lf::CurveRow;
using lf::FixedPoint;
using lf::TRACK_ROWS;
using lf::TrackRow;

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
