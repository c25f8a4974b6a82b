// Reading and checking a content bundle on the build host: the seven packed
// sample files and the packed score file that the build compiles into the
// engine. The embedding step and the summary tool share this code, so they
// agree on the file formats.
//
// score.bin, little-endian: for each of the 24 note lists, u32 count, then
// count u8 note deltas, count u8 velocity deltas, count u32 start deltas and
// count u32 duration deltas (all zigzag coded); then for each of the 37 curves,
// u32 count, count i32 time deltas, count i32 values, count i32 shapes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data/packed_format.h"

namespace lf::bundle {

constexpr int32_t TRACK_TICKS = 26528;  // 138.17 s of ticks of 1/192 s

struct NoteList {
    std::vector<uint8_t> notes;
    std::vector<uint8_t> velocities;
    std::vector<uint32_t> starts;
    std::vector<uint32_t> durations;
};

struct Curve {
    std::vector<int32_t> times;
    std::vector<int32_t> values;
    std::vector<int32_t> shapes;
};

struct Score {
    std::vector<NoteList> note_lists;
    std::vector<Curve> curves;
};

struct Bundle {
    std::vector<uint8_t> samples[PACKED_SAMPLE_COUNT];
    Score score;
};

// What is wrong with a bundle (errors: the engine cannot be built with it) and
// what looks odd (warnings: the engine builds, the music may not be meant so).
struct Findings {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

// The files of a bundle below a content folder.
std::string sample_path(const std::string& content_dir, int sample);  // sample = 1..7
std::string score_path(const std::string& content_dir);

// A bundle file is a regular file of at most 1 MiB (the largest sample is
// under 100 KB, the score about 32 KB).
constexpr uint64_t MAX_FILE_BYTES = 1024 * 1024;
bool read_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// What the engine can take (docs/bundle/README.md lists every check):
// a running band gain of at most 216 (2^115 in amplitude; a band's values are
// at most A w, the transform's weights 2/H, so two overlapping long windows
// stay below 2^123.4, inside the float range), note
// numbers and velocities 0..127, starts in the track and non-decreasing,
// durations 0..TRACK_TICKS, breakpoint times non-decreasing after the first
// and within a track's length of the start, shapes within -1..1 (k = 128/128)
// and values within the curve's range widened to include 0..1.
constexpr unsigned MAX_GAIN = 216;
constexpr int64_t MAX_NOTE = 127, MAX_VELOCITY = 127;
constexpr int32_t MAX_SHAPE = 128;

// The block count, short blocks and size of a packed sample, as far as its
// bytes go.
PackedSampleLayout sample_layout(const std::vector<uint8_t>& bytes);

// Checks one packed sample: at most MAX_SAMPLE_BLOCKS blocks of the four
// types, exactly the size its blocks take, running gains at most MAX_GAIN;
// `name` prefixes every finding.
void check_sample(const std::vector<uint8_t>& bytes, const std::string& name, Findings& findings);

// Splits a score file into its lists and curves, then checks their counts
// against the limits, and their times, notes, velocities, values and shapes. The score is filled as
// far as the bytes allow.
void parse_score(const std::vector<uint8_t>& bytes, const std::string& name, Score& score,
                 Findings& findings);

// Reads and checks the whole bundle below content_dir.
void load_bundle(const std::string& content_dir, Bundle& bundle, Findings& findings);

// Running sums of a list's or curve's delta streams, in ticks.
std::vector<int32_t> note_start_ticks(const NoteList& list);
std::vector<int32_t> note_end_ticks(const NoteList& list);
std::vector<int32_t> curve_time_ticks(const Curve& curve);

}  // namespace lf::bundle
