#include "studio/position.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace studio {

namespace {

// A decimal number that is the whole of `text`.
bool parse_number(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

std::string section_names(const std::vector<Section>& sections) {
    std::string names;
    for (const Section& s : sections) names += (names.empty() ? "" : ", ") + std::string(s.name);
    return names;
}

uint32_t checked_frame(double frame, const std::string& text) {
    if (frame > TRACK_FRAMES) {
        char why[160];
        std::snprintf(why, sizeof why, "'%s' is past the end of the track (%s, 138.17 s)",
                      text.c_str(), bar_beat_text(TRACK_FRAMES).c_str());
        throw UsageError(why);
    }
    return static_cast<uint32_t>(frame);
}

}  // namespace

uint32_t parse_position(const std::string& text, const std::vector<Section>& sections) {
    if (text == "end") return TRACK_FRAMES;
    double seconds;
    if (text.size() > 1 && text.back() == 's' &&
        parse_number(text.substr(0, text.size() - 1), seconds))
        return checked_frame(std::floor(seconds * SAMPLE_RATE + 0.5), text);
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        double bar, beat;
        if (!parse_number(text.substr(0, colon), bar) ||
            !parse_number(text.substr(colon + 1), beat) || bar != std::floor(bar))
            throw UsageError("'" + text + "' is not a position bar:beat (like 75:1 or 19:1.5)");
        if (bar < 1) throw UsageError("'" + text + "': bars count from 1");
        if (beat < 1 || beat >= 5)
            throw UsageError("'" + text +
                             "': the beat must be at least 1 and below 5 (a bar has 4)");
        double frame = (bar - 1) * BAR_FRAMES + std::floor((beat - 1) * BEAT_FRAMES + 0.5);
        return checked_frame(frame, text);
    }
    for (const Section& s : sections) {
        if (text == s.name) return s.start;
    }
    throw UsageError("'" + text +
                     "' is neither bar:beat (75:1), seconds (95.5s), 'end' nor a "
                     "section of the score (" +
                     section_names(sections) + ")");
}

Range section_range(const std::string& name, const std::vector<Section>& sections) {
    for (size_t i = 0; i < sections.size(); ++i) {
        if (name == sections[i].name) return {sections[i].start, section_end(i, sections)};
    }
    throw UsageError("'" + name + "' is not a section of the score (" + section_names(sections) +
                     ")");
}

std::string bar_beat_text(uint32_t frame) {
    uint32_t bar = frame / BAR_FRAMES + 1;
    uint32_t in_bar = frame % BAR_FRAMES;
    uint32_t beat = in_bar / BEAT_FRAMES + 1;
    uint32_t rest = in_bar % BEAT_FRAMES;
    char text[40];
    if (rest == 0) {
        std::snprintf(text, sizeof text, "%u:%u", bar, beat);
    } else {
        // Hundredths of a beat, rounded down so a frame never shows the next beat.
        std::snprintf(text, sizeof text, "%u:%u.%02u", bar, beat, rest * 100 / BEAT_FRAMES);
        std::string s = text;
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
        return s;
    }
    return text;
}

std::string clock_text(uint32_t frame) {
    uint32_t tenths = static_cast<uint32_t>(static_cast<uint64_t>(frame) * 10 / SAMPLE_RATE);
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%u", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

const Section* section_at(uint32_t frame, const std::vector<Section>& sections) {
    const Section* found = nullptr;
    for (const Section& s : sections) {
        if (s.start <= frame) found = &s;
    }
    return found;
}

uint32_t section_end(size_t i, const std::vector<Section>& sections) {
    return i + 1 < sections.size() ? sections[i + 1].start : TRACK_FRAMES;
}

}  // namespace studio
