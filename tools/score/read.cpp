// Reader of the score language: a line-based text in which a musician writes
// sections, patterns, chords, drum grids and melodic lines on the bar grid,
// and which this file turns into notes and breakpoints in ticks.
//
// Positions are `bar:beat` counted from 1 (bar 21 beat 3 is 21:3, an eighth
// after it 21:3.5), with an optional tick offset (21:3+1t) or, for exact
// times, seconds (-2.5s). Durations are note values of a 4/4 bar (1/4, 3/16,
// 1 = a bar, 2 = two bars), ticks (5t) or sums of them (1/4+1/16). Inside a
// pattern, 1:1 is the pattern's start. The grammar is listed in
// docs/score/README.md.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "engine/data/files.h"
#include "tools/score/arrangement.h"
#include "tools/score/score.h"

namespace score {

std::string format_problem(const Problem& p) {
    return p.at.file + ":" + std::to_string(p.at.line) + ": " + p.message;
}

namespace {

// Edits (insertions, deletions, substitutions, swaps of neighbours) from a to b.
size_t spelling_distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string closest_name(const std::string& word, const std::vector<std::string>& candidates) {
    // A slip is at most one edit in four letters (two for short words, at least one).
    const size_t allowed = std::max<size_t>(1, std::min<size_t>(3, (word.size() + 1) / 3));
    std::string best;
    size_t best_distance = allowed + 1;
    for (const std::string& c : candidates) {
        const size_t d = spelling_distance(word, c);
        if (d < best_distance) best = c, best_distance = d;
    }
    return best;
}

namespace {

struct Line {
    SourcePos pos;
    std::vector<std::string> words;
};

// A statement that cannot be read; caught per line and turned into a Problem.
struct Bad {
    std::string message;
};

// The expansion outgrew its limit: reported once, and the reading stops.
struct TooLarge {
    SourcePos at;
    std::string message;
};

// A character as the message shows it: a tab or a control byte is spelt out.
std::string visible(char c) {
    if (c == '\t') return "\\t";
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) {
        char text[8];
        std::snprintf(text, sizeof text, "\\x%02X", u);
        return text;
    }
    return std::string(1, c);
}

std::string range_text(int64_t low, int64_t high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

// Throws unless low <= v <= high; v was computed in 64 bits from bounded parts.
int64_t in_range(int64_t v, int64_t low, int64_t high, const std::string& what) {
    if (v < low || v > high) {
        throw Bad{what + " " + std::to_string(v) + " is out of the range " + range_text(low, high)};
    }
    return v;
}

// Splits a line into words. A quoted string is one word (without its quotes);
// '#' at the start of a word opens a comment (so D#3 is a note, not a comment).
std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        if (text[i] == '#') break;
        if (text[i] == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos) throw Bad{"unterminated string"};
            words.push_back("\"" + text.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
        words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

// " (did you mean 'kick'?)", or "" when nothing is close.
std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = closest_name(word, candidates);
    return near.empty() ? "" : " (did you mean '" + near + "'?)";
}

std::vector<std::string> track_names() {
    std::vector<std::string> names;
    for (const auto& row : TRACK_ROWS) names.push_back(row.name);
    return names;
}

std::vector<std::string> curve_names() {
    std::vector<std::string> names;
    for (const auto& row : CURVE_ROWS) names.push_back(row.name);
    return names;
}

const std::vector<std::string> TOP_STATEMENTS = {"include", "profile", "section", "chord",
                                                 "pattern", "track",   "curve"};
const std::vector<std::string> NOTE_STATEMENTS = {"step", "vel",   "levels", "note",  "hits",
                                                  "line", "chord", "play",   "repeat"};

bool is_string(const std::string& w) {
    return !w.empty() && w[0] == '"';
}

// A whole number in low..high. The digits are summed in 64 bits and the sum
// stops growing once it has left the range, so no spelling of a number can
// wrap into an accepted value.
int64_t parse_integer(const std::string& w, const char* what, int64_t low, int64_t high) {
    if (w.empty()) throw Bad{std::string("missing ") + what};
    size_t i = (w[0] == '-' || w[0] == '+') ? 1 : 0;
    if (i == w.size() || w.find_first_not_of("0123456789", i) != std::string::npos) {
        throw Bad{std::string("'") + w + "' is not a whole number (" + what + ")"};
    }
    const int64_t cap = std::max(high, -low) + 1;  // far below 2^62 for every caller
    int64_t magnitude = 0;
    for (; i < w.size(); ++i) {
        magnitude = std::min(cap, magnitude * 10 + (w[i] - '0'));
    }
    const int64_t v = w[0] == '-' ? -magnitude : magnitude;
    if (v < low || v > high) {
        throw Bad{std::string(what) + " '" + w + "' is out of the range " + range_text(low, high)};
    }
    return v;
}

// A decimal as an exact fraction numerator / 10^digits. Its numerator stays
// below 10^12, so that it can be multiplied by a bar of ticks in 64 bits.
constexpr int64_t MAX_DECIMAL = 1000000000000;
struct Decimal {
    int64_t numerator = 0;
    int64_t scale = 1;
};

Decimal parse_decimal(const std::string& w, const char* what) {
    Decimal d;
    size_t i = 0;
    bool negative = false;
    if (i < w.size() && (w[i] == '-' || w[i] == '+')) negative = w[i++] == '-';
    bool digits = false, point = false;
    for (; i < w.size(); ++i) {
        char c = w[i];
        if (c == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && d.scale < 100000000) {
            if (d.numerator >= MAX_DECIMAL / 10) {
                throw Bad{std::string("'") + w + "' is too large (" + what + ")"};
            }
            d.numerator = d.numerator * 10 + (c - '0');
            if (point) d.scale *= 10;
            digits = true;
        } else {
            digits = false;
            break;
        }
    }
    if (!digits) throw Bad{std::string("'") + w + "' is not a number (" + what + ")"};
    if (negative) d.numerator = -d.numerator;
    return d;
}

double to_double(const Decimal& d) {
    return static_cast<double>(d.numerator) / d.scale;
}

// value x factor as a whole number of ticks, or a complaint about the grid.
int64_t exact_ticks(const Decimal& d, int64_t factor, const std::string& w) {
    int64_t t = d.numerator * factor;
    if (t % d.scale != 0) throw Bad{"'" + w + "' is off the tick grid"};
    return t / d.scale;
}

// Every time and duration lies within 2^24 ticks (about 24 hours) of the
// track's start, so that sums of a few of them stay far inside 64 bits and the
// packed 32-bit words hold them.
constexpr int64_t MAX_TICKS = int64_t{1} << 24;
constexpr int64_t MAX_BAR = MAX_TICKS / TICKS_PER_BAR;
constexpr int64_t MAX_FRACTION = 1000000;

// The expansion of repeats and plays: at most this many notes and breakpoints
// in all, and this many statements run (repeats of nothing cost time too).
constexpr uint64_t MAX_EVENTS = 1000000;
constexpr uint64_t MAX_STATEMENTS = 10000000;

// A score file or an included one, and all of them together.
constexpr uint64_t MAX_SCORE_FILE = 4 * lf::files::MiB;
constexpr uint64_t MAX_SCORE_TOTAL = 16 * lf::files::MiB;
// Repeats inside repeats: deeper nesting is refused (it would only deepen the
// reader's recursion; the score nests two at most).
constexpr int MAX_REPEAT_DEPTH = 16;
// Includes deeper than this are refused.
constexpr int MAX_INCLUDE_DEPTH = 8;

// Durations: "1/4", "3/16", "2" (bars), "5t", "1/4+1/16".
int64_t parse_duration(const std::string& w) {
    if (w.empty()) throw Bad{"missing duration"};
    int64_t total = 0;
    size_t start = 0;
    while (start <= w.size()) {
        size_t plus = w.find('+', start);
        std::string term =
            w.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (term.empty()) throw Bad{"'" + w + "' is not a duration"};
        if (term.back() == 't') {
            total += parse_integer(term.substr(0, term.size() - 1), "ticks", 0, MAX_TICKS);
        } else if (size_t slash = term.find('/'); slash != std::string::npos) {
            int64_t num = parse_integer(term.substr(0, slash), "duration", 0, MAX_FRACTION);
            int64_t den = parse_integer(term.substr(slash + 1), "duration", 0, MAX_FRACTION);
            if (den <= 0) throw Bad{"'" + w + "' divides by zero"};
            if ((num * TICKS_PER_BAR) % den != 0) throw Bad{"'" + w + "' is off the tick grid"};
            total += num * TICKS_PER_BAR / den;
        } else {
            total += exact_ticks(parse_decimal(term, "duration"), TICKS_PER_BAR, w);
        }
        if (total > MAX_TICKS || total < -MAX_TICKS) break;  // refused below; no sum grows on
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return in_range(total, 0, MAX_TICKS, "'" + w + "': the duration in ticks");
}

// Positions: "21", "21:3", "21:3.5", "21:3+1t", "1:1-480t", "-2.5s".
int64_t parse_position(const std::string& w) {
    if (w.size() > 1 && w.back() == 's' && w.find(':') == std::string::npos) {
        return in_range(
            exact_ticks(parse_decimal(w.substr(0, w.size() - 1), "seconds"), TICKS_PER_SECOND, w),
            -MAX_TICKS, MAX_TICKS, "'" + w + "': the time in ticks");
    }
    std::string base = w;
    int64_t offset = 0;
    size_t sign = w.find_first_of("+-", 1);
    if (sign != std::string::npos) {
        std::string off = w.substr(sign + 1);
        if (off.empty() || off.back() != 't')
            throw Bad{"'" + w + "': offsets are written in ticks, as +3t"};
        offset = parse_integer(off.substr(0, off.size() - 1), "tick offset", 0, MAX_TICKS);
        if (w[sign] == '-') offset = -offset;
        base = w.substr(0, sign);
    }
    size_t colon = base.find(':');
    int64_t bar = parse_integer(base.substr(0, colon), "bar", -MAX_BAR, MAX_BAR);
    int64_t beat_ticks = 0;
    if (colon != std::string::npos) {
        Decimal beat = parse_decimal(base.substr(colon + 1), "beat");
        beat.numerator -= beat.scale;  // beats count from 1
        beat_ticks = exact_ticks(beat, TICKS_PER_BEAT, w);
    }
    return in_range((bar - 1) * TICKS_PER_BAR + beat_ticks + offset, -MAX_TICKS, MAX_TICKS,
                    "'" + w + "': the time in ticks");
}

// Note names with sharps or flats and an octave (C4 = 60, D#0 = 15, G#-1 = 8),
// or plain note numbers.
int parse_note(const std::string& w) {
    if (!w.empty() && std::isdigit(static_cast<unsigned char>(w[0]))) {
        return static_cast<int>(parse_integer(w, "note number", 0, 127));
    }
    static const int pitch_class[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (w.empty() || w[0] < 'A' || w[0] > 'G') throw Bad{"'" + w + "' is not a note"};
    int pc = pitch_class[w[0] - 'A'];
    size_t i = 1;
    if (i < w.size() && w[i] == '#')
        pc += 1, ++i;
    else if (i < w.size() && w[i] == 'b')
        pc -= 1, ++i;
    if (i == w.size()) throw Bad{"'" + w + "' has no octave"};
    int64_t octave = parse_integer(w.substr(i), "octave", -1, 9);
    return static_cast<int>(
        in_range((octave + 1) * 12 + pc, 0, 127, "'" + w + "': the note number"));
}

int parse_velocity(const std::string& w) {
    return static_cast<int>(parse_integer(w, "velocity", 0, 127));
}

// A note with an optional velocity: "D#2" or "D#2:50".
void parse_note_velocity(const std::string& w, int& note, int& velocity) {
    size_t colon = w.find(':');
    note = parse_note(w.substr(0, colon));
    if (colon != std::string::npos) {
        velocity = parse_velocity(w.substr(colon + 1));
    }
}

// A note produced by a statement; `voice` picks the track of a chord block.
struct Event {
    int64_t on, duration;
    int note, velocity, voice;
    SourcePos from;
};

struct Pattern {
    int64_t length = 0;
    std::vector<Event> events;
};

// Settings that hold from their statement to the end of the enclosing block.
struct Voice {
    int64_t step = TICKS_PER_BAR / 16;
    int velocity = 64;
    std::map<char, int> levels;
};

class Reader {
  public:
    Reader(Score& score, std::vector<Problem>& problems) : score_(score), problems_(problems) {}

    void load(const std::string& path, const SourcePos& from, int depth) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
            const auto open = std::find(open_files_.begin(), open_files_.end(), id);
            if (open != open_files_.end()) {
                std::string chain;
                for (size_t k = static_cast<size_t>(open - open_files_.begin());
                     k < open_names_.size(); ++k) {
                    chain += open_names_[k] + " -> ";
                }
                problems_.push_back({from, "the includes form a cycle: " + chain + path});
                return;
            }
        }
        if (depth > MAX_INCLUDE_DEPTH) {
            problems_.push_back({from, "includes nest deeper than " +
                                           std::to_string(MAX_INCLUDE_DEPTH) + " files"});
            return;
        }
        std::string all, error;
        if (!lf::files::read_input(path, MAX_SCORE_FILE, all, error)) {
            problems_.push_back({from, error});
            return;
        }
        total_bytes_ += all.size();
        if (total_bytes_ > MAX_SCORE_TOTAL) {
            problems_.push_back({from, path + ": the score's files together exceed " +
                                           lf::files::size_text(MAX_SCORE_TOTAL)});
            return;
        }
        read_files_.push_back(path);
        open_files_.push_back({st.st_dev, st.st_ino});
        open_names_.push_back(path);
        std::istringstream in(all);
        std::string text;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            SourcePos pos{path, number};
            try {
                std::vector<std::string> words = split_words(text);
                if (words.empty()) continue;
                if (words[0] == "include") {
                    if (words.size() != 2) throw Bad{"include takes one file name"};
                    std::string name = is_string(words[1]) ? words[1].substr(1) : words[1];
                    auto dir = std::filesystem::path(path).parent_path();
                    load((dir / name).string(), pos, depth + 1);
                    continue;
                }
                lines_.push_back({pos, words});
            } catch (const Bad& bad) {
                problems_.push_back({pos, bad.message});
            }
        }
        open_files_.pop_back();
        open_names_.pop_back();
    }

    // Every file read, the main one first.
    std::vector<std::string> read_files_;

    const std::vector<std::string>& files_read() const { return read_files_; }

    void run() {
        try {
            size_t i = 0;
            while (i < lines_.size()) i = top_statement(i);
        } catch (const TooLarge& large) {
            problems_.push_back({large.at, large.message});
        }
    }

  private:
    Score& score_;
    std::vector<Problem>& problems_;
    std::vector<Line> lines_;
    std::map<std::string, Pattern> patterns_;
    std::map<std::string, std::vector<int>> chords_;   // -1: that voice rests
    std::vector<std::pair<dev_t, ino_t>> open_files_;  // the chain of includes being read
    std::vector<std::string> open_names_;
    uint64_t expanded_events_ = 0, expanded_statements_ = 0, total_bytes_ = 0;
    int repeat_depth_ = 0;

    // Repeats and plays multiply: the expansion is counted as it happens and
    // stops at the first statement that goes over a limit.
    void count_expansion(const Line& line, uint64_t events, uint64_t statements) {
        expanded_events_ += events;
        expanded_statements_ += statements;
        if (expanded_events_ > MAX_EVENTS) {
            throw TooLarge{line.pos, "the score expands to more than " +
                                         std::to_string(MAX_EVENTS) +
                                         " notes and breakpoints; the expansion stops here"};
        }
        if (expanded_statements_ > MAX_STATEMENTS) {
            throw TooLarge{line.pos, "the score's repeats run more than " +
                                         std::to_string(MAX_STATEMENTS) +
                                         " statements; the expansion stops here"};
        }
    }

    // One message per cause: a fault inside a repeat or a pattern played many
    // times is reported once, at its line.
    void complain(const SourcePos& at, const std::string& message) {
        for (const Problem& p : problems_) {
            if (p.at.line == at.line && p.at.file == at.file && p.message == message) return;
        }
        problems_.push_back({at, message});
    }

    static bool opens_block(const std::string& w) {
        return w == "pattern" || w == "track" || w == "curve" || w == "repeat";
    }

    // Index of the `end` that closes the block opened at line `open`. A block
    // ends in its own file and before the next pattern, track or curve (none
    // of them stands inside a block): one that reaches either without its
    // `end` is reported once, at the line that opened it, and is taken to
    // stop there, so the lines after it are read as they were meant.
    size_t find_end(size_t open) {
        int depth = 0;
        const std::string& file = lines_[open].pos.file;
        size_t i = open;
        for (; i < lines_.size(); ++i) {
            const std::string& w = lines_[i].words[0];
            if (i > open && (lines_[i].pos.file != file ||
                             (depth > 0 && (w == "pattern" || w == "track" || w == "curve")))) {
                break;
            }
            if (opens_block(w)) ++depth;
            if (w == "end" && --depth == 0) return i;
        }
        const bool at_file_end = i == lines_.size() || lines_[i].pos.file != file;
        complain(lines_[open].pos,
                 "'" + lines_[open].words[0] + "' has no matching 'end' (" +
                     (at_file_end ? std::string("the file ends first")
                                  : "the '" + lines_[i].words[0] + "' at line " +
                                        std::to_string(lines_[i].pos.line) + " comes first") +
                     ")");
        return i;
    }

    // The statement after a block that find_end closed at `end`.
    size_t after(size_t end) const {
        return end < lines_.size() && lines_[end].words[0] == "end" ? end + 1 : end;
    }

    // `profile free` or `profile lumenfrost`, before anything else of the score.
    void profile_statement(size_t i) {
        const Line& line = lines_[i];
        if (i != 0 || line.pos.file != score_.origin.file) {
            throw Bad{"the profile is chosen by the first statement of the main score"};
        }
        if (line.words.size() != 2) throw Bad{"write: profile free  (or: profile lumenfrost)"};
        if (line.words[1] == "free") {
            score_.profile = Profile::free;
        } else if (line.words[1] == "lumenfrost") {
            score_.profile = Profile::lumenfrost;
        } else {
            throw Bad{"unknown profile '" + line.words[1] + "'" +
                      did_you_mean(line.words[1], {"free", "lumenfrost"}) + ": free or lumenfrost"};
        }
    }

    size_t top_statement(size_t i) {
        const Line& line = lines_[i];
        const std::string& kw = line.words[0];
        try {
            if (kw == "pattern") return pattern_block(i);
            if (kw == "track") return track_block(i);
            if (kw == "curve") return curve_block(i);
            if (kw == "section") {
                if (line.words.size() != 3) throw Bad{"section takes a name and a position"};
                score_.sections.push_back(
                    {line.words[1], static_cast<int32_t>(parse_position(line.words[2])), line.pos});
            } else if (kw == "chord") {
                if (line.words.size() < 3) throw Bad{"chord takes a name and its notes"};
                std::vector<int> notes;
                for (size_t k = 2; k < line.words.size(); ++k) {
                    notes.push_back(line.words[k] == "-" ? -1 : parse_note(line.words[k]));
                }
                chords_[line.words[1]] = notes;
            } else if (kw == "profile") {
                profile_statement(i);
            } else if (kw == "end") {
                throw Bad{"'end' without a block"};
            } else {
                throw Bad{"unknown statement '" + kw + "'" + did_you_mean(kw, TOP_STATEMENTS)};
            }
        } catch (const Bad& bad) {
            complain(line.pos, bad.message);
        }
        return i + 1;
    }

    size_t pattern_block(size_t i) {
        const Line& head = lines_[i];
        size_t end = find_end(i);
        if (head.words.size() != 3) throw Bad{"pattern takes a name and a length"};
        Pattern p;
        p.length = parse_duration(head.words[2]);
        if (p.length <= 0) throw Bad{"a pattern's length must be positive"};
        Voice voice;
        body(i + 1, end, 0, voice, p.events, nullptr);
        std::stable_sort(p.events.begin(), p.events.end(),
                         [](const Event& a, const Event& b) { return a.on < b.on; });
        patterns_[head.words[1]] = p;
        return after(end);
    }

    // `track 11 kick`, `track kick`, `track 1-6 chords`.
    size_t track_block(size_t i) {
        const Line& head = lines_[i];
        size_t end = find_end(i);
        if (head.words.size() < 2 || head.words.size() > 3) {
            complain(head.pos, "track takes a number and a name");
            return after(end);
        }
        int first = -1, last = -1;
        const std::string& spec = head.words[1];
        size_t dash = spec.find('-');
        if (dash != std::string::npos && dash > 0) {
            first = find_track(spec.substr(0, dash));
            last = find_track(spec.substr(dash + 1));
        } else {
            first = last = find_track(spec);
            if (first >= 0 && head.words.size() == 3 && find_track(head.words[2]) != first) {
                first = -1;
            }
        }
        if (first < 0 || last < first) {
            std::string named = spec + (head.words.size() == 3 ? " " + head.words[2] : "");
            const std::string& word =
                spec.substr(0, dash == std::string::npos ? spec.size() : dash);
            complain(head.pos,
                     "unknown track '" + named + "'" +
                         did_you_mean(
                             head.words.size() == 3 && find_track(word) >= 0 ? head.words[2] : word,
                             track_names()));
            return after(end);
        }
        for (int t = first; t <= last; ++t) {
            TrackPart& part = score_.tracks[t];
            if (part.declared.line == 0) part.declared = head.pos;
            part.name = TRACK_ROWS[t].name;
        }
        std::vector<Event> events;
        Voice voice;
        body(i + 1, end, 0, voice, events, nullptr);
        for (const Event& e : events) {
            int t = first + e.voice;
            if (t > last) {
                complain(e.from, "chord voice " + std::to_string(e.voice + 1) +
                                     " has no track in '" + spec + "'");
                continue;
            }
            if (e.on < -MAX_TICKS || e.on > MAX_TICKS || e.duration > MAX_TICKS) {
                complain(e.from, "a note at tick " + std::to_string(e.on) + " lasting " +
                                     std::to_string(e.duration) + " ticks lies outside " +
                                     range_text(-MAX_TICKS, MAX_TICKS));
                continue;
            }
            score_.tracks[t].notes.push_back({static_cast<int32_t>(e.on),
                                              static_cast<int32_t>(e.duration), e.note, e.velocity,
                                              e.from});
        }
        return after(end);
    }

    size_t curve_block(size_t i) {
        const Line& head = lines_[i];
        size_t end = find_end(i);
        int c = head.words.size() >= 2 ? find_curve(head.words[1]) : -1;
        if (c >= 0 && head.words.size() == 3 && find_curve(head.words[2]) != c) c = -1;
        if (c < 0 || head.words.size() > 3) {
            std::string named = head.words.size() >= 2 ? head.words[1] : "";
            if (head.words.size() == 3) named += " " + head.words[2];
            const std::string& word = head.words.size() == 3 && find_curve(head.words[1]) >= 0
                                          ? head.words[2]
                                          : head.words[1];
            complain(head.pos, "unknown curve '" + named + "'" +
                                   (head.words.size() >= 2 ? did_you_mean(word, curve_names())
                                                           : std::string()));
            return after(end);
        }
        CurvePart& part = score_.curves[c];
        if (part.declared.line == 0) part.declared = head.pos;
        part.name = CURVE_ROWS[c].name;
        Voice unused;
        std::vector<Event> none;
        body(i + 1, end, 0, unused, none, &part.points);
        return after(end);
    }

    // Runs the statements of lines [from, to) shifted by `offset` ticks. Notes go
    // to `out`; breakpoints to `points` (non-null inside a curve block).
    void body(size_t from, size_t to, int64_t offset, Voice& voice, std::vector<Event>& out,
              std::vector<Breakpoint>* points) {
        for (size_t i = from; i < to; ++i) {
            const Line& line = lines_[i];
            const std::string& kw = line.words[0];
            const size_t events_before = out.size() + (points ? points->size() : 0);
            count_expansion(line, 0, 1);
            if (kw == "repeat") {
                size_t end = std::min(find_end(i), to);
                try {
                    repeat(line, i + 1, end, offset, voice, out, points);
                } catch (const Bad& bad) {
                    complain(line.pos, bad.message);
                }
                i = end;
                continue;
            }
            if (kw == "pattern" || kw == "track" || kw == "curve") {
                complain(line.pos, "'" + kw + "' cannot stand inside another block");
                i = std::min(find_end(i), to);
                continue;
            }
            try {
                if (points) {
                    curve_statement(line, offset, *points);
                } else {
                    note_statement(line, offset, voice, out);
                }
            } catch (const Bad& bad) {
                complain(line.pos, bad.message);
            }
            count_expansion(line, out.size() + (points ? points->size() : 0) - events_before, 0);
        }
    }

    void repeat(const Line& line, size_t from, size_t to, int64_t offset, Voice& voice,
                std::vector<Event>& out, std::vector<Breakpoint>* points) {
        const auto& w = line.words;
        if (w.size() != 4 || w[2] != "every") throw Bad{"write: repeat COUNT every DURATION"};
        int64_t count = parse_integer(w[1], "repeat count", 1, 10000);
        int64_t every = parse_duration(w[3]);
        if (repeat_depth_ >= MAX_REPEAT_DEPTH) {
            throw Bad{"repeats nest deeper than " + std::to_string(MAX_REPEAT_DEPTH)};
        }
        struct Nesting {
            int& depth;
            explicit Nesting(int& d) : depth(++d) {}
            ~Nesting() { --depth; }
        } nesting(repeat_depth_);
        for (int64_t k = 0; k < count; ++k) {
            count_expansion(line, 0, 1);  // a repeat of nothing is work too
            body(from, to, offset + k * every, voice, out, points);
        }
    }

    void curve_statement(const Line& line, int64_t offset, std::vector<Breakpoint>& points) {
        const auto& w = line.words;
        if (w[0] != "at") {
            throw Bad{"unknown curve statement '" + w[0] + "' (a curve holds `at` lines)"};
        }
        if (w.size() != 3 && !(w.size() == 5 && w[3] == "k")) {
            throw Bad{"write: at POSITION VALUE [k SHAPE]"};
        }
        Breakpoint b;
        b.time = static_cast<int32_t>(in_range(parse_position(w[1]) + offset, -MAX_TICKS, MAX_TICKS,
                                               "the breakpoint's time"));
        double value = to_double(parse_decimal(w[2], "value"));
        double shape = w.size() == 5 ? to_double(parse_decimal(w[4], "shape")) : 0.0;
        if (shape < -1.0 || shape > 1.0) throw Bad{"shape " + w[4] + " is out of range -1..1"};
        if (value < -16384.0 || value > 16384.0) throw Bad{"value " + w[2] + " is out of range"};
        b.value = value_to_units(value);
        b.shape = value_to_units(shape);
        b.from = line.pos;
        points.push_back(b);
    }

    void note_statement(const Line& line, int64_t offset, Voice& voice, std::vector<Event>& out) {
        const auto& w = line.words;
        const std::string& kw = w[0];
        auto need = [&](size_t n, const char* usage) {
            if (w.size() != n) throw Bad{std::string("write: ") + usage};
        };
        if (kw == "step") {
            need(2, "step DURATION");
            voice.step = parse_duration(w[1]);
            if (voice.step <= 0) throw Bad{"step must be positive"};
        } else if (kw == "vel") {
            need(2, "vel VELOCITY");
            voice.velocity = parse_velocity(w[1]);
        } else if (kw == "levels") {
            if (w.size() < 2) throw Bad{"write: levels X=64 x=40 ..."};
            for (size_t k = 1; k < w.size(); ++k) {
                if (w[k].size() < 3 || w[k][1] != '=' || w[k][0] == '.' || w[k][0] == '-') {
                    throw Bad{"'" + w[k] + "' is not a level (write x=40)"};
                }
                voice.levels[w[k][0]] = parse_velocity(w[k].substr(2));
            }
        } else if (kw == "note") {
            if (w.size() != 4 && w.size() != 5)
                throw Bad{"write: note POSITION NOTE DURATION [VELOCITY]"};
            int velocity = w.size() == 5 ? parse_velocity(w[4]) : voice.velocity;
            out.push_back({parse_position(w[1]) + offset, parse_duration(w[3]), parse_note(w[2]),
                           velocity, 0, line.pos});
        } else if (kw == "hits") {
            need(4, "hits POSITION NOTE \"X..x\"");
            if (!is_string(w[3])) throw Bad{"the hits of a row are written in quotes"};
            hits(line, parse_position(w[1]) + offset, parse_note(w[2]), w[3].substr(1), voice, out);
        } else if (kw == "line") {
            need(3, "line POSITION \"D#2 - . F#2\"");
            if (!is_string(w[2])) throw Bad{"the notes of a line are written in quotes"};
            melodic_line(line, parse_position(w[1]) + offset, w[2].substr(1), voice, out);
        } else if (kw == "chord") {
            chord(line, offset, out);
        } else if (kw == "play") {
            play(line, offset, out);
        } else {
            throw Bad{"unknown statement '" + kw + "'" + did_you_mean(kw, NOTE_STATEMENTS)};
        }
    }

    // "X..x-|o..." : a letter strikes (velocity from `levels`), '-' holds the
    // last hit one more step, '.' rests, '|' and spaces only guide the eye.
    void hits(const Line& line, int64_t at, int note, const std::string& row, const Voice& voice,
              std::vector<Event>& out) {
        bool holding = false;
        for (char c : row) {
            if (c == '|' || c == ' ') continue;
            if (c == '-') {
                if (!holding) throw Bad{"'-' holds nothing"};
                out.back().duration += voice.step;
            } else if (c != '.') {
                auto level = voice.levels.find(c);
                if (level == voice.levels.end()) throw Bad{"no level for '" + visible(c) + "'"};
                out.push_back({at, voice.step, note, level->second, 0, line.pos});
                holding = true;
            } else {
                holding = false;
            }
            at += voice.step;
        }
    }

    // "D#2 - . F#2:50 -": one word per step; a note name strikes, '-' holds,
    // '.' rests, '|' only guides the eye.
    void melodic_line(const Line& line, int64_t at, const std::string& text, const Voice& voice,
                      std::vector<Event>& out) {
        std::istringstream words(text);
        std::string word;
        bool holding = false;
        while (words >> word) {
            if (word == "|") continue;
            if (word == "-") {
                if (!holding) throw Bad{"'-' holds nothing"};
                out.back().duration += voice.step;
            } else if (word == ".") {
                holding = false;
            } else {
                int note = 0, velocity = voice.velocity;
                parse_note_velocity(word, note, velocity);
                out.push_back({at, voice.step, note, velocity, 0, line.pos});
                holding = true;
            }
            at += voice.step;
        }
    }

    // chord POSITION DURATION VELOCITIES NAME   or   ... NOTE NOTE - NOTE
    // VELOCITIES is one number for all voices or one per voice: 54/50/47.
    void chord(const Line& line, int64_t offset, std::vector<Event>& out) {
        const auto& w = line.words;
        if (w.size() < 5) throw Bad{"write: chord POSITION DURATION VELOCITY NAME"};
        int64_t at = parse_position(w[1]) + offset;
        int64_t duration = parse_duration(w[2]);
        std::vector<int> velocities;
        std::stringstream vs(w[3]);
        for (std::string v; std::getline(vs, v, '/');) {
            velocities.push_back(parse_velocity(v));
        }
        std::vector<int> notes;
        if (w.size() == 5 && chords_.count(w[4])) {
            notes = chords_[w[4]];
        } else {
            for (size_t k = 4; k < w.size(); ++k) {
                notes.push_back(w[k] == "-" ? -1 : parse_note(w[k]));
            }
        }
        // One velocity per voice also says how many voices sound: 50/47/47 plays
        // the chord's first three tones.
        if (velocities.size() > notes.size()) {
            throw Bad{"more velocities than chord voices"};
        }
        size_t voices = velocities.size() == 1 ? notes.size() : velocities.size();
        for (size_t v = 0; v < voices; ++v) {
            if (notes[v] < 0) continue;
            int velocity = velocities.size() == 1 ? velocities[0] : velocities[v];
            out.push_back({at, duration, notes[v], velocity, static_cast<int>(v), line.pos});
        }
    }

    // play NAME POSITION [x COUNT] [every DURATION] [tr SEMITONES] [vel DELTA]
    void play(const Line& line, int64_t offset, std::vector<Event>& out) {
        const auto& w = line.words;
        if (w.size() < 3 || w.size() % 2 == 0) {
            throw Bad{"write: play PATTERN POSITION [x COUNT] [every DURATION] [tr N] [vel N]"};
        }
        auto found = patterns_.find(w[1]);
        if (found == patterns_.end()) {
            std::vector<std::string> names;
            for (const auto& [name, pattern] : patterns_) names.push_back(name);
            throw Bad{"unknown pattern '" + w[1] + "'" + did_you_mean(w[1], names)};
        }
        const Pattern& p = found->second;
        int64_t at = parse_position(w[2]) + offset;
        int64_t count = 1, every = p.length;
        int transpose = 0, velocity = 0;
        for (size_t k = 3; k + 1 < w.size(); k += 2) {
            if (w[k] == "x")
                count = parse_integer(w[k + 1], "play count", 1, 10000);
            else if (w[k] == "every")
                every = parse_duration(w[k + 1]);
            else if (w[k] == "tr")
                transpose = static_cast<int>(parse_integer(w[k + 1], "transpose", -127, 127));
            else if (w[k] == "vel")
                velocity = static_cast<int>(parse_integer(w[k + 1], "velocity change", -127, 127));
            else
                throw Bad{"unknown option '" + w[k] + "' of play" +
                          did_you_mean(w[k], {"x", "every", "tr", "vel"})};
        }
        // Refused before the copies are made; counted once they are in `out`.
        if (expanded_events_ + static_cast<uint64_t>(count) * p.events.size() > MAX_EVENTS) {
            count_expansion(line, static_cast<uint64_t>(count) * p.events.size(), 0);
        }
        for (int64_t r = 0; r < count; ++r) {
            for (const Event& e : p.events) {
                out.push_back({at + r * every + e.on, e.duration, e.note + transpose,
                               e.velocity + velocity, e.voice, line.pos});
            }
        }
    }
};

}  // namespace

Score score_read(const std::string& path, std::vector<Problem>& problems,
                 std::vector<std::string>* files_read) {
    Score score;
    score.origin = SourcePos{path, 1};
    Reader reader(score, problems);
    reader.load(path, SourcePos{path, 0}, 0);
    reader.run();
    if (files_read) *files_read = reader.files_read();
    return score;
}

}  // namespace score
