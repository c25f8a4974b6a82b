// Numbers of the score language are range-checked in 64 bits before they are
// narrowed: what was written too large is refused with file:line and the
// accepted range, never wrapped into an accepted value, and never computed
// with a signed overflow (the sanitizer build would stop on one).
#include <gtest/gtest.h>

#include "tests/content_input/harness.h"

namespace content_test {
namespace {

struct Wrapped {
    const char* name;
    const char* statement;  // line 2 of a track block of `pluck` (track 7)
    const char* says;       // part of the one complaint, after "a.score:2: "
};

// The test log names a case, not its bytes.
void PrintTo(const Wrapped& w, std::ostream* os) {
    *os << w.name;
}

class NumbersAreRangeChecked : public ::testing::TestWithParam<Wrapped> {};

TEST_P(NumbersAreRangeChecked, RefusedAtTheirLineWithTheRange) {
    Scratch dir;
    Read r = read_score(dir, std::string("track pluck\n") + GetParam().statement + "\nend\n");
    ASSERT_EQ(r.problems.size(), 1u) << r.text();
    EXPECT_EQ(r.problems[0].at.file, dir / "a.score");
    EXPECT_EQ(r.problems[0].at.line, 2);
    EXPECT_NE(r.problems[0].message.find(GetParam().says), std::string::npos) << r.text();
    EXPECT_TRUE(r.score.tracks[7].notes.empty()) << "a note was made of a wrapped number";
}

INSTANTIATE_TEST_SUITE_P(
    Score, NumbersAreRangeChecked,
    ::testing::Values(
        // 16777237 x 256 ticks wrapped to bar 21 before.
        Wrapped{"bar", "note 16777237:1 63 1/4 64",
                "bar '16777237' is out of the range -65536..65536"},
        Wrapped{"note", "note 21:1 4294967359 1/4 64",
                "note number '4294967359' is out of the range 0..127"},
        Wrapped{"velocity", "note 21:1 63 1/4 4294967360",
                "velocity '4294967360' is out of the range 0..127"},
        Wrapped{"duration", "note 21:1 63 99999999999999999999 64", "is too large (duration)"},
        Wrapped{"ticks", "note 21:1 63 99999999999999999999t 64",
                "ticks '99999999999999999999' is out of the range 0..16777216"},
        Wrapped{"vel", "vel 2147483647", "velocity '2147483647' is out of the range 0..127"},
        Wrapped{"octave", "note 21:1 C99999999999 1/4",
                "octave '99999999999' is out of the range -1..9"},
        Wrapped{"note_name", "note 21:1 B9 1/4", "the note number 131 is out of the range 0..127"},
        Wrapped{"offset", "note 21:1+99999999999t 63 1/4",
                "tick offset '99999999999' is out of the range"},
        Wrapped{"seconds", "note 99999999999s 63 1/4", "is out of the range -16777216..16777216"},
        Wrapped{"repeat", "repeat 99999999999 every 1t\nend",
                "repeat count '99999999999' is out of the range 1..10000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NumbersAreRangeCheckedInPlays, TransposeAndCountsAreBounded) {
    Scratch dir;
    Read r = read_score(dir,
                        "pattern p 1\nnote 1:1 60 1/4 64\nend\n"
                        "track pluck\n"
                        "play p 21:1 tr 2147483647\n"
                        "play p 21:1 x 4294967297\n"
                        "play p 21:1 vel -2147483648\n"
                        "end\n");
    ASSERT_EQ(r.problems.size(), 3u) << r.text();
    EXPECT_EQ(r.problems[0].at.line, 5);
    EXPECT_NE(r.problems[0].message.find("transpose '2147483647' is out of the range -127..127"),
              std::string::npos);
    EXPECT_EQ(r.problems[1].at.line, 6);
    EXPECT_NE(r.problems[1].message.find("play count '4294967297' is out of the range 1..10000"),
              std::string::npos);
    EXPECT_EQ(r.problems[2].at.line, 7);
    EXPECT_TRUE(r.score.tracks[7].notes.empty());
}

// A sum of many large terms: each is bounded, and the sum stops growing once
// it is out of range (the sanitizer build stops on a signed overflow).
TEST(NumbersAreRangeCheckedInSums, ALongDurationSumCannotOverflow) {
    Scratch dir;
    std::string sum = "-999999999999";
    for (int k = 0; k < 40000; ++k) sum += "+-999999999999";
    Read r = read_score(dir, "track pluck\nnote 21:1 63 " + sum + "\nend\n");
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].at.line, 2);
    EXPECT_NE(r.problems[0].message.find("the duration in ticks -"), std::string::npos);
    EXPECT_NE(r.problems[0].message.find("is out of the range 0..16777216"), std::string::npos);
}

TEST(NumbersAreRangeCheckedInCurves, ABreakpointFarAwayIsRefused) {
    Scratch dir;
    // at 16777276:1 landed on bar 60 before.
    Read r = read_score(
        dir, "curve gate\nat 16777276:1 1\nrepeat 10000 every 65536t\nat 1:1 1\nend\nend\n");
    ASSERT_FALSE(r.problems.empty());
    EXPECT_EQ(r.problems[0].at.line, 2) << r.text();
    EXPECT_NE(r.problems[0].message.find("out of the range"), std::string::npos) << r.text();
    // The repeat walks past 2^24 ticks from its 257th copy on: each later one is refused.
    EXPECT_EQ(r.score.curves[0].points.size(), 257u) << r.text();
}

}  // namespace
}  // namespace content_test
