// Positions in the track as people name them: bar:beat (180 BPM, four beats a
// bar, bar 1 beat 1 at frame 0), seconds, or the name of a section of the
// score; and the other way round, for status lines and reports.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/frame/engine.h"

namespace studio {

constexpr uint32_t BEAT_FRAMES = 14700;
constexpr uint32_t BAR_FRAMES = 4 * BEAT_FRAMES;

struct Section {
    const char* name;
    uint32_t start;  // frame
};

// The sections of the score this program was built with, in order of start.
const std::vector<Section>& score_sections();

// A position or argument that makes no sense; the message says why.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "75:1", "19:1.5" (bar:beat, the beat may have a fraction), "95.5s", a
// section's name (its first frame) or "end". Throws UsageError.
uint32_t parse_position(const std::string& text, const std::vector<Section>& sections);

// The frames of a named section: its start up to the next section's start.
struct Range {
    uint32_t from;
    uint32_t to;
};
Range section_range(const std::string& name, const std::vector<Section>& sections);

// "75:1" or "19:1.5": bar and beat of a frame (the fraction of the beat when
// there is one, to 1/100).
std::string bar_beat_text(uint32_t frame);
// "1:40.0": minutes and seconds to a tenth.
std::string clock_text(uint32_t frame);
// The section playing at `frame` (nullptr before the first).
const Section* section_at(uint32_t frame, const std::vector<Section>& sections);
// The first frame after the section at index i (the track's end for the last).
uint32_t section_end(size_t i, const std::vector<Section>& sections);

}  // namespace studio
