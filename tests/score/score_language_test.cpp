// The score language: what each way of writing a note puts on the tick grid.
// Each case writes one statement into track 22 and compares the notes read
// with ticks worked out by hand (a bar is 256 ticks, a beat 64, bar:beat
// counts from 1:1).
#include <gtest/gtest.h>
#include <ostream>

#include "tests/score/score_test_util.h"
#include "tools/score/score.h"

using namespace score_test;

namespace {

struct Expected {
    int32_t on, duration, number, velocity;
};

struct LanguageCase {
    const char* name;
    const char* body;  // statements inside `track 22 crash_reverb ... end`
    std::vector<Expected> notes;
};
void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<score::Note> read_track22(const std::string& prelude, const std::string& body,
                                      std::vector<score::Problem>& problems) {
    Scratch dir;
    write_text((dir / "t.score"), prelude + "track 22 crash_reverb\n" + body + "\nend\n");
    score::Score s = score::score_read((dir / "t.score"), problems);
    return s.tracks[22].notes;
}

class Language : public ::testing::TestWithParam<LanguageCase> {};

const char* PRELUDE =
    "chord Dm D#3 F#3 A#3\n"
    "pattern two 1\n"
    "  note 1:1 60 1/16 40\n"
    "  note 1:3 62 1/8 50\n"
    "end\n";

}  // namespace

TEST_P(Language, PutsNotesWhereAMusicianMeansThem) {
    const LanguageCase& c = GetParam();
    std::vector<score::Problem> problems;
    auto notes = read_track22(PRELUDE, c.body, problems);
    for (const auto& p : problems) ADD_FAILURE() << score::format_problem(p);
    ASSERT_EQ(notes.size(), c.notes.size());
    for (size_t i = 0; i < notes.size(); ++i) {
        SCOPED_TRACE("note " + std::to_string(i));
        EXPECT_EQ(notes[i].on, c.notes[i].on);
        EXPECT_EQ(notes[i].duration, c.notes[i].duration);
        EXPECT_EQ(notes[i].number, c.notes[i].number);
        EXPECT_EQ(notes[i].velocity, c.notes[i].velocity);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statements, Language,
    ::testing::Values(
        // Bar 21 beat 3 plus one tick; 31 ticks long; A4 is note 69.
        LanguageCase{"tick_offset", "note 21:3+1t A4 31t 64", {{5249, 31, 69, 64}}},
        LanguageCase{"beat_fraction", "note 60:3.5 65 1/2 64", {{15264, 128, 65, 64}}},
        LanguageCase{"seconds", "note 5.5s 60 1/4+1/16 10", {{1056, 80, 60, 10}}},
        // Octaves start at C; G#-1 is 8, D#0 is 15, Bb3 is 58, C#6 is 85.
        LanguageCase{"note_names",
                     "note 1:1 G#-1 1/16 1\nnote 1:2 D#0 1/16 1\nnote 1:3 Bb3 1/16 1\n"
                     "note 1:4 C#6 1/16 1",
                     {{0, 16, 8, 1}, {64, 16, 15, 1}, {128, 16, 58, 1}, {192, 16, 85, 1}}},
        // Sixteenth grid: a letter strikes, '-' holds, '.' rests, '|' is ignored.
        LanguageCase{"hits",
                     "levels X=64 g=12\nhits 2:1 71 \"X.g- | ..X.\"",
                     {{256, 16, 71, 64}, {288, 32, 71, 12}, {352, 16, 71, 64}}},
        LanguageCase{"line_with_step_and_velocity",
                     "step 1/8\nvel 30\nline 3:2 \"D#4 - . F#4:50 .\"",
                     {{576, 64, 63, 30}, {672, 32, 66, 50}}},
        // A one-bar pattern three times, two bars apart, transposed, louder.
        LanguageCase{"play",
                     "play two 2:1 x 2 every 2 tr 12 vel 4",
                     {{256, 16, 72, 44}, {384, 32, 74, 54}, {768, 16, 72, 44}, {896, 32, 74, 54}}},
        LanguageCase{"repeat",
                     "repeat 3 every 1/4\n  note 1:1 60 1/8 20\nend",
                     {{0, 32, 60, 20}, {64, 32, 60, 20}, {128, 32, 60, 20}}},
        // A block of one track takes a one-voice chord.
        LanguageCase{"chord_one_voice", "chord 1:1 1/4 40 D#3", {{0, 64, 51, 40}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Language, ChordsSpreadOverConsecutiveTracks) {
    Scratch dir;
    write_text((dir / "c.score"),
               "chord Cs C#3 G#3 F4 - C#5\n"
               "track 1-5 chords\n"
               "  chord 2:2.5 1/4 60/50/49/48/47 Cs\n"
               "  chord 3:1 1 55/54 D#3 A#3\n"
               "end\n");
    std::vector<score::Problem> problems;
    score::Score s = score::score_read((dir / "c.score"), problems);
    EXPECT_TRUE(problems.empty());
    // Voices go to tracks 1, 2, 3, (4 rests), 5; the second chord sounds two voices.
    ASSERT_EQ(s.tracks[1].notes.size(), 2u);
    EXPECT_EQ(s.tracks[1].notes[0].number, 49);
    EXPECT_EQ(s.tracks[1].notes[0].on, 256 + 96);
    EXPECT_EQ(s.tracks[1].notes[1].number, 51);
    EXPECT_EQ(s.tracks[2].notes[1].velocity, 54);
    EXPECT_EQ(s.tracks[3].notes.size(), 1u);
    EXPECT_EQ(s.tracks[4].notes.size(), 0u);
    ASSERT_EQ(s.tracks[5].notes.size(), 1u);
    EXPECT_EQ(s.tracks[5].notes[0].number, 73);
    EXPECT_EQ(s.tracks[5].notes[0].velocity, 47);
}

TEST(Language, CurvesReadTimesValuesShapesAndJumps) {
    Scratch dir;
    write_text((dir / "k.score"),
               "curve 6 width\n"
               "  at 1:1 100\n"
               "  at 17:1.5 100 k 0.992\n"
               "  repeat 2 every 1\n"
               "    at 20:1 0 k -0.8125\n"
               "  end\n"
               "end\n"
               "curve rate\n"
               "  at -2.5s 1\n"
               "  at 96:2 0.8984 k 0.086\n"
               "end\n");
    std::vector<score::Problem> problems;
    score::Score s = score::score_read((dir / "k.score"), problems);
    EXPECT_TRUE(problems.empty());
    const auto& w = s.curves[6].points;
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].value, 12800);
    EXPECT_EQ(w[1].time, 4128);
    EXPECT_EQ(w[1].shape, 127);
    EXPECT_EQ(w[2].time, 4864);
    EXPECT_EQ(w[2].shape, -104);
    EXPECT_EQ(w[3].time, 5120);
    const auto& r = s.curves[7].points;
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].time, -480);
    EXPECT_EQ(r[1].time, 24384);
    EXPECT_EQ(r[1].value, 115);
    EXPECT_EQ(r[1].shape, 11);
}
