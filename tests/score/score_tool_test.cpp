// score_pack as a program: the checked-in outputs are what the source packs
// to; bad input is reported as file:line and leaves the outputs untouched (and
// the free profile packs what breaks only the arrangement); the zigzag code
// and the MIDI export are read back independently.
#include <gtest/gtest.h>
#include <ostream>

#include "tests/score/score_test_util.h"
#include "tools/score/score.h"

using namespace score_test;

namespace {

ToolRun run_packer(const std::string& source, const std::string& out,
                   const std::string& midi = "") {
    return run_tool(std::string(SCORE_PACK_EXE) + " '" + source + "' -o '" + out + "'" +
                    (midi.empty() ? "" : " --midi '" + midi + "'"));
}

}  // namespace

TEST(ScorePack, CheckedInOutputsAreWhatTheSourcePacksTo) {
    Scratch dir;
    ToolRun run = run_packer(main_score(), (dir / "score.bin"), (dir / "score.mid"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_bytes((dir / "score.bin")), read_bytes(packed_score()))
        << "content/score/score.bin is stale: re-pack with `cmake --build <dir> --target score`";
    EXPECT_EQ(read_bytes((dir / "score.mid")),
              read_bytes(source_dir() + "/docs/score/lumenfrost.mid"))
        << "docs/score/lumenfrost.mid is stale";
    EXPECT_EQ(dir.entries(), 2) << "a temporary was left beside the outputs";
}

// What the free profile does with the same fault: faults of the arrangement
// alone pack there, what the engine could not play right (and what cannot be
// read) is refused with the same message.
enum class InFree { packs, refused };

// A fault put into a copy of the real score: `find` in `file` becomes
// `replace`, and the packer must complain at the line where `marker` stands.
struct BadInput {
    const char* name;
    const char* file;
    const char* find;
    const char* replace;
    const char* marker;
    const char* message;
    InFree free;
};
void PrintTo(const BadInput& c, std::ostream* os) {
    *os << c.name;
}

class ScorePackRejects : public ::testing::TestWithParam<BadInput> {};

TEST_P(ScorePackRejects, WithFileAndLineAndNoOutput) {
    const BadInput& bad = GetParam();
    ScoreCopy copy;
    copy.edit(bad.file, bad.find, bad.replace);
    const std::string out = copy.path("score.bin"), midi = copy.path("score.mid");
    write_text(out, "stale");
    write_text(midi, "stale");
    const auto files_before = copy.dir.entries();
    ToolRun run = run_packer(copy.path("lumenfrost.score"), out, midi);
    EXPECT_NE(run.status, 0);
    const int line = copy.line_of(bad.file, bad.marker);
    ASSERT_GT(line, 0);
    const std::string where = copy.path(bad.file) + ":" + std::to_string(line) + ": ";
    EXPECT_NE(run.err.find(where + bad.message), std::string::npos)
        << "expected " << where << bad.message << "\ngot:\n"
        << run.err;
    // One fault, one message: nothing that only follows from it.
    EXPECT_NE(run.err.find("score_pack: 1 problem(s)"), std::string::npos) << run.err;
    // Nothing is written and nothing the packer did not make is removed.
    EXPECT_EQ(read_text(out), "stale");
    EXPECT_EQ(read_text(midi), "stale");
    EXPECT_EQ(copy.dir.entries(), files_before) << "a temporary was left behind";

    ScoreCopy free;
    free.make_free();
    free.edit(bad.file, bad.find, bad.replace);
    const auto r = free.check();
    if (bad.free == InFree::packs) {
        EXPECT_TRUE(r.problems.empty()) << r.text();
    } else {
        EXPECT_NE(r.text().find(bad.message), std::string::npos) << r.text();
    }
}

// Faults added after the last include of the main file.
constexpr const char* MAIN = "lumenfrost.score";
constexpr const char* TAIL = "include mix.score";

INSTANTIATE_TEST_SUITE_P(
    Classes, ScorePackRejects,
    ::testing::Values(
        BadInput{"unknown_track", MAIN, TAIL, "include mix.score\ntrack 24 nothing\nend",
                 "track 24 nothing", "unknown track '24 nothing'", InFree::refused},
        BadInput{"track_name_mismatch", MAIN, TAIL, "include mix.score\ntrack 11 snare\nend",
                 "track 11 snare", "unknown track '11 snare'", InFree::refused},
        BadInput{"unknown_curve", MAIN, TAIL, "include mix.score\ncurve 37\nend", "curve 37",
                 "unknown curve '37'", InFree::refused},
        BadInput{"unknown_pattern", "drums.score", "play kick_phrase 2:1 x 2",
                 "play kick_phrse 2:1 x 2", "kick_phrse",
                 "unknown pattern 'kick_phrse' (did you mean 'kick_phrase'?)", InFree::refused},
        BadInput{
            "overlap", "drums.score", "note 67:4.5 A#1 1/8 64", "note 67:4.5 A#1 1/4 64",
            "note 68:1 A#1",
            "track 0 (break): the note at 68:1 (89.333 s) overlaps the one at 67:4.5 (89.167 s) "
            "(this track plays one note at a time)",
            InFree::refused},
        BadInput{
            "backwards", "drums.score", "note 67:4.5 A#1 1/8 64", "note 67:1 A#1 1/8 64",
            "note 67:1 A#1",
            "track 0 (break): the note at 67:1 (88.000 s) comes before the one at 67:4 (89.000 s)",
            InFree::refused},
        BadInput{
            "note_out_of_range", "leads.score", "note 74:3.5 D#6 1/8 64", "note 74:3.5 D#7 1/8 64",
            "D#7",
            "track 23 (blips): the note at 74:3.5 (98.167 s) is note 99, out of the range 81..93",
            InFree::packs},
        BadInput{"velocity_out_of_range", "drums.score", "note 60:3.5 65 1/2 64",
                 "note 60:3.5 65 1/2 80", "note 60:3.5 65",
                 "track 22 (crash_reverb): the note at 60:3.5 (79.500 s) has velocity 80, out of "
                 "the range 64..64",
                 InFree::packs},
        BadInput{"curve_value_out_of_range", "mix.score", "at 95:1 1\n", "at 95:1 1.5\n",
                 "at 95:1 1.5",
                 "curve 4 (bus_lowpass): the breakpoint at 95:1 (125.333 s) has value 1.5, out of "
                 "the range",
                 InFree::refused},
        BadInput{"curve_backwards", "mix.score", "at 61:1 0.6\n  at 95:1 0.9",
                 "at 61:1 0.6\n  at 45:1 0.9", "at 45:1 0.9",
                 "curve 2 (reverb_feedback): the breakpoint at 45:1 (58.667 s) comes before the "
                 "one at 61:1",
                 InFree::refused},
        BadInput{"fixed_curve_moved", "mix.score", "at 19:1.5 0\n  at 21:1 0\n",
                 "at 19:2 0\n  at 21:1 0\n", "at 19:2 0",
                 "curve 0 (gate): breakpoint 3 must be (24.1667 s, 0, k 0)", InFree::packs},
        BadInput{"note_count", "drums.score", "  note 60:3.5 65 1/2 64\n",
                 "  note 60:3.5 65 1/2 64\n  note 100:1 65 1/4 64\n", "note 100:1 65",
                 "track 22 (crash_reverb) has 2 notes; its part has 1, and this note at 100:1 "
                 "(132.000 s) is the first past them",
                 InFree::packs},
        BadInput{"curve_count", "mix.score", "  at 9:1 1\n  at 59:1 1\n  at 61:1 0.6\nend",
                 "  at 9:1 1\n  at 59:1 1 # the last one left\nend", "# the last one left",
                 "curve 14 (hats_width) has 3 breakpoints; its part has 4 (1 missing after this "
                 "line)",
                 InFree::packs},
        BadInput{"off_the_8_tick_grid", "drums.score", "note 60:3.5 65 1/2 64",
                 "note 60:3.5+3t 65 1/2 64", "60:3.5+3t",
                 "track 22 (crash_reverb): the note at 60:3.5+3t (79.516 s) is off the tick grid "
                 "of 8 ticks",
                 InFree::packs},
        BadInput{"seconds_off_the_tick_grid", "drums.score", "note 60:3.5 65 1/2 64",
                 "note 79.501s 65 1/2 64", "79.501s", "'79.501s' is off the tick grid",
                 InFree::refused},
        BadInput{"first_note_late", "leads.score", "note 73:1.5 D#4 1/4 38", "note 73:2 D#4 1/8 38",
                 "note 73:2 D#4",
                 "track 18 (glide2) must begin at 73:1.5 (96.167 s), not 73:2 (96.333 s)",
                 InFree::packs},
        BadInput{"chord_too_wide", "drums.score", "note 60:3.5 65 1/2 64",
                 "chord 60:3.5 1/2 64 65 68", "chord 60:3.5", "chord voice 2 has no track in '22'",
                 InFree::refused},
        BadInput{"grammar", "drums.score", "note 60:3.5 65 1/2 64", "note 60:3.5 65",
                 "note 60:3.5 65", "write: note POSITION NOTE DURATION", InFree::refused}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScorePack, UnwritableOutputFailsWithoutLeftovers) {
    Scratch dir;
    const std::string out = (dir / "missing/folder/score.bin");
    ToolRun run = run_packer(main_score(), out);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "something was written";
}

// Zigzag encoding against the decoding rule (v >> 1) ^ (0 - (v & 1)).
TEST(ScorePack, ZigzagRoundTripsAndOrdersBySize) {
    for (int32_t v : {0, -1, 1, -2, 2, -64, 63, -128, 127, 1000000, -1000000}) {
        uint32_t z = score::zigzag_encode(v);
        EXPECT_EQ(static_cast<int32_t>((z >> 1) ^ (0u - (z & 1u))), v);
    }
    EXPECT_EQ(score::zigzag_encode(-128), 255u);  // lowers a running note by 128
    EXPECT_EQ(score::zigzag_encode(127), 254u);
}

// Reads the exported MIDI file back: header, tracks, tempo, notes per track.
TEST(ScorePack, MidiExportHoldsTheWholeScore) {
    std::vector<score::Problem> problems;
    score::Score s = score::score_read(main_score(), problems);
    ASSERT_TRUE(problems.empty());
    std::vector<uint8_t> m = score::score_midi(s);
    auto be = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | m[at + i];
        return v;
    };
    ASSERT_GE(m.size(), 14u);
    EXPECT_EQ(std::string(m.begin(), m.begin() + 4), "MThd");
    EXPECT_EQ(be(4, 4), 6u);
    EXPECT_EQ(be(8, 2), 1u);    // format 1
    EXPECT_EQ(be(10, 2), 25u);  // conductor + 24 note lists
    EXPECT_EQ(be(12, 2), 64u);  // ticks per quarter = ticks per beat
    size_t at = 14;
    uint32_t tempo = 0;
    int total_notes = 0, tracks = 0;
    while (at + 8 <= m.size()) {
        ASSERT_EQ(std::string(m.begin() + at, m.begin() + at + 4), "MTrk");
        size_t end = at + 8 + be(at + 4, 4);
        ASSERT_LE(end, m.size());
        at += 8;
        int notes = 0, sounding = 0;
        uint64_t tick = 0, first_on = UINT64_MAX;
        bool ended = false;
        while (at < end) {
            uint32_t delta = 0;
            do delta = delta << 7 | (m[at] & 0x7f);
            while (m[at++] & 0x80);
            tick += delta;
            uint8_t status = m[at++];
            if (status == 0xff) {
                uint8_t type = m[at++];
                uint32_t len = 0;
                do len = len << 7 | (m[at] & 0x7f);
                while (m[at++] & 0x80);
                if (type == 0x51) tempo = be(at, 3);
                if (type == 0x2f) ended = true;
                at += len;
            } else if ((status & 0xf0) == 0x90) {
                ++notes, ++sounding, at += 2;
                first_on = std::min<uint64_t>(first_on, tick);
                EXPECT_EQ(sounding, 1) << "two notes at once in MIDI track " << tracks;
            } else {
                ASSERT_EQ(status & 0xf0, 0x80);
                --sounding, at += 2;
            }
        }
        EXPECT_TRUE(ended);
        if (tracks > 0) {
            EXPECT_EQ(notes, static_cast<int>(s.tracks[tracks - 1].notes.size()));
            if (notes > 0) {
                EXPECT_EQ(first_on, static_cast<uint64_t>(s.tracks[tracks - 1].notes[0].on));
            }
        }
        total_notes += notes;
        ++tracks;
    }
    EXPECT_EQ(tracks, 25);
    EXPECT_EQ(total_notes, 2510);
    EXPECT_EQ(tempo, 333333u);  // 60e6 / 180 microseconds per quarter
}
