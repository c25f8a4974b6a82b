// Outputs never cost a file: an output path that is an input, a folder or a
// device is refused before any work; a write that fails (here: a file-size
// limit, as a full disk) keeps the old file and leaves no temporary.
#include <gtest/gtest.h>

#include "tests/content_input/harness.h"

namespace content_test {
namespace {

const std::string SCORE_PACK = SCORE_PACK_EXE;
const std::string EMBED = EMBED_EXE;

TEST(OutputsAreNeverLost, ScorePackRefusesItsSourceAsOutput) {
    Scratch dir;
    const std::string content = copy_content(dir);
    const std::string score = content + "/score/lumenfrost.score";
    const std::string before = read_text(score);
    // The command of the report: the source named as the packed output.
    ToolRun r = run_tool("cd " + quoted(content + "/score") + " && " + SCORE_PACK +
                         " -o lumenfrost.score score.bin");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(read_text(score), before);
    // The same file by another name, and an included file as the MIDI output.
    fs::create_symlink(score, dir / "alias.score");
    r = run_tool(SCORE_PACK + " " + quoted(score) + " -o " + quoted(dir / "alias.score"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(score), before);
    const std::string drums = content + "/score/drums.score";
    const std::string drums_before = read_text(drums);
    r = run_tool(SCORE_PACK + " " + quoted(score) + " -o " + quoted(dir / "out.bin") + " --midi " +
                 quoted(drums));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(drums + ": cannot write: it is the input"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(drums), drums_before);
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
}

TEST(OutputsAreNeverLost, ScorePackRefusesAFolderOrADeviceAsOutput) {
    Scratch dir;
    const std::string score = source_dir() + "/content/score/lumenfrost.score";
    fs::create_directory(dir / "empty");
    ToolRun r = run_tool(SCORE_PACK + " " + quoted(score) + " -o " + quoted(dir / "empty"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("a folder"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(dir / "empty"));
    r = run_tool(SCORE_PACK + " " + quoted(score) + " -o " + quoted(dir / "out.bin") +
                 " --midi /dev/null");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("/dev/null: cannot write: it is a character device"), std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(OutputsAreNeverLost, ScorePackOnAFullDiskKeepsTheOldOutputs) {
    Scratch dir;
    const std::string score = source_dir() + "/content/score/lumenfrost.score";
    write_text(dir / "score.bin", "old");
    write_text(dir / "score.mid", "old midi");
    // score.bin is 31 KB, the MIDI file about as large: 8 KiB holds neither.
    ToolRun r = run_tool(SCORE_PACK + " " + quoted(score) + " -o " + quoted(dir / "score.bin") +
                             " --midi " + quoted(dir / "score.mid"),
                         8);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("cannot write (File too large); nothing was replaced"), std::string::npos)
        << r.err;
    EXPECT_EQ(lines_of(r.err), 1u) << r.err;
    EXPECT_EQ(read_text(dir / "score.bin"), "old");
    EXPECT_EQ(read_text(dir / "score.mid"), "old midi");
    EXPECT_EQ(dir.entries(), 2u) << "a temporary was left behind";
}

TEST(OutputsAreNeverLost, EmbedOnAFullDiskExitsWithOneAndKeepsTheOldSource) {
    Scratch dir;
    const std::string content = source_dir() + "/content";
    write_text(dir / "packed_data.cpp", "// the last good source\n");
    // The source is about 1.2 MB: 1 MiB cuts it as the report's tmpfs did.
    ToolRun r =
        run_tool(EMBED + " " + quoted(content) + " " + quoted(dir / "packed_data.cpp"), 1024);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("packed_data.cpp: cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(dir / "packed_data.cpp"), "// the last good source\n");
    EXPECT_EQ(dir.entries(), 1u) << "a temporary was left behind";
    // With room the same command succeeds and replaces the file.
    r = run_tool(EMBED + " " + quoted(content) + " " + quoted(dir / "packed_data.cpp"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(fs::file_size(dir / "packed_data.cpp"), 1000000u);
    EXPECT_EQ(dir.entries(), 1u);
}

TEST(OutputsAreNeverLost, EmbedRefusesAnInputOrAFolderAsOutput) {
    Scratch dir;
    const std::string content = copy_content(dir);
    const std::string sample = content + "/samples/sample3.bin";
    const std::string before = read_text(sample);
    ToolRun r = run_tool(EMBED + " " + quoted(content) + " " + quoted(sample));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(sample), before);
    r = run_tool(EMBED + " " + quoted(content) + " " + quoted(content + "/samples"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(fs::is_directory(content + "/samples"));
}

TEST(OutputsAreNeverLost, DrumToolsRefuseBadOutputsBeforeAnyWork) {
    Scratch dir;
    const std::string content = copy_content(dir);
    // A folder where source3.wav would go: refused before rendering anything.
    fs::create_directories(dir / "sources/source3.wav");
    ToolRun r = run_tool(std::string(DRUMSYNTH_EXE) + " " + quoted(content + "/drums") + " " +
                         quoted(dir / "sources"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("source3.wav: cannot write: it is a folder"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "sources/source1.wav")) << "work was done before the check";
    // The encoder told to write its samples over its sources.
    fs::remove_all(dir / "sources");
    fs::create_directory(dir / "sources");
    r = run_tool(std::string(DRUMSYNTH_EXE) + " " + quoted(content + "/drums") + " " +
                 quoted(dir / "sources"));
    ASSERT_EQ(r.status, 0) << r.err;
    fs::create_symlink(dir / "sources/source2.wav", dir / "sources/sample2.bin");
    const std::string source2 = read_text(dir / "sources/source2.wav");
    r = run_tool(std::string(DRUMCODEC_EXE) + " encode " + quoted(dir / "sources") + " " +
                 quoted(dir / "sources"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("sample2.bin: cannot write: it is the input"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(dir / "sources/source2.wav"), source2);
}

}  // namespace
}  // namespace content_test
