// What the score means to the rest of the engine: the time grid, which voice
// renders which note tracks, and which parameter each automation curve drives.
#pragma once

#include <cstdint>

#include "engine/startup/score.h"

namespace lf {

constexpr int32_t TICKS_PER_SECOND = 192;
constexpr int32_t TICKS_PER_BEAT = 64;  // 180 BPM
constexpr int32_t TICKS_PER_BAR = 256;
constexpr uint32_t FRAMES_PER_BEAT = 14700;
constexpr uint32_t FRAMES_PER_BAR = 58800;

// Note tracks (cursor numbers).
enum Track : int {
    TRACK_BREAK = 0,
    TRACK_CHORD_FIRST = 1,  // 1 to 6
    TRACK_PLUCK = 7,        // 7 and 8
    TRACK_RIDE = 9,
    TRACK_HATS = 10,
    TRACK_KICK = 11,
    TRACK_CRASH = 12,
    TRACK_SNARE = 13,
    TRACK_BASS = 14,  // 14 and 15
    TRACK_ARP = 16,
    TRACK_GLIDE = 17,  // 17 and 18
    TRACK_LEAD = 19,   // 19 and 20
    TRACK_SOLO = 21,
    TRACK_CRASH_REVERB = 22,
    TRACK_BLIPS = 23,
};

// Automation curves.
enum Curve : int {
    CURVE_GATE = 0,
    CURVE_REVERB_MIX = 1,
    CURVE_REVERB_FEEDBACK = 2,
    CURVE_HIGHPASS = 3,
    CURVE_LOWPASS = 4,
    CURVE_SHIFTER_WET = 5,
    CURVE_WIDTH = 6,
    CURVE_RATE = 7,
    CURVE_SWEEP_LEVEL = 8,
    CURVE_SWEEP_CUTOFF = 9,
    CURVE_CHORD_SHIFT_MIX = 10,
    CURVE_CHORD_SHIFT_DELAY = 11,
    CURVE_HATS_DECAY = 13,
    CURVE_HATS_WIDTH = 14,
    CURVE_BASS_CUTOFF = 17,
    CURVE_BASS_NOISE = 18,
    CURVE_BASS_SHELF = 19,
    CURVE_BASS_DECAY = 20,
    CURVE_BASS_BANK_MIX = 22,
    CURVE_BASS_SHIFT_HZ = 24,
    CURVE_BASS_SHIFT_DELAY = 25,
    CURVE_BASS_SHIFT_MIX = 26,
    CURVE_BASS_OUT_CUTOFF = 27,
    CURVE_BASS_TRANSPOSE = 28,
    CURVE_GLIDE_REVERB_FEEDBACK = 31,
    CURVE_GLIDE_REVERB_MIX = 32,
    CURVE_LEAD_REVERB_FEEDBACK = 35,
    CURVE_LEAD_TRANSPOSE = 36,
};

// The 28 curves that something reads; the score walk evaluates these only,
// from the highest number down.
constexpr int CURVES_IN_USE[] = {36, 35, 32, 31, 28, 27, 26, 25, 24, 22, 20, 19, 18, 17,
                                 14, 13, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0};
static_assert(sizeof(CURVES_IN_USE) / sizeof(int) == 28);

// The value of curve c this frame (all lanes equal).
inline Vec4 curve_value(int c) { return curve_envs[c].out; }

}  // namespace lf
