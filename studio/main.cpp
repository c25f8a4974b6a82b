// lumenfrost: the studio program for people who listen to the track and write
// it: sections and stems rendered to files, a loudness report, playback from
// a bar, and a loop that re-renders while the score is edited.
//
// Built without the engine's instruction sets: it checks the processor before
// anything calls into the engine.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "engine/frame/cpu_check.h"
#include "studio/commands.h"

namespace {

using studio::UsageError;

constexpr const char* POS_HELP =
    "bar:beat (75:1, 19:1.5; 180 BPM, 4 beats a bar, 1:1 is the first frame), seconds "
    "(95.5s), a section of the score (drop, final_drop, ...) or end";

std::string section_list() {
    std::string list;
    for (const studio::Section& s : studio::score_sections())
        list +=
            std::string(list.empty() ? "" : ", ") + s.name + " " + studio::bar_beat_text(s.start);
    return list;
}

// --from / --to / --section into a range of frames.
studio::Range range_of(const std::string& from, const std::string& to, const std::string& section) {
    const auto& sections = studio::score_sections();
    if (!section.empty()) {
        if (!from.empty() || !to.empty())
            throw UsageError("--section names the whole range: give it without --from and --to");
        return studio::section_range(section, sections);
    }
    studio::Range r{0, TRACK_FRAMES};
    if (!from.empty()) r.from = studio::parse_position(from, sections);
    if (!to.empty()) r.to = studio::parse_position(to, sections);
    if (r.from >= r.to)
        throw UsageError("--from " + studio::bar_beat_text(r.from) + " is not before --to " +
                         studio::bar_beat_text(r.to) + ": nothing to render");
    return r;
}

// The format asked for, or the one the output's extension names.
studio::Format format_of(const std::string& format, const std::string& output) {
    if (!format.empty()) return studio::parse_format(format);
    if (output.size() > 5 && output.compare(output.size() - 5, 5, ".flac") == 0)
        return studio::Format::flac;
    return studio::Format::f32;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "lumenfrost: the track's studio. Renders the whole track or a part of it to WAV or "
        "FLAC, writes one file per voice and bus, reports loudness and peaks, plays from any "
        "bar, and re-renders while the score is edited. The frames are always exactly those "
        "of the full render: the engine runs from the first frame and keeps what was asked "
        "for.",
        "lumenfrost"};
    app.require_subcommand(1, 1);
    app.footer(std::string("Positions (POS): ") + POS_HELP +
               ".\nSections of the score: " + section_list() + ".");

    std::string from, to, section, format, output;
    bool no_report = false, json = false;
    auto* render = app.add_subcommand(
        "render",
        "Render the track, or a part of it, to a file, then print the loudness report. "
        "Without --from/--to/--section: the whole track, 138.17 s (6,093,150 frames; "
        "wavrender's WAV stops 6 s earlier, at 132.17 s).");
    render->add_option("--from", from, "first frame to write (POS, default 1:1)");
    render->add_option("--to", to, "where to stop, not included (POS, default end)");
    render->add_option("--section", section, "render exactly one section of the score");
    render->add_option("--format", format,
                       "f32 (32-bit float WAV, the engine's samples as they are), s24 (24-bit "
                       "WAV), s16 (16-bit WAV with TPDF dither, the same on every export), "
                       "flac (24-bit FLAC). Default: flac for an -o ending in .flac, else f32");
    render->add_option("-o,--output", output,
                       "the file to write (default lumenfrost.wav, or lumenfrost.flac); it is "
                       "replaced only once complete");
    render->add_flag("--no-report", no_report, "skip the loudness report");
    render->add_flag("--json", json, "print the report as JSON");
    render->footer(std::string("POS: ") + POS_HELP +
                   ". A progress bar with the time left is shown when standard error is a "
                   "terminal.\nExamples:\n  lumenfrost render -o track.flac\n  lumenfrost "
                   "render --from 75:1 --to 83:1 -o bars75-82.wav\n  lumenfrost render "
                   "--section drop --format s16 -o drop.wav");

    std::string stems_dir;
    auto* stems = app.add_subcommand(
        "stems",
        "Write one file per voice as it enters the mix (00-break, 14-bass, ..., noise-sweep) "
        "and per bus: bus-front (the front bus after its resonator bank), bus-main (the main "
        "bus before the master chain), master (the master chain's output) and output (the "
        "final output, the same samples as render). 20 files; default the whole track.");
    stems->add_option("DIR", stems_dir, "folder for the files (made if missing)")->required();
    stems->add_option("--from", from, "first frame (POS, default 1:1)");
    stems->add_option("--to", to, "where to stop, not included (POS, default end)");
    stems->add_option("--section", section, "exactly one section of the score");
    stems->add_option("--format", format, "f32 (default), s24, s16 or flac, as for render");
    stems->footer(std::string("POS: ") + POS_HELP + ".");

    std::string report_file, report_from;
    auto* report = app.add_subcommand(
        "report",
        "Measure a sound file: integrated loudness (LUFS), loudness range (LU), short-term "
        "maximum, true peak (dBTP), sample peak, samples above 1.0, DC offset, left/right "
        "balance, correlation over all and below 120 Hz; for the whole file and each section "
        "of the score it spans.");
    report->add_option("FILE", report_file, "WAV, FLAC or any file libsndfile reads")->required();
    report->add_option("--from", report_from,
                       "where in the track the file begins (POS, default 1:1), to place the "
                       "sections");
    report->add_flag("--json", json, "print JSON instead of a table");

    auto* play = app.add_subcommand(
        "play",
        "Play the track from a position: renders from the first frame at full speed, and "
        "plays once it is two seconds past POS. On a terminal a status line shows the time, "
        "bar:beat and section; space pauses, Esc (or q) stops. Without a sound card it stops "
        "at once with one line and exit status 1; SDL_AUDIODRIVER chooses SDL's driver.");
    play->add_option("--from", from, "where to start (POS, default 1:1)");
    play->footer(std::string("POS: ") + POS_HELP + ".");

    bool no_play = false;
    auto* watch = app.add_subcommand(
        "watch",
        "Edit the score and hear it: plays from POS (or, with --no-play, writes the WAV), "
        "then waits for a .score file in the score folder to change. On a change it re-packs "
        "the score with score_pack (a score with problems is reported and the last good "
        "score.bin and MIDI file stay), rebuilds this program in the build folder it was "
        "built in (cmake --build), and runs the new one again: play --from POS, or render "
        "-o FILE. Ctrl-C ends it.");
    watch->add_option("--from", from, "where to play or render from (POS, default 1:1)");
    watch->add_flag("--no-play", no_play, "write the file instead of playing");
    watch->add_option("-o,--output", output, "with --no-play: the file (default lumenfrost.wav)");
    watch->add_option("--format", format, "with --no-play: f32, s24, s16 or flac");
    watch->footer(std::string("POS: ") + POS_HELP + ".");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string name = app.get_subcommands().empty()
                               ? std::string("lumenfrost")
                               : "lumenfrost " + app.get_subcommands()[0]->get_name();
        studio::print_error(e.what());
        std::fprintf(stderr, "Run '%s --help' for the options.\n", name.c_str());
        return 2;
    }

    try {
        if (render->parsed()) {
            studio::RenderOptions o;
            o.range = range_of(from, to, section);
            o.format = format_of(format, output);
            o.output = output.empty()
                           ? std::string("lumenfrost.") + studio::format_extension(o.format)
                           : output;
            o.report = !no_report;
            o.json = json;
            if (!engine_runs_here("lumenfrost", "render")) return 1;
            return studio::run_render(o);
        }
        if (stems->parsed()) {
            studio::StemsOptions o;
            o.range = range_of(from, to, section);
            o.format = format_of(format, "");
            o.dir = stems_dir;
            if (!engine_runs_here("lumenfrost", "render")) return 1;
            return studio::run_stems(o);
        }
        if (report->parsed()) {
            uint32_t start = report_from.empty()
                                 ? 0
                                 : studio::parse_position(report_from, studio::score_sections());
            return studio::run_report(report_file, start, json);
        }
        if (play->parsed()) {
            uint32_t start =
                from.empty() ? 0 : studio::parse_position(from, studio::score_sections());
            if (start >= TRACK_FRAMES) throw UsageError("--from end leaves nothing to play");
            if (!engine_runs_here("lumenfrost", "play")) return 1;
            return studio::run_play(start);
        }
        if (watch->parsed()) {
            studio::WatchOptions o;
            if (!from.empty()) studio::parse_position(from, studio::score_sections());
            if (!format.empty()) studio::parse_format(format);
            if (!no_play && (!output.empty() || !format.empty()))
                throw UsageError("-o and --format go with --no-play");
            o.from = from;
            o.play = !no_play;
            o.output = output;
            o.format = format;
            return studio::run_watch(o, argv[0]);
        }
    } catch (const UsageError& e) {
        studio::print_error(e.what());
        std::fprintf(stderr, "Run 'lumenfrost %s --help' for the options.\n",
                     app.get_subcommands()[0]->get_name().c_str());
        return 2;
    }
    return 2;
}
