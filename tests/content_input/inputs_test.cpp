// Inputs are regular files of a stated size: an include of a folder or a
// device, a cycle of includes, an expansion that multiplies without end, a
// recipe that is a folder and a recording that holds NaN or nothing are each
// one clear message and exit 1.
#include <gtest/gtest.h>

#include <limits>

#include "tests/content_input/harness.h"

namespace content_test {
namespace {

const std::string SCORE_PACK = SCORE_PACK_EXE;

TEST(InputsAreRegularFiles, IncludesOfAFolderOrADeviceAreRefused) {
    Scratch dir;
    std::vector<score::Problem> problems =
        read_score(dir, "include /tmp\ninclude /dev/zero\n").problems;
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].at.line, 1);
    EXPECT_EQ(problems[0].message, "/tmp: is a folder, not a regular file");
    EXPECT_EQ(problems[1].at.line, 2);
    EXPECT_EQ(problems[1].message, "/dev/zero: is a character device, not a regular file");
    // The packer says so and writes nothing.
    ToolRun r =
        run_tool(SCORE_PACK + " " + quoted(dir / "a.score") + " -o " + quoted(dir / "out.bin"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(dir / "a.score" + ":1: /tmp: is a folder"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
}

TEST(InputsAreRegularFiles, AScoreFileOverTheLimitIsNotRead) {
    Scratch dir;
    write_text(dir / "big.score", "");
    fs::resize_file(dir / "big.score", 5 * 1024 * 1024);
    std::vector<score::Problem> problems = read_score(dir, "\ninclude big.score\n").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].at.line, 2);
    EXPECT_EQ(problems[0].message,
              dir / "big.score" + ": 5242880 bytes, more than the 4 MiB such a file may have");
}

TEST(InputsAreRegularFiles, ACycleOfIncludesIsReportedOnceWithItsChain) {
    Scratch dir;
    std::vector<score::Problem> problems =
        read_score(dir, "include self.score\n", "self.score").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message,
              "the includes form a cycle: " + dir / "self.score" + " -> " + dir / "self.score");

    write_text(dir / "b.score", "# b\ninclude a.score\n");
    problems = read_score(dir, "include b.score\n").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].at.file, dir / "b.score");
    EXPECT_EQ(problems[0].at.line, 2);
    EXPECT_EQ(problems[0].message, "the includes form a cycle: " + dir / "a.score" + " -> " +
                                       dir / "b.score" + " -> " + dir / "a.score");
}

TEST(InputsAreRegularFiles, TheExpansionStopsAtItsLimit) {
    Scratch dir;
    // 10^8 notes before: 18 s and then bad_alloc.
    const std::string nested = "track pluck\nrepeat 10000 every 1t\nrepeat 10000 every 1t\n";
    std::vector<score::Problem> problems =
        read_score(dir, nested + "note 1:1 60 1t\nend\nend\nend\n").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].at.line, 4);
    EXPECT_EQ(problems[0].message,
              "the score expands to more than 1000000 notes and breakpoints; the expansion "
              "stops here");
    // Repeats of nothing cost time too.
    problems = read_score(dir, nested + "repeat 10000 every 1t\nend\nend\nend\nend\n").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].message.find("more than 10000000 statements"), std::string::npos);
}

TEST(InputsAreRegularFiles, RepeatsNestSixteenDeepAtMost) {
    Scratch dir;
    std::string text = "track pluck\n";
    for (int k = 0; k < 17; ++k) text += "repeat 1 every 1t\n";
    text += "note 21:1 63 1/4\n";
    for (int k = 0; k < 18; ++k) text += "end\n";
    std::vector<score::Problem> problems = read_score(dir, text).problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].at.line, 18);
    EXPECT_EQ(problems[0].message, "repeats nest deeper than 16");
}

TEST(InputsAreRegularFiles, ATabInAHitsRowIsShown) {
    Scratch dir;
    std::vector<score::Problem> problems =
        read_score(dir, "track kick\nlevels X=64\nhits 1:1 36 \"X.\tX\"\nend\n").problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message, "no level for '\\t'");
}

TEST(InputsAreRegularFiles, DrumsynthNamesARecipeThatIsAFolder) {
    Scratch dir;
    const std::string content = copy_content(dir);
    fs::remove(content + "/drums/kick.recipe");
    fs::create_directory(content + "/drums/kick.recipe");
    fs::create_directory(dir / "out");
    ToolRun r = run_tool(std::string(DRUMSYNTH_EXE) + " " + quoted(content + "/drums") + " " +
                         quoted(dir / "out"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err,
              "drumsynth: " + content + "/drums/kick.recipe: is a folder, not a regular file\n");
}

// A mono float WAV header and its frames.
std::string wav(const std::vector<float>& frames) {
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t data = static_cast<uint32_t>(frames.size() * 4);
    return "RIFF" + u32(36 + data) + "WAVEfmt " + u32(16) + u16(3) + u16(1) + u32(44100) +
           u32(44100 * 4) + u16(4) + u16(32) + "data" + u32(data) +
           std::string(reinterpret_cast<const char*>(frames.data()), data);
}

// Six good sources and a bad one: the bad one is named, and no sample is
// written, not even those of the good sources.
TEST(InputsAreRegularFiles, DrumcodecRefusesAGarbledSourceNaNNothingAndADevice) {
    Scratch dir;
    const std::string content = copy_content(dir);
    fs::create_directory(dir / "sources");
    for (int n = 1; n <= 7; ++n) {
        write_text(dir / ("sources/source" + std::to_string(n) + ".wav"),
                   wav(std::vector<float>(3000, 0.25f)));
    }
    const std::string samples = content + "/samples";
    auto all_samples = [&] {
        std::string all;
        for (int n = 1; n <= 7; ++n)
            all += read_text(samples + "/sample" + std::to_string(n) + ".bin");
        return all;
    };
    const std::string before = all_samples();
    auto encode = [&] {
        return run_tool(std::string(DRUMCODEC_EXE) + " encode " + quoted(dir / "sources") + " " +
                        quoted(samples));
    };
    write_text(dir / "sources/source3.wav", "RIFF....WAVEfmt garbage");
    ToolRun r = encode();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("source3.wav: not a mono 32-bit float 44100 Hz WAV file"),
              std::string::npos)
        << r.err;
    std::vector<float> frames(3000, 0.25f);
    frames[1234] = std::numeric_limits<float>::quiet_NaN();
    write_text(dir / "sources/source3.wav", wav(frames));
    r = encode();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "drumcodec: " + dir / "sources/source3.wav" +
                         ": frame 1234 is not a number; a recording holds finite samples only\n");
    frames[1234] = -std::numeric_limits<float>::infinity();
    write_text(dir / "sources/source3.wav", wav(frames));
    r = encode();
    EXPECT_NE(r.err.find("frame 1234 is infinite"), std::string::npos) << r.err;
    write_text(dir / "sources/source3.wav", wav({}));
    r = encode();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("source3.wav: holds no frames"), std::string::npos) << r.err;
    fs::remove(dir / "sources/source3.wav");
    fs::create_symlink("/dev/zero", dir / "sources/source3.wav");
    r = encode();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("source3.wav: is a character device"), std::string::npos) << r.err;
    fs::remove(dir / "sources/source3.wav");
    fs::create_directory(dir / "sources/source3.wav");
    r = encode();
    EXPECT_NE(r.err.find(dir / "sources/source3.wav" + ": is a folder"), std::string::npos)
        << r.err;
    EXPECT_EQ(all_samples(), before) << "a sample was written";
}

}  // namespace
}  // namespace content_test
