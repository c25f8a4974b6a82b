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

// What the engine's code relies on whatever the profile: the voice gates
// (lf::VOICE_GATES), and the ranges below.

// Playable notes and velocities: the note numbers the frequency formula and
// the voices' delay lines take, velocities up to twice full level.
constexpr int PLAYABLE_NOTE_LOW = 0, PLAYABLE_NOTE_HIGH = 127;
constexpr int PLAYABLE_VELOCITY_LOW = 0, PLAYABLE_VELOCITY_HIGH = 127;

// The values the engine reads from a curve: its row's range widened to 0..1,
// the span every gain, mix and knob the curves drive is built for (the same
// bound the build's content check holds the packed score to).
int32_t engine_value_low(int curve);   // in 1/128
int32_t engine_value_high(int curve);  // in 1/128

// The F# major scale the resonator banks are tuned to, as pitch classes
// (C = 0): F#, G#, A#, B, C#, D#, E#.
constexpr bool in_bank_key(int note) {
    const int pc = ((note % 12) + 12) % 12;
    return pc == 6 || pc == 8 || pc == 10 || pc == 11 || pc == 1 || pc == 3 || pc == 5;
}
// The pitched tracks that sound through a bank: the chords and plucks on the
// front bus (resonator_bank_a) and the bass (resonator_bank_b).
constexpr bool through_banks(int track) {
    return (track >= lf::TRACK_CHORD1 && track <= lf::TRACK_PLUCK2) || track == lf::TRACK_BASS ||
           track == lf::TRACK_SUB;
}

// Looks a track or curve up by number or name; -1 when there is none.
int find_track(const std::string& word);
int find_curve(const std::string& word);

}  // namespace score
