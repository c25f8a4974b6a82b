// score_pack: compiles the readable score into the engine's packed score and,
// on request, a Standard MIDI File.
//
//   score_pack content/score/lumenfrost.score -o content/score/score.bin
//              [--midi docs/score/lumenfrost.mid] [--depfile score.d] [--summary]
//
// --depfile names every file the score was read from, in the make syntax a
// build tool reads, so that an edit of any included file re-packs the score.
//
// Any problem is printed as `file:line: what is wrong`; then no output is
// written and whatever the output paths held stays as it was. An output is
// replaced only by a complete new file.
#include <cstdio>
#include <exception>
#include <string>

#include "engine/data/files.h"
#include "tools/score/arrangement.h"
#include "tools/score/score.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: score_pack SCORE -o OUT.bin [--midi OUT.mid] [--depfile OUT.d] "
                 "[--summary]\n");
    return 2;
}

void print_summary(const score::Score& s) {
    for (int t = 0; t < score::TRACK_COUNT; ++t) {
        const auto& notes = s.tracks[t].notes;
        int lo = 999, hi = -1, vlo = 999, vhi = -1;
        for (const auto& n : notes) {
            lo = std::min(lo, n.number), hi = std::max(hi, n.number);
            vlo = std::min(vlo, n.velocity), vhi = std::max(vhi, n.velocity);
        }
        long first = notes.empty() ? 0 : notes.front().on;
        long last = notes.empty() ? 0 : long{notes.back().on} + notes.back().duration;
        std::printf("track %2d %-9s %4zu/%-4d notes %3d..%-3d vel %3d..%-3d  %6ld..%-6ld ticks\n",
                    t, score::TRACK_ROWS[t].name, notes.size(), score::TRACK_ROWS[t].count, lo, hi,
                    vlo, vhi, first, last);
    }
    for (int c = 0; c < score::CURVE_COUNT; ++c) {
        std::printf("curve %2d %-22s %3zu/%-3d\n", c, score::CURVE_ROWS[c].name,
                    s.curves[c].points.size(), score::CURVE_ROWS[c].count);
    }
}

// A path as a make rule spells it: spaces, '#' and '$' escaped.
std::string make_word(const std::string& path) {
    std::string word;
    for (char c : path) {
        if (c == ' ' || c == '#') word += '\\';
        if (c == '$') word += '$';
        word += c;
    }
    return word;
}

// `PACKED: SOURCE INCLUDED...`, one rule.
std::string depfile_text(const std::string& packed, const std::vector<std::string>& read) {
    std::string text = make_word(packed) + ":";
    for (const std::string& file : read) text += " \\\n  " + make_word(file);
    return text + "\n";
}

int run(const std::string& source, const std::string& packed, const std::string& midi,
        const std::string& depfile, bool summary) {
    // The outputs are checked before any work: a source, a folder or a device
    // named as an output is refused, and nothing is touched.
    std::string error;
    std::vector<std::string> inputs{source};
    if (packed == midi || packed == depfile || (!midi.empty() && midi == depfile)) {
        std::fprintf(stderr, "score_pack: %s: named as both outputs\n", packed.c_str());
        return 1;
    }
    for (const std::string& out : {packed, midi, depfile}) {
        if (!out.empty() && !lf::files::check_output(out, inputs, error)) {
            std::fprintf(stderr, "score_pack: %s\n", error.c_str());
            return 1;
        }
    }

    std::vector<score::Problem> problems, warnings;
    score::Score s = score::score_read(source, problems, &inputs);
    if (problems.empty()) score::score_check(s, problems, &warnings);
    for (const auto& w : warnings) {
        score::Problem p = w;
        p.message = "warning: " + p.message;
        std::fprintf(stderr, "%s\n", score::format_problem(p).c_str());
    }
    if (summary) print_summary(s);
    if (!problems.empty()) {
        for (const auto& p : problems)
            std::fprintf(stderr, "%s\n", score::format_problem(p).c_str());
        std::fprintf(stderr, "score_pack: %zu problem(s); nothing written\n", problems.size());
        return 1;
    }
    // An included file may be an output too; the full list is known only now.
    for (const std::string& out : {packed, midi, depfile}) {
        if (!out.empty() && !lf::files::check_output(out, inputs, error)) {
            std::fprintf(stderr, "score_pack: %s\n", error.c_str());
            return 1;
        }
    }
    // The MIDI file first: when it cannot be written the packed score, which
    // the build reads, is left as it was.
    if (!midi.empty() && !lf::files::write_atomically(midi, score::score_midi(s), error)) {
        std::fprintf(stderr, "score_pack: %s\n", error.c_str());
        return 1;
    }
    if (!lf::files::write_atomically(packed, score::score_pack(s), error)) {
        std::fprintf(stderr, "score_pack: %s\n", error.c_str());
        return 1;
    }
    // Last: a build that finds no list of inputs packs again.
    if (!depfile.empty() &&
        !lf::files::write_atomically(depfile, depfile_text(packed, inputs), error)) {
        std::fprintf(stderr, "score_pack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string source, packed, midi, depfile;
    bool summary = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc)
            packed = argv[++i];
        else if (arg == "--midi" && i + 1 < argc)
            midi = argv[++i];
        else if (arg == "--depfile" && i + 1 < argc)
            depfile = argv[++i];
        else if (arg == "--summary")
            summary = true;
        else if (!arg.empty() && arg[0] != '-' && source.empty())
            source = arg;
        else
            return usage();
    }
    if (source.empty() || packed.empty()) return usage();
    try {
        return run(source, packed, midi, depfile, summary);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "score_pack: %s: %s; nothing written\n", source.c_str(), e.what());
        return 1;
    }
}
