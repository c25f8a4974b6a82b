// The score of the track as the packer sees it: notes and breakpoints in ticks
// (1/192 s; a beat is 64 ticks, a bar 256), each remembering the source line
// that wrote it, so every complaint can point at that line.
//
// The flow is read (score_read) -> check against the arrangement (score_check)
// -> pack into the engine's binary layout (score_pack) or export as a Standard
// MIDI File (score_midi). Nothing here knows about the engine's floats: the
// packed format is integers only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data/packed_format.h"
#include "engine/frame/arrangement.h"

namespace score {

constexpr int TRACK_COUNT = lf::NOTE_LIST_COUNT;
using lf::CURVE_COUNT;
using lf::TICKS_PER_BAR;
using lf::TICKS_PER_BEAT;
using lf::TICKS_PER_SECOND;
constexpr int UNITS_PER_ONE = 128;  // curve values and shapes are stored in 1/128

// Where a note, breakpoint or block came from.
struct SourcePos {
    std::string file;
    int line = 0;
};

struct Note {
    int32_t on = 0;        // ticks
    int32_t duration = 0;  // ticks
    int32_t number = 0;    // equal-tempered note number, 69 = 440 Hz
    int32_t velocity = 0;  // 64 = full level
    SourcePos from;
};

struct Breakpoint {
    int32_t time = 0;   // ticks, may be negative (curves that start before the track)
    int32_t value = 0;  // 1/128 units
    int32_t shape = 0;  // 1/128 units; 0 is a straight line
    SourcePos from;
};

struct Section {
    std::string name;
    int32_t start = 0;  // ticks
    SourcePos from;
};

struct TrackPart {
    std::string name;
    SourcePos declared;  // first `track` header that named it (line 0: never declared)
    std::vector<Note> notes;
};

struct CurvePart {
    std::string name;
    SourcePos declared;
    std::vector<Breakpoint> points;
};

// What a score is held to. `lumenfrost` (the default): the arrangement of our
// track, every count, range, entry and exit and fixed curve of it. `free`
// (a `profile free` statement at the top of the score): only what the engine
// needs to play it right, so any piece within the engine's limits packs.
enum class Profile { lumenfrost, free };

struct Score {
    Profile profile = Profile::lumenfrost;
    TrackPart tracks[TRACK_COUNT];
    CurvePart curves[CURVE_COUNT];
    std::vector<Section> sections;
    SourcePos origin;  // the main file, for complaints about what it lacks
};

// One complaint, printed as `file:line: message`.
struct Problem {
    SourcePos at;
    std::string message;
};
std::string format_problem(const Problem& p);

// Reads the score whose main file is `path` (following its `include`s).
// Problems of spelling and grammar are appended to `problems`; the score holds
// whatever could be read. Every file must be a regular file of at most 4 MiB
// (16 MiB all together); repeats nest at most 16 deep; the expansion of
// repeats and plays stops at a million notes and breakpoints or ten million
// statements run. `files_read`, if given, receives the names
// of every file read, the main one first.
Score score_read(const std::string& path, std::vector<Problem>& problems,
                 std::vector<std::string>* files_read = nullptr);

// Checks the score for its profile. Both: one note at a time per track, notes
// and velocities in the playable range, times inside the track, curves in the
// range the engine reads, from the first frame on and in order, no note that
// its voice's gate would silence. `lumenfrost` adds the arrangement: counts,
// ranges, entry and exit times, the tick grid and the fixed curves. Notes
// outside the key the resonator banks are tuned to go to `warnings`.
void score_check(const Score& score, std::vector<Problem>& problems,
                 std::vector<Problem>* warnings = nullptr);

// "19:1.5 (24.167 s)": a time in ticks as bar:beat, with the seconds after.
std::string position_text(int64_t ticks);

// The candidate closest to `word` in spelling, if one is close enough to be
// a likely slip ("" otherwise).
std::string closest_name(const std::string& word, const std::vector<std::string>& candidates);

// The packed binary layout of the score (all little-endian).
std::vector<uint8_t> score_pack(const Score& score);

// A Standard MIDI File (format 1, 64 ticks per quarter note, tempo 180): a
// conductor track with tempo, metre, key, section markers and the curves as
// text events, then one track per note list.
std::vector<uint8_t> score_midi(const Score& score);

using lf::zigzag_encode;

}  // namespace score
