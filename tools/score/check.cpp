// Holds a score to the arrangement: every list and curve has the count the
// engine's arrays are sized for, every track stays in its register, dynamics
// and time span, notes sit on the 32nd-note grid and never overlap (the note
// players are monophonic), and the gate, shifter, width and rate curves are
// exactly the moves the mix is built around.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "tools/score/arrangement.h"
#include "tools/score/score.h"

namespace score {

namespace {

std::string track_label(int t) {
    return "track " + std::to_string(t) + " (" + TRACK_ROWS[t].name + ")";
}

std::string curve_label(int c) {
    return "curve " + std::to_string(c) + " (" + CURVE_ROWS[c].name + ")";
}

// Ticks as seconds with three decimals, for messages.
std::string seconds(int64_t ticks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ticks) / TICKS_PER_SECOND);
    return text;
}

std::string units(int32_t u) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(u) / UNITS_PER_ONE);
    return text;
}

bool on_grid(int64_t ticks) {
    return ticks % NOTE_GRID_TICKS == 0;
}

// Past the end of the rendered track (138.167 s) nothing sounds.
constexpr int64_t TRACK_END_TICKS = 26528;

void check_track(const Score& score, int t, std::vector<Problem>& out) {
    const TrackRow& row = TRACK_ROWS[t];
    const TrackPart& part = score.tracks[t];
    const std::string label = track_label(t);
    if (part.declared.line == 0) {
        out.push_back({score.origin, label + " is never written"});
        return;
    }
    const auto& notes = part.notes;
    if (static_cast<int>(notes.size()) != row.count) {
        out.push_back({part.declared, label + " has " + std::to_string(notes.size()) +
                                          " notes; the engine expects " +
                                          std::to_string(row.count)});
    }
    int off_grid = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        const Note& n = notes[i];
        int64_t off = int64_t{n.on} + n.duration;
        if (n.duration <= 0) {
            out.push_back({n.from, label + ": a note needs a positive duration"});
        }
        if (n.number < row.note_low || n.number > row.note_high) {
            out.push_back({n.from, label + ": note " + std::to_string(n.number) +
                                       " is out of the range " + std::to_string(row.note_low) +
                                       ".." + std::to_string(row.note_high)});
        }
        if (n.velocity < row.velocity_low || n.velocity > row.velocity_high) {
            out.push_back({n.from, label + ": velocity " + std::to_string(n.velocity) +
                                       " is out of the range " + std::to_string(row.velocity_low) +
                                       ".." + std::to_string(row.velocity_high)});
        }
        if (n.on < 0 || off > TRACK_END_TICKS) {
            out.push_back({n.from, label + ": a note at " + seconds(n.on) +
                                       " lies outside the track (0 to 138.167 s)"});
        }
        if (!on_grid(n.on) || !on_grid(off)) {
            ++off_grid;
            if (!row.off_grid_allowed) {
                out.push_back({n.from, label + ": the note at " + seconds(n.on) +
                                           " is off the tick grid of 8 ticks"});
            }
        }
        if (i == 0) continue;
        const Note& prev = notes[i - 1];
        if (n.on < prev.on) {
            out.push_back({n.from, label + ": start times go backwards (" + seconds(n.on) +
                                       " after " + seconds(prev.on) + ")"});
        } else if (n.on < int64_t{prev.on} + prev.duration) {
            out.push_back({n.from, label + ": the note at " + seconds(n.on) +
                                       " overlaps the one at " + seconds(prev.on) +
                                       " (this track plays one note at a time)"});
        }
    }
    // "A few" notes off the grid: a handful of pushed or dragged hits.
    int allowed = std::max(4, row.count / 16);
    if (row.off_grid_allowed && off_grid > allowed) {
        out.push_back({part.declared, label + " has " + std::to_string(off_grid) +
                                          " notes off the tick grid of 8 ticks; at most " +
                                          std::to_string(allowed) + " may be"});
    }
    if (notes.empty()) return;

    int32_t first_on = seconds_to_ticks(row.first_on_s);
    if (std::abs(notes.front().on - first_on) > 1) {
        out.push_back({notes.front().from, label + " must begin at " + seconds(first_on) +
                                               ", not " + seconds(notes.front().on)});
    }
    int64_t last_off = int64_t{notes.back().on} + notes.back().duration;
    int32_t want_off = seconds_to_ticks(row.last_off_s);
    if (std::abs(last_off - want_off) > 1) {
        out.push_back({notes.back().from,
                       label + " must end at " + seconds(want_off) + ", not " + seconds(last_off)});
    }
    auto [lo_note, hi_note] =
        std::minmax_element(notes.begin(), notes.end(),
                            [](const Note& a, const Note& b) { return a.number < b.number; });
    if (lo_note->number != row.note_low || hi_note->number != row.note_high) {
        out.push_back({part.declared, label + " spans notes " + std::to_string(lo_note->number) +
                                          ".." + std::to_string(hi_note->number) +
                                          "; its part spans " + std::to_string(row.note_low) +
                                          ".." + std::to_string(row.note_high)});
    }
    auto [lo_vel, hi_vel] =
        std::minmax_element(notes.begin(), notes.end(),
                            [](const Note& a, const Note& b) { return a.velocity < b.velocity; });
    if (lo_vel->velocity != row.velocity_low || hi_vel->velocity != row.velocity_high) {
        out.push_back({part.declared, label + " spans velocities " +
                                          std::to_string(lo_vel->velocity) + ".." +
                                          std::to_string(hi_vel->velocity) + "; its part spans " +
                                          std::to_string(row.velocity_low) + ".." +
                                          std::to_string(row.velocity_high)});
    }
}

void check_curve(const Score& score, int c, std::vector<Problem>& out) {
    const CurveRow& row = CURVE_ROWS[c];
    const CurvePart& part = score.curves[c];
    const std::string label = curve_label(c);
    if (part.declared.line == 0) {
        out.push_back({score.origin, label + " is never written"});
        return;
    }
    const auto& points = part.points;
    if (static_cast<int>(points.size()) != row.count) {
        out.push_back({part.declared, label + " has " + std::to_string(points.size()) +
                                          " breakpoints; the engine expects " +
                                          std::to_string(row.count)});
    }
    if (points.empty()) return;
    const int32_t low = value_to_units(row.value_low), high = value_to_units(row.value_high);
    for (size_t i = 0; i < points.size(); ++i) {
        const Breakpoint& b = points[i];
        if (b.value < low || b.value > high) {
            out.push_back({b.from, label + ": value " + units(b.value) + " is out of the range " +
                                       units(low) + ".." + units(high)});
        }
        if (b.time > TRACK_END_TICKS) {
            out.push_back({b.from, label + ": a breakpoint at " + seconds(b.time) +
                                       " lies after the end of the track"});
        }
        if (i > 0 && b.time < points[i - 1].time) {
            out.push_back({b.from, label + ": start times go backwards (" + seconds(b.time) +
                                       " after " + seconds(points[i - 1].time) + ")"});
        }
        if (row.fixed && static_cast<int>(i) < row.count) {
            const FixedPoint& f = row.fixed[i];
            if (b.time != seconds_to_ticks(f.time_s) || b.value != value_to_units(f.value) ||
                b.shape != value_to_units(f.shape)) {
                char want[96];
                std::snprintf(want, sizeof want, "(%g s, %g, k %g)", f.time_s, f.value, f.shape);
                out.push_back(
                    {b.from, label + ": breakpoint " + std::to_string(i + 1) + " must be " + want});
            }
        }
    }
    if (points.front().time > 0) {
        out.push_back({points.front().from,
                       label +
                           " must hold a value from the first frame: its first breakpoint "
                           "lies at " +
                           seconds(points.front().time)});
    }
    if (row.spans_range) {
        auto [lo, hi] = std::minmax_element(
            points.begin(), points.end(),
            [](const Breakpoint& a, const Breakpoint& b) { return a.value < b.value; });
        if (lo->value != low || hi->value != high) {
            out.push_back({part.declared, label + " spans " + units(lo->value) + ".." +
                                              units(hi->value) + "; its part spans " + units(low) +
                                              ".." + units(high)});
        }
    }
}

}  // namespace

void score_check(const Score& score, std::vector<Problem>& problems) {
    for (int t = 0; t < TRACK_COUNT; ++t) check_track(score, t, problems);
    for (int c = 0; c < CURVE_COUNT; ++c) check_curve(score, c, problems);
    for (size_t i = 1; i < score.sections.size(); ++i) {
        if (score.sections[i].start <= score.sections[i - 1].start) {
            problems.push_back({score.sections[i].from, "section '" + score.sections[i].name +
                                                            "' must start after section '" +
                                                            score.sections[i - 1].name + "'"});
        }
    }
}

}  // namespace score
