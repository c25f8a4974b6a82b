// The rows of the arrangement, as the voices and the mix expect them.
#include "tools/score/arrangement.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace score {

// clang-format off
const TrackRow TRACK_ROWS[TRACK_COUNT] = {
    // name        count  notes    velocity  first on  last off  off grid
    {"break",          6, 34, 34,  64, 64,   88.333,   89.833,  false},
    {"chord1",        35, 39, 75,  45, 64,   29.833,   98.333,  false},
    {"chord2",        35, 42, 85,  45, 54,   29.833,   98.333,  false},
    {"chord3",        26, 44, 82,  47, 54,   29.833,   98.333,  false},
    {"chord4",        26, 39, 85,  47, 64,   29.833,   98.333,  false},
    {"chord5",        16, 58, 80,  47, 54,   29.833,   42.667,  false},
    {"chord6",         8, 77, 80,  47, 47,   29.833,   42.667,  false},
    {"pluck",        260, 39, 94,  34, 64,    0.167,  130.583,  false},
    {"pluck2",         9, 75, 80,  47, 48,   29.833,  125.667,  false},
    {"ride",         187, 70, 78,  10, 64,   27.339,  130.833,  true},
    {"hats",         279, 58, 90,   9, 53,    0.167,  122.833,  false},
    {"kick",         288, 61, 73,   3, 64,    0.167,  125.333,  false},
    {"crash",         85, 63, 68,  17, 64,    0.167,  113.000,  false},
    {"snare",        278, 59, 77,   9, 64,    0.000,  125.500,  true},
    {"bass",         343,  8, 56,   1, 64,    5.500,  125.422,  true},
    {"sub",            2, 15, 15,  46, 46,   82.667,   93.500,  false},
    {"arp",          190, 54, 94,  51, 57,    3.167,   76.750,  false},
    {"glide",        141, 51, 87,  18, 42,   26.667,  125.667,  false},
    {"glide2",         2, 63, 66,  38, 39,   96.167,   96.833,  false},
    {"lead",         272, 49, 85,  23, 64,    5.500,  128.167,  true},
    {"lead2",          5, 63, 70,  54, 55,   56.500,   58.542,  false},
    {"solo",          13, 61, 70,  64, 64,   24.167,   26.542,  false},
    {"bigcrash",       1, 65, 65,  64, 64,   79.500,   80.167,  false},
    {"blips",          3, 81, 93,  64, 64,   97.833,   98.667,  false},
};

// The main-bus gate: open, except a hard cut of 2.5 s before the drop.
static const FixedPoint GATE[] = {
    {-2.5, 1, 0}, {24.1667, 1, 0}, {24.1667, 0, 0}, {26.6667, 0, 0}, {26.6667, 1, 0}};
// The transition's frequency shift: rises over a sixteenth, holds, snaps off.
static const FixedPoint SHIFTER[] = {
    {0, 0, 0}, {78.8333, 0, 0}, {79.1667, 1, 0}, {80.1667, 1, 0}, {80.1667, 0, 0}};
// Stereo width in percent: two curved falls to mono and back, the second
// overshooting to 126 % on the downbeat of the second half.
static const FixedPoint WIDTH[] = {
    {0, 100, 0},       {21.5, 100, 0.992},   {24.1667, 0, 0}, {26.6667, 100, 0},
    {77.5, 100, -1},   {78.8333, 0, -0.8125}, {80.0, 126, 0},  {80.1667, 100, 0}};
// The rate reducer of the outro: full rate, then stepping down to 172 Hz.
static const FixedPoint RATE[] = {
    {-2.5, 1, 0},       {126.8333, 1, 0},   {127.0, 0.8984, 0.086}, {128.5, 0.625, 0},
    {129.0, 0.5859, 0}, {130.5, 0.4688, 0}, {131.1667, 0, 0}};

const CurveRow CURVE_ROWS[CURVE_COUNT] = {
    // name                count driven spans  low    high   fixed
    {"gate",                  5, true,  true,  0,     1,     GATE},
    {"reverb_send",          18, true,  true,  0,     0.51,  nullptr},
    {"reverb_feedback",       8, true,  true,  0,     1,     nullptr},
    {"bus_highpass",          8, true,  true,  0,     0.60,  nullptr},
    {"bus_lowpass",           4, true,  true,  0.46,  1,     nullptr},
    {"shifter",               5, true,  true,  0,     1,     SHIFTER},
    {"width",                 8, true,  true,  0,     126,   WIDTH},
    {"rate",                  7, true,  true,  0,     1,     RATE},
    {"riser_level",          22, true,  true,  0,     2.14,  nullptr},
    {"riser_cutoff",         16, true,  true,  0,     0.82,  nullptr},
    {"chord_shift_mix",       5, true,  true,  0,     1,     nullptr},
    {"chord_shift_delay",     6, true,  true,  0.38,  0.63,  nullptr},
    {"spare12",               3, false, false, -1,    1,     nullptr},
    {"hat_decay",            34, true,  true,  0,     1,     nullptr},
    {"hat_width",             4, true,  true,  0.16,  1,     nullptr},
    {"spare15",               3, false, false, -1,    1,     nullptr},
    {"spare16",               5, false, false, -1,    1,     nullptr},
    {"bass_cutoff",          32, true,  false, 0,     1,     nullptr},
    {"bass_noise",           18, true,  false, 0,     1,     nullptr},
    {"bass_shelf",           14, true,  false, 0,     1,     nullptr},
    {"bass_decay",           11, true,  false, 0,     1,     nullptr},
    {"spare21",              10, false, false, -1,    1,     nullptr},
    {"bass_bank",            18, true,  false, 0,     1,     nullptr},
    {"spare23",              11, false, false, -1,    1,     nullptr},
    {"bass_shift_hz",        22, true,  false, 0,     4,     nullptr},
    {"bass_shift_delay",     15, true,  false, 0,     2,     nullptr},
    {"bass_shift_mix",       11, true,  false, 0,     1,     nullptr},
    {"bass_lowpass",         21, true,  false, 0,     1,     nullptr},
    {"bass_octaves",         93, true,  false, 0,     1.5,   nullptr},
    {"spare29",              13, false, false, -1,    1,     nullptr},
    {"spare30",               5, false, false, -1,    1,     nullptr},
    {"glide_reverb_feedback", 4, true,  true,  0,     0.98,  nullptr},
    {"glide_reverb_mix",      5, true,  true,  0,     0.17,  nullptr},
    {"spare33",              13, false, false, -1,    1,     nullptr},
    {"spare34",               6, false, false, -1,    1,     nullptr},
    {"lead_reverb_feedback",  5, true,  true,  0.83,  0.97,  nullptr},
    {"lead_transpose",       33, true,  true,  -1,    0,     nullptr},
};
// clang-format on

int32_t seconds_to_ticks(double seconds) {
    return static_cast<int32_t>(std::lround(seconds * TICKS_PER_SECOND));
}

int32_t value_to_units(double value) {
    return static_cast<int32_t>(std::lround(value * UNITS_PER_ONE));
}

static int find_in(const std::string& word, int count, const char* (*name_of)(int)) {
    if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos &&
        word.size() <= 3) {
        int n = std::atoi(word.c_str());
        return n < count ? n : -1;
    }
    for (int i = 0; i < count; ++i) {
        if (word == name_of(i)) return i;
    }
    return -1;
}

int find_track(const std::string& word) {
    return find_in(word, TRACK_COUNT, [](int i) { return TRACK_ROWS[i].name; });
}

int find_curve(const std::string& word) {
    return find_in(word, CURVE_COUNT, [](int i) { return CURVE_ROWS[i].name; });
}

}  // namespace score
