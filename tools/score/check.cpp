// Holds a score to what the engine needs to play it right, and, in the
// `lumenfrost` profile, to the arrangement of our track.
//
// Whatever the profile: notes are positive, playable and inside the track,
// one at a time per track (the note players are monophonic) and in order; a
// note that its voice's gate would silence is refused; curves hold a value
// from the first frame, stay in the range the engine reads and never run
// backwards. In `lumenfrost`, every list and curve also has the count, the
// register, dynamics and time span of its part, notes sit on the 32nd-note
// grid, and the gate, shifter, width and rate curves are exactly the moves the
// mix is built around.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

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

std::string units(int32_t u) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(u) / UNITS_PER_ONE);
    return text;
}

std::string range(int64_t low, int64_t high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

bool on_grid(int64_t ticks) {
    return ticks % NOTE_GRID_TICKS == 0;
}

// Past the end of the rendered track (138.167 s) nothing sounds.
constexpr int64_t TRACK_END_TICKS = 26528;

struct Checker {
    const Score& score;
    std::vector<Problem>& out;
    std::vector<Problem>* warnings;
    bool arrangement;  // the lumenfrost profile

    void track(int t) {
        const TrackRow& row = TRACK_ROWS[t];
        const TrackPart& part = score.tracks[t];
        const std::string label = track_label(t);
        if (part.declared.line == 0) {
            // An empty list plays nothing; only our track needs every part.
            if (arrangement) out.push_back({score.origin, label + " is never written"});
            return;
        }
        const auto& notes = part.notes;
        const int low = arrangement ? row.note_low : PLAYABLE_NOTE_LOW;
        const int high = arrangement ? row.note_high : PLAYABLE_NOTE_HIGH;
        const int vlow = arrangement ? row.velocity_low : PLAYABLE_VELOCITY_LOW;
        const int vhigh = arrangement ? row.velocity_high : PLAYABLE_VELOCITY_HIGH;
        if (arrangement && static_cast<int>(notes.size()) > row.count) {
            // At the first note past the count, where the composer added one.
            out.push_back({notes[row.count].from,
                           label + " has " + std::to_string(notes.size()) +
                               " notes; its part has " + std::to_string(row.count) +
                               ", and this note at " + position_text(notes[row.count].on) +
                               " is the first past them"});
        } else if (arrangement && static_cast<int>(notes.size()) < row.count) {
            out.push_back({notes.empty() ? part.declared : notes.back().from,
                           label + " has " + std::to_string(notes.size()) +
                               " notes; its part has " + std::to_string(row.count) + " (" +
                               std::to_string(row.count - static_cast<int>(notes.size())) +
                               " missing after this line)"});
        } else if (notes.size() > lf::MAX_NOTES_PER_LIST) {
            out.push_back({notes[lf::MAX_NOTES_PER_LIST].from,
                           label + " has " + std::to_string(notes.size()) +
                               " notes; the engine plays at most " +
                               std::to_string(lf::MAX_NOTES_PER_LIST) +
                               " per track, and this is the first past them"});
        }
        const bool count_off = arrangement && static_cast<int>(notes.size()) != row.count;
        int off_grid = 0;
        size_t reported = out.size();
        std::vector<bool> faulty(notes.size());  // one message per note
        for (size_t i = 0; i < notes.size(); ++i) {
            if (i > 0) faulty[i - 1] = out.size() != reported;
            reported = out.size();
            const Note& n = notes[i];
            const int64_t off = int64_t{n.on} + n.duration;
            const std::string at = label + ": the note at " + position_text(n.on);
            // One message per note: the first thing wrong with it.
            if (n.duration <= 0) {
                out.push_back({n.from, at + " needs a positive duration"});
            } else if (n.number < low || n.number > high) {
                out.push_back({n.from, at + " is note " + std::to_string(n.number) +
                                           ", out of the range " + range(low, high) +
                                           (arrangement ? " of its part" : " the engine plays")});
            } else if (n.velocity < vlow || n.velocity > vhigh) {
                out.push_back({n.from, at + " has velocity " + std::to_string(n.velocity) +
                                           ", out of the range " + range(vlow, vhigh) +
                                           (arrangement ? " of its part" : "")});
            } else if (n.on < 0 || off > TRACK_END_TICKS) {
                out.push_back({n.from, at + " lies outside the track (1:1 to " +
                                           position_text(TRACK_END_TICKS) + ")"});
            } else if (i > 0 && n.on < notes[i - 1].on) {
                out.push_back({n.from, at + " comes before the one at " +
                                           position_text(notes[i - 1].on) +
                                           " (a track's notes go forward in time)"});
            } else if (i > 0 && n.on < int64_t{notes[i - 1].on} + notes[i - 1].duration) {
                out.push_back({n.from, at + " overlaps the one at " +
                                           position_text(notes[i - 1].on) +
                                           " (this track plays one note at a time)"});
            } else if (!on_grid(n.on) || !on_grid(off)) {
                ++off_grid;
                if (arrangement && !row.off_grid_allowed) {
                    out.push_back({n.from, at + " is off the tick grid of 8 ticks"});
                }
            }
            if (warnings && through_banks(t) && !in_bank_key(n.number)) {
                warnings->push_back({n.from, at + " is note " + std::to_string(n.number) +
                                                 ", outside the F# major scale the resonator "
                                                 "banks are tuned to (it will ring less)"});
            }
        }
        if (!notes.empty()) faulty.back() = out.size() != reported;
        if (!arrangement || notes.empty()) return;
        // "A few" notes off the grid: a handful of pushed or dragged hits.
        const int allowed = std::max(4, row.count / 16);
        if (row.off_grid_allowed && off_grid > allowed) {
            out.push_back({part.declared, label + " has " + std::to_string(off_grid) +
                                              " notes off the tick grid of 8 ticks; at most " +
                                              std::to_string(allowed) + " may be"});
        }
        // The entry and exit follow from a wrong count or a faulty first or
        // last note, which were reported already.
        const int32_t first_on = seconds_to_ticks(row.first_on_s);
        if (!count_off && !faulty.front() && std::abs(notes.front().on - first_on) > 1) {
            out.push_back({notes.front().from, label + " must begin at " + position_text(first_on) +
                                                   ", not " + position_text(notes.front().on)});
        }
        const int64_t last_off = int64_t{notes.back().on} + notes.back().duration;
        const int32_t want_off = seconds_to_ticks(row.last_off_s);
        if (!count_off && !faulty.back() && std::abs(last_off - want_off) > 1) {
            out.push_back({notes.back().from, label + " must end at " + position_text(want_off) +
                                                  ", not " + position_text(last_off)});
        }
        auto [lo_note, hi_note] =
            std::minmax_element(notes.begin(), notes.end(),
                                [](const Note& a, const Note& b) { return a.number < b.number; });
        // A note beyond the part's range was reported on its own line already.
        if ((lo_note->number != row.note_low || hi_note->number != row.note_high) &&
            lo_note->number >= row.note_low && hi_note->number <= row.note_high) {
            out.push_back(
                {part.declared, label + " spans notes " + range(lo_note->number, hi_note->number) +
                                    "; its part spans " + range(row.note_low, row.note_high)});
        }
        auto [lo_vel, hi_vel] = std::minmax_element(
            notes.begin(), notes.end(),
            [](const Note& a, const Note& b) { return a.velocity < b.velocity; });
        if ((lo_vel->velocity != row.velocity_low || hi_vel->velocity != row.velocity_high) &&
            lo_vel->velocity >= row.velocity_low && hi_vel->velocity <= row.velocity_high) {
            out.push_back({part.declared, label + " spans velocities " +
                                              range(lo_vel->velocity, hi_vel->velocity) +
                                              "; its part spans " +
                                              range(row.velocity_low, row.velocity_high)});
        }
    }

    // A note of a gated track starts while its voice's gate is open: the gate
    // track's latest note at or before it was released at most the gate's time ago.
    void gate(const lf::VoiceGate& g) {
        const int32_t open_ticks = seconds_to_ticks(g.open_s);
        const auto& gate_notes = score.tracks[g.gate_track].notes;
        for (int t = g.first_track; t <= g.last_track; ++t) {
            size_t k = 0;
            for (const Note& n : score.tracks[t].notes) {
                while (k < gate_notes.size() && gate_notes[k].on <= n.on) ++k;
                const bool open = k > 0 && int64_t{n.on} - (int64_t{gate_notes[k - 1].on} +
                                                            gate_notes[k - 1].duration) <=
                                               open_ticks;
                if (!open) {
                    out.push_back({n.from, track_label(t) + ": the note at " + position_text(n.on) +
                                               " would not sound: its voice plays only while " +
                                               track_label(g.gate_track) +
                                               " sounds or rang out less than " +
                                               std::to_string(open_ticks / TICKS_PER_SECOND) +
                                               " s ago; give that track a note here first"});
                }
            }
        }
    }

    void curve(int c) {
        const CurveRow& row = CURVE_ROWS[c];
        const CurvePart& part = score.curves[c];
        const std::string label = curve_label(c);
        if (part.declared.line == 0) {
            // A spare curve drives nothing; the free profile packs it as one
            // breakpoint at 0. A curve that something reads must be written.
            if (arrangement || row.driven) {
                out.push_back({score.origin, label + " is never written" +
                                                 (arrangement ? std::string()
                                                              : " (it drives the sound: give it "
                                                                "at least one breakpoint)")});
            }
            return;
        }
        const auto& points = part.points;
        if (points.empty()) {
            // The engine holds a curve's last breakpoint for the rest of the track.
            out.push_back({part.declared, label + " has no breakpoints; it needs one"});
            return;
        }
        if (arrangement && static_cast<int>(points.size()) > row.count) {
            out.push_back({points[row.count].from, label + " has " + std::to_string(points.size()) +
                                                       " breakpoints; its part has " +
                                                       std::to_string(row.count) +
                                                       ", and this one is the first past them"});
        } else if (arrangement && static_cast<int>(points.size()) < row.count) {
            out.push_back({points.back().from,
                           label + " has " + std::to_string(points.size()) +
                               " breakpoints; its part has " + std::to_string(row.count) + " (" +
                               std::to_string(row.count - static_cast<int>(points.size())) +
                               " missing after this line)"});
        } else if (points.size() > lf::MAX_BREAKPOINTS_PER_CURVE) {
            out.push_back({points[lf::MAX_BREAKPOINTS_PER_CURVE].from,
                           label + " has " + std::to_string(points.size()) +
                               " breakpoints; the engine takes at most " +
                               std::to_string(lf::MAX_BREAKPOINTS_PER_CURVE) +
                               ", and this one is the first past them"});
        }
        const int32_t low = arrangement ? value_to_units(row.value_low) : engine_value_low(c);
        const int32_t high = arrangement ? value_to_units(row.value_high) : engine_value_high(c);
        for (size_t i = 0; i < points.size(); ++i) {
            const Breakpoint& b = points[i];
            const std::string at = label + ": the breakpoint at " + position_text(b.time);
            if (b.value < low || b.value > high) {
                out.push_back({b.from, at + " has value " + units(b.value) + ", out of the range " +
                                           units(low) + ".." + units(high)});
            } else if (b.time > TRACK_END_TICKS || b.time < -TRACK_END_TICKS) {
                out.push_back({b.from, at + " lies beyond the track"});
            } else if (i > 0 && b.time < points[i - 1].time) {
                out.push_back({b.from, at + " comes before the one at " +
                                           position_text(points[i - 1].time) +
                                           " (a curve goes forward in time)"});
            } else if (arrangement && row.fixed && static_cast<int>(i) < row.count) {
                const FixedPoint& f = row.fixed[i];
                if (b.time != seconds_to_ticks(f.time_s) || b.value != value_to_units(f.value) ||
                    b.shape != value_to_units(f.shape)) {
                    char want[96];
                    std::snprintf(want, sizeof want, "(%g s, %g, k %g)", f.time_s, f.value,
                                  f.shape);
                    out.push_back({b.from, label + ": breakpoint " + std::to_string(i + 1) +
                                               " must be " + want});
                }
            }
        }
        // Before its first breakpoint a curve would extrapolate its first
        // segment backwards: it must start at or before the first frame.
        if (points.front().time > 0) {
            out.push_back({points.front().from,
                           label +
                               " must hold a value from the first frame: its first "
                               "breakpoint lies at " +
                               position_text(points.front().time) + " (write one at 1:1)"});
        }
        if (arrangement && row.spans_range) {
            auto [lo, hi] = std::minmax_element(
                points.begin(), points.end(),
                [](const Breakpoint& a, const Breakpoint& b) { return a.value < b.value; });
            if ((lo->value != low || hi->value != high) && lo->value >= low && hi->value <= high) {
                out.push_back({part.declared, label + " spans " + units(lo->value) + ".." +
                                                  units(hi->value) + "; its part spans " +
                                                  units(low) + ".." + units(high)});
            }
        }
    }
};

}  // namespace

std::string position_text(int64_t ticks) {
    // Floor division, so that times before the start count back from bar 1.
    const int64_t bar =
        ticks >= 0 ? ticks / TICKS_PER_BAR : -((-ticks + TICKS_PER_BAR - 1) / TICKS_PER_BAR);
    const int64_t in_bar = ticks - bar * TICKS_PER_BAR;
    // Beats on the 32nd-note grid as the score writes them (3.625), the ticks
    // off it as an offset (3.5+3t).
    const int64_t off_grid = in_bar % NOTE_GRID_TICKS;
    char beat[32];
    std::snprintf(beat, sizeof beat, "%.3f",
                  1.0 + static_cast<double>(in_bar - off_grid) / TICKS_PER_BEAT);
    std::string b = beat;
    while (b.back() == '0') b.pop_back();
    if (b.back() == '.') b.pop_back();
    if (off_grid) {
        b += '+';
        b += std::to_string(off_grid);
        b += 't';
    }
    char seconds[48];
    std::snprintf(seconds, sizeof seconds, " (%.3f s)",
                  static_cast<double>(ticks) / TICKS_PER_SECOND);
    return std::to_string(bar + 1) + ":" + b + seconds;
}

namespace {

// A line that a repeat or a played pattern runs many times makes the same
// fault many times: it is reported once, with the count of the others.
void once_per_line(std::vector<Problem>& list, size_t from) {
    std::vector<Problem> kept(list.begin(), list.begin() + static_cast<long>(from));
    std::vector<int> more;
    for (size_t i = from; i < list.size(); ++i) {
        size_t k = from;
        while (k < kept.size() &&
               (kept[k].at.line != list[i].at.line || kept[k].at.file != list[i].at.file)) {
            ++k;
        }
        if (k == kept.size()) {
            kept.push_back(list[i]);
            more.push_back(0);
        } else {
            ++more[k - from];
        }
    }
    for (size_t k = from; k < kept.size(); ++k) {
        const int n = more[k - from];
        if (n > 0) kept[k].message += " (and " + std::to_string(n) + " more from this line)";
    }
    list = std::move(kept);
}

}  // namespace

void score_check(const Score& score, std::vector<Problem>& problems,
                 std::vector<Problem>* warnings) {
    const size_t first = problems.size();
    const size_t first_warning = warnings ? warnings->size() : 0;
    Checker check{score, problems, warnings, score.profile == Profile::lumenfrost};
    for (int t = 0; t < TRACK_COUNT; ++t) check.track(t);
    for (const lf::VoiceGate& g : lf::VOICE_GATES) check.gate(g);
    for (int c = 0; c < CURVE_COUNT; ++c) check.curve(c);
    for (size_t i = 1; i < score.sections.size(); ++i) {
        if (score.sections[i].start <= score.sections[i - 1].start) {
            problems.push_back({score.sections[i].from, "section '" + score.sections[i].name +
                                                            "' must start after section '" +
                                                            score.sections[i - 1].name + "'"});
        }
    }
    once_per_line(problems, first);
    if (warnings) once_per_line(*warnings, first_warning);
}

}  // namespace score
