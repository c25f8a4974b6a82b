// The free profile and the messages a composer acts on. A copy of the track's
// score, edited in one place, is read and checked as score_pack does: what the
// engine could not play right is refused in `free` too (the faults score_pack
// refuses are tried in both profiles in score_tool_test.cpp).
#include <gtest/gtest.h>

#include "tests/score/score_test_util.h"
#include "tools/score/score.h"

using namespace score_test;

namespace {

TEST(FreeProfile, StillRefusesWhatTheEngineCannotPlayRight) {
    struct Fault {
        const char* file;
        const char* find;
        const char* replace;
        const char* message;
    };
    const Fault faults[] = {
        {"drums.score", "note 60:3.5 65 1/2 64", "note 104:1 65 1 64", "lies outside the track"},
        // The engine's range, not the part's.
        {"mix.score", "at 95:1 1\n", "at 95:1 1.5\n", "has value 1.5, out of the range 0..1"},
        // Track 20 sounds through the lead's gate, shut 7 s after track 19's
        // last release at 128.167 s.
        {"leads.score", "track 20 lead2\n", "track 20 lead2\n  note 104:1 F#4 1/4 54\n",
         "would not sound: its voice plays only while track 19 (lead)"},
        {"mix.score", "curve 14 hats_width\n  at 1:1 0.16", "curve 14 hats_width\n  at 2:1 0.16",
         "must hold a value from the first frame"},
    };
    for (const Fault& f : faults) {
        ScoreCopy copy;
        copy.make_free();
        copy.edit(f.file, f.find, f.replace);
        const auto r = copy.check();
        ASSERT_FALSE(r.problems.empty()) << f.message;
        EXPECT_NE(r.text().find(f.message), std::string::npos) << r.text();
    }
}

// A free score of two lines: every list may be empty, the spare curves may be
// left out (they pack as one breakpoint at 0), a curve that drives the sound
// may not.
TEST(FreeProfile, PacksTheSmallestScoreThatDrivesEveryCurve) {
    Scratch dir;
    std::string text = "profile free\ntrack kick\n  note 1:1 69 1/4 64\nend\n";
    for (int c = 0; c < score::CURVE_COUNT; ++c) {
        if (lf::CURVE_ROWS[c].driven) {
            text += "curve " + std::to_string(c) + "\n  at 1:1 " +
                    (c == lf::CURVE_WIDTH ? "100" : "1") + "\nend\n";
        }
    }
    write_text((dir / "small.score"), text);
    std::vector<score::Problem> problems;
    score::Score s = score::score_read((dir / "small.score"), problems);
    score::score_check(s, problems);
    ASSERT_TRUE(problems.empty()) << score::format_problem(problems[0]);
    const Decoded d = decode(score::score_pack(s));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.lists[11].size(), 1u);
    EXPECT_EQ(d.lists[13].size(), 0u);
    ASSERT_EQ(d.curves[12].size(), 1u);  // spare12, left out
    EXPECT_EQ(d.curves[12][0].value, 0);
    EXPECT_EQ(d.curves[lf::CURVE_WIDTH][0].value, 100 * 128);

    // Without the gate curve, which the master chain multiplies by.
    write_text((dir / "small.score"),
               text.substr(0, text.find("curve 0")) + text.substr(text.find("curve 1\n")));
    problems.clear();
    s = score::score_read((dir / "small.score"), problems);
    score::score_check(s, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].message.find("curve 0 (gate) is never written"), std::string::npos);
}

TEST(Messages, PositionsAreBarBeatWithTheSecondsAfter) {
    EXPECT_EQ(score::position_text(0), "1:1 (0.000 s)");
    EXPECT_EQ(score::position_text(4640), "19:1.5 (24.167 s)");
    EXPECT_EQ(score::position_text(5249), "21:3+1t (27.339 s)");
    EXPECT_EQ(score::position_text(24081), "95:1.25+1t (125.422 s)");
    EXPECT_EQ(score::position_text(-480), "-1:1.5 (-2.500 s)");
}

TEST(Messages, OneCausePerMessage) {
    // A `track` block without its `end`: one message, at the line that opened
    // it, however much of the score follows.
    {
        ScoreCopy copy;
        const std::string all = copy.text("drums.score");
        const size_t open = all.find("track 9 ride");
        const size_t end = all.find("\nend", open);
        copy.edit("drums.score", all.substr(open, end + 4 - open), all.substr(open, end - open));
        const auto r = copy.check();
        ASSERT_EQ(r.problems.size(), 1u) << r.text();
        EXPECT_EQ(r.problems[0].at.line, copy.line_of("drums.score", "track 9 ride"));
        EXPECT_NE(r.problems[0].message.find("'track' has no matching 'end'"), std::string::npos);
    }
    // A slip inside a pattern played many times: one message.
    {
        ScoreCopy copy;
        copy.edit("drums.score", "hits 1:1 69 \"X... .... ..x. .... | X... ..o. ..x. ....\"",
                  "hits 1:1 69 \"Z... .... ..x. .... | X... ..o. ..x. ....\"");
        const auto r = copy.check();
        ASSERT_EQ(r.problems.size(), 1u) << r.text();
        EXPECT_NE(r.problems[0].message.find("no level for 'Z'"), std::string::npos);
    }
}

TEST(Messages, UnknownNamesSuggestTheNearestOne) {
    struct Slip {
        const char* find;
        const char* replace;
        const char* suggestion;
    };
    // (A misspelt pattern is in score_pack's fault table.)
    const Slip slips[] = {
        {"track 11 kick", "track 11 kik", "unknown track '11 kik' (did you mean 'kick'?)"},
        {"track 11 kick", "trak 11 kick", "unknown statement 'trak' (did you mean 'track'?)"},
        {"curve 14 hats_width", "curve hats_widht", "(did you mean 'hats_width'?)"},
    };
    for (const Slip& s : slips) {
        ScoreCopy copy;
        copy.edit(s.find[0] == 'c' ? "mix.score" : "drums.score", s.find, s.replace);
        const auto r = copy.check();
        EXPECT_NE(r.text().find(s.suggestion), std::string::npos) << r.text();
    }
    EXPECT_EQ(score::closest_name("zzzz", {"kick", "snare"}), "");
}

// A bass note outside F# major is a warning: the score still packs.
TEST(Messages, NotesOutsideTheBanksKeyWarn) {
    ScoreCopy copy;
    EXPECT_TRUE(copy.check().warnings.empty());
    copy.edit("bass.score", "note 18:1.5 D#0 3/8 64", "note 18:1.5 D0 3/8 64");
    const auto r = copy.check();
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].at.line, copy.line_of("bass.score", "note 18:1.5 D0"));
    EXPECT_NE(r.warnings[0].message.find("outside the F# major scale"), std::string::npos);
    // Only this, and the range of the part it leaves.
    for (const auto& p : r.problems) {
        EXPECT_NE(p.message.find("spans notes"), std::string::npos) << score::format_problem(p);
    }
}

}  // namespace
