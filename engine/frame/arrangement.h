// What the score means to the rest of the system: the time grid, which voice
// renders which note tracks, which parameter each automation curve drives, and
// the shape of every list and curve (how many notes or breakpoints, which
// notes, velocities, values and times). The engine reads the numbers and the
// curves in use; the score packer holds a score to the same rows, so a track or
// a curve has one name everywhere: CURVE_SWEEP_LEVEL is "sweep_level".
// Nothing here depends on the engine's vector types.
#pragma once

#include <cstdint>
#include <iterator>

namespace lf {

constexpr int32_t TICKS_PER_SECOND = 192;
constexpr int32_t TICKS_PER_BEAT = 64;  // 180 BPM
constexpr int32_t TICKS_PER_BAR = 256;
constexpr uint32_t FRAMES_PER_BEAT = 14700;
constexpr uint32_t FRAMES_PER_BAR = 58800;

constexpr int NOTE_LIST_COUNT = 24;
constexpr int CURVE_COUNT = 37;

// Note tracks (cursor numbers). A voice is named by its first track.
enum Track : int {
    TRACK_BREAK,
    TRACK_CHORD1,  // 1 to 6: one chord voice
    TRACK_CHORD2,
    TRACK_CHORD3,
    TRACK_CHORD4,
    TRACK_CHORD5,
    TRACK_CHORD6,
    TRACK_PLUCK,  // 7 and 8
    TRACK_PLUCK2,
    TRACK_RIDE,
    TRACK_HATS,
    TRACK_KICK,
    TRACK_CRASH,
    TRACK_SNARE,
    TRACK_BASS,  // 14 and 15
    TRACK_SUB,
    TRACK_ARP,
    TRACK_GLIDE,  // 17 and 18
    TRACK_GLIDE2,
    TRACK_LEAD,  // 19 and 20
    TRACK_LEAD2,
    TRACK_SOLO,
    TRACK_CRASH_REVERB,
    TRACK_BLIPS,
};

// Gates: the chord, pluck and lead voices fall silent and freeze once their
// first track's last note has been released this long (the voices skip all
// their work beyond it), so a note of one of their other tracks that starts
// later than that is never heard.
struct VoiceGate {
    int gate_track;
    int first_track, last_track;  // the tracks that sound only through the gate
    float open_s;                 // after the gate track's release
};
inline constexpr VoiceGate CHORD_GATE = {TRACK_CHORD1, TRACK_CHORD2, TRACK_CHORD6, 5.0f};
inline constexpr VoiceGate PLUCK_GATE = {TRACK_PLUCK, TRACK_PLUCK2, TRACK_PLUCK2, 5.0f};
inline constexpr VoiceGate LEAD_GATE = {TRACK_LEAD, TRACK_LEAD2, TRACK_LEAD2, 7.0f};
inline constexpr VoiceGate VOICE_GATES[] = {CHORD_GATE, PLUCK_GATE, LEAD_GATE};

// Automation curves. The spares hold breakpoints that drive nothing.
enum Curve : int {
    CURVE_GATE,
    CURVE_REVERB_MIX,
    CURVE_REVERB_FEEDBACK,
    CURVE_BUS_HIGHPASS,
    CURVE_BUS_LOWPASS,
    CURVE_SHIFTER_WET,
    CURVE_WIDTH,
    CURVE_RATE,
    CURVE_SWEEP_LEVEL,
    CURVE_SWEEP_CUTOFF,
    CURVE_CHORD_SHIFT_MIX,
    CURVE_CHORD_SHIFT_DELAY,
    CURVE_SPARE12,
    CURVE_HATS_DECAY,
    CURVE_HATS_WIDTH,
    CURVE_SPARE15,
    CURVE_SPARE16,
    CURVE_BASS_CUTOFF,
    CURVE_BASS_NOISE,
    CURVE_BASS_SHELF,
    CURVE_BASS_DECAY,
    CURVE_SPARE21,
    CURVE_BASS_BANK_MIX,
    CURVE_SPARE23,
    CURVE_BASS_SHIFT_HZ,
    CURVE_BASS_SHIFT_DELAY,
    CURVE_BASS_SHIFT_MIX,
    CURVE_BASS_OUT_CUTOFF,
    CURVE_BASS_TRANSPOSE,
    CURVE_SPARE29,
    CURVE_SPARE30,
    CURVE_GLIDE_REVERB_FEEDBACK,
    CURVE_GLIDE_REVERB_MIX,
    CURVE_SPARE33,
    CURVE_SPARE34,
    CURVE_LEAD_REVERB_FEEDBACK,
    CURVE_LEAD_TRANSPOSE,
};

struct TrackRow {
    Track track;
    const char* name;  // the name a `track` header uses
    int count;         // notes in the list
    int note_low, note_high;
    int velocity_low, velocity_high;  // in 1/64
    double first_on_s;
    double last_off_s;
    bool off_grid_allowed;  // may hold a few times off the 8-tick grid
};

// A breakpoint that a curve must hold exactly.
struct FixedPoint {
    double time_s;
    double value;  // in the curve's own unit (percent for the width)
    double shape;
};

struct CurveRow {
    Curve curve;
    const char* name;
    int count;                     // breakpoints
    bool driven;                   // read by a voice or the mix
    bool spans_range;              // min and max of the values are exactly value_low, value_high
    double value_low, value_high;  // bounds for every breakpoint
    const FixedPoint* fixed;       // null, or `count` breakpoints that must match exactly
};

// The main-bus gate: open, except a hard cut of 2.5 s before the drop.
inline constexpr FixedPoint GATE_POINTS[] = {
    {-2.5, 1, 0}, {24.1667, 1, 0}, {24.1667, 0, 0}, {26.6667, 0, 0}, {26.6667, 1, 0}};
// The transition's frequency shift: rises over a sixteenth, holds, snaps off.
inline constexpr FixedPoint SHIFTER_POINTS[] = {
    {0, 0, 0}, {78.8333, 0, 0}, {79.1667, 1, 0}, {80.1667, 1, 0}, {80.1667, 0, 0}};
// Stereo width in percent: two curved falls to mono and back, the second
// overshooting to 126 % on the downbeat of the second half.
inline constexpr FixedPoint WIDTH_POINTS[] = {
    {0, 100, 0},     {21.5, 100, 0.992},    {24.1667, 0, 0}, {26.6667, 100, 0},
    {77.5, 100, -1}, {78.8333, 0, -0.8125}, {80.0, 126, 0},  {80.1667, 100, 0}};
// The rate reducer of the outro: full rate, then stepping down to 172 Hz.
inline constexpr FixedPoint RATE_POINTS[] = {
    {-2.5, 1, 0},       {126.8333, 1, 0},   {127.0, 0.8984, 0.086}, {128.5, 0.625, 0},
    {129.0, 0.5859, 0}, {130.5, 0.4688, 0}, {131.1667, 0, 0}};

// clang-format off
inline constexpr TrackRow TRACK_ROWS[NOTE_LIST_COUNT] = {
    //                  name         count notes    velocity  first on  last off  off grid
    {TRACK_BREAK,        "break",         6, 34, 34,  64, 64,   88.333,   89.833,  false},
    {TRACK_CHORD1,       "chord1",       35, 39, 75,  45, 64,   29.833,   98.333,  false},
    {TRACK_CHORD2,       "chord2",       35, 42, 85,  45, 54,   29.833,   98.333,  false},
    {TRACK_CHORD3,       "chord3",       26, 44, 82,  47, 54,   29.833,   98.333,  false},
    {TRACK_CHORD4,       "chord4",       26, 39, 85,  47, 64,   29.833,   98.333,  false},
    {TRACK_CHORD5,       "chord5",       16, 58, 80,  47, 54,   29.833,   42.667,  false},
    {TRACK_CHORD6,       "chord6",        8, 77, 80,  47, 47,   29.833,   42.667,  false},
    {TRACK_PLUCK,        "pluck",       260, 39, 94,  34, 64,    0.167,  130.583,  false},
    {TRACK_PLUCK2,       "pluck2",        9, 75, 80,  47, 48,   29.833,  125.667,  false},
    {TRACK_RIDE,         "ride",        187, 70, 78,  10, 64,   27.339,  130.833,  true},
    {TRACK_HATS,         "hats",        279, 58, 90,   9, 53,    0.167,  122.833,  false},
    {TRACK_KICK,         "kick",        288, 61, 73,   3, 64,    0.167,  125.333,  false},
    {TRACK_CRASH,        "crash",        85, 63, 68,  17, 64,    0.167,  113.000,  false},
    {TRACK_SNARE,        "snare",       278, 59, 77,   9, 64,    0.000,  125.500,  true},
    {TRACK_BASS,         "bass",        343,  8, 56,   1, 64,    5.500,  125.422,  true},
    {TRACK_SUB,          "sub",           2, 15, 15,  46, 46,   82.667,   93.500,  false},
    {TRACK_ARP,          "arp",         190, 54, 94,  51, 57,    3.167,   76.750,  false},
    {TRACK_GLIDE,        "glide",       141, 51, 87,  18, 42,   26.667,  125.667,  false},
    {TRACK_GLIDE2,       "glide2",        2, 63, 66,  38, 39,   96.167,   96.833,  false},
    {TRACK_LEAD,         "lead",        272, 49, 85,  23, 64,    5.500,  128.167,  true},
    {TRACK_LEAD2,        "lead2",         5, 63, 70,  54, 55,   56.500,   58.542,  false},
    {TRACK_SOLO,         "solo",         13, 61, 70,  64, 64,   24.167,   26.542,  false},
    {TRACK_CRASH_REVERB, "crash_reverb",  1, 65, 65,  64, 64,   79.500,   80.167,  false},
    {TRACK_BLIPS,        "blips",         3, 81, 93,  64, 64,   97.833,   98.667,  false},
};

inline constexpr CurveRow CURVE_ROWS[CURVE_COUNT] = {
    //                           name                  count driven spans  low    high   fixed
    {CURVE_GATE,                 "gate",                  5, true,  true,  0,     1,     GATE_POINTS},
    {CURVE_REVERB_MIX,           "reverb_mix",           18, true,  true,  0,     0.51,  nullptr},
    {CURVE_REVERB_FEEDBACK,      "reverb_feedback",       8, true,  true,  0,     1,     nullptr},
    {CURVE_BUS_HIGHPASS,         "bus_highpass",          8, true,  true,  0,     0.60,  nullptr},
    {CURVE_BUS_LOWPASS,          "bus_lowpass",           4, true,  true,  0.46,  1,     nullptr},
    {CURVE_SHIFTER_WET,          "shifter_wet",           5, true,  true,  0,     1,     SHIFTER_POINTS},
    {CURVE_WIDTH,                "width",                 8, true,  true,  0,     126,   WIDTH_POINTS},
    {CURVE_RATE,                 "rate",                  7, true,  true,  0,     1,     RATE_POINTS},
    {CURVE_SWEEP_LEVEL,          "sweep_level",          22, true,  true,  0,     2.14,  nullptr},
    {CURVE_SWEEP_CUTOFF,         "sweep_cutoff",         16, true,  true,  0,     0.82,  nullptr},
    {CURVE_CHORD_SHIFT_MIX,      "chord_shift_mix",       5, true,  true,  0,     1,     nullptr},
    {CURVE_CHORD_SHIFT_DELAY,    "chord_shift_delay",     6, true,  true,  0.38,  0.63,  nullptr},
    {CURVE_SPARE12,              "spare12",               3, false, false, -1,    1,     nullptr},
    {CURVE_HATS_DECAY,           "hats_decay",           34, true,  true,  0,     1,     nullptr},
    {CURVE_HATS_WIDTH,           "hats_width",            4, true,  true,  0.16,  1,     nullptr},
    {CURVE_SPARE15,              "spare15",               3, false, false, -1,    1,     nullptr},
    {CURVE_SPARE16,              "spare16",               5, false, false, -1,    1,     nullptr},
    {CURVE_BASS_CUTOFF,          "bass_cutoff",          32, true,  false, 0,     1,     nullptr},
    {CURVE_BASS_NOISE,           "bass_noise",           18, true,  false, 0,     1,     nullptr},
    {CURVE_BASS_SHELF,           "bass_shelf",           14, true,  false, 0,     1,     nullptr},
    {CURVE_BASS_DECAY,           "bass_decay",           11, true,  false, 0,     1,     nullptr},
    {CURVE_SPARE21,              "spare21",              10, false, false, -1,    1,     nullptr},
    {CURVE_BASS_BANK_MIX,        "bass_bank_mix",        18, true,  false, 0,     1,     nullptr},
    {CURVE_SPARE23,              "spare23",              11, false, false, -1,    1,     nullptr},
    {CURVE_BASS_SHIFT_HZ,        "bass_shift_hz",        22, true,  false, 0,     4,     nullptr},
    {CURVE_BASS_SHIFT_DELAY,     "bass_shift_delay",     15, true,  false, 0,     2,     nullptr},
    {CURVE_BASS_SHIFT_MIX,       "bass_shift_mix",       11, true,  false, 0,     1,     nullptr},
    {CURVE_BASS_OUT_CUTOFF,      "bass_out_cutoff",      21, true,  false, 0,     1,     nullptr},
    {CURVE_BASS_TRANSPOSE,       "bass_transpose",       93, true,  false, 0,     1.5,   nullptr},
    {CURVE_SPARE29,              "spare29",              13, false, false, -1,    1,     nullptr},
    {CURVE_SPARE30,              "spare30",               5, false, false, -1,    1,     nullptr},
    {CURVE_GLIDE_REVERB_FEEDBACK,"glide_reverb_feedback", 4, true,  true,  0,     0.98,  nullptr},
    {CURVE_GLIDE_REVERB_MIX,     "glide_reverb_mix",      5, true,  true,  0,     0.17,  nullptr},
    {CURVE_SPARE33,              "spare33",              13, false, false, -1,    1,     nullptr},
    {CURVE_SPARE34,              "spare34",               6, false, false, -1,    1,     nullptr},
    {CURVE_LEAD_REVERB_FEEDBACK, "lead_reverb_feedback",  5, true,  true,  0.83,  0.97,  nullptr},
    {CURVE_LEAD_TRANSPOSE,       "lead_transpose",       33, true,  true,  -1,    0,     nullptr},
};
// clang-format on

constexpr bool rows_in_order() {
    for (int t = 0; t < NOTE_LIST_COUNT; ++t) {
        if (TRACK_ROWS[t].track != t) return false;
    }
    for (int c = 0; c < CURVE_COUNT; ++c) {
        if (CURVE_ROWS[c].curve != c) return false;
    }
    return true;
}
static_assert(rows_in_order(), "row k of each table describes track or curve k");

constexpr int count_curves_in_use() {
    int n = 0;
    for (const CurveRow& row : CURVE_ROWS) n += row.driven ? 1 : 0;
    return n;
}

struct CurveList {
    int curves[count_curves_in_use()];
};

// The curves that something reads; the score walk evaluates these only, from
// the highest number down (the order of the walk's lanes).
constexpr CurveList curves_in_use() {
    CurveList list{};
    int n = 0;
    for (int c = CURVE_COUNT - 1; c >= 0; --c) {
        if (CURVE_ROWS[c].driven) list.curves[n++] = c;
    }
    return list;
}
inline constexpr CurveList CURVES_IN_USE = curves_in_use();
static_assert(std::size(CURVES_IN_USE.curves) == 28);

}  // namespace lf
