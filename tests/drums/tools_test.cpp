// The command-line tools on bad input: a clear message, a non-zero exit, and
// no good file destroyed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/scratch.h"
#include "tools/drums/wav.h"

namespace {

using namespace lf::test;

// One scratch folder for this program's cases, a fresh sub-folder for each use.
fs::path fresh_dir(const char* name) {
    static const Scratch scratch;
    fs::path d = scratch.path / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// Seven mono sources of 3000 frames (the first one `first_frames` long).
fs::path sources(const char* name, size_t first_frames = 3000) {
    fs::path d = fresh_dir(name);
    for (int n = 1; n <= 7; ++n)
        drums::write_wav((d / ("source" + std::to_string(n) + ".wav")).string(),
                         std::vector<float>(n == 1 ? first_frames : 3000, 0.1f));
    return d;
}

TEST(Tools, SynthRejectsAMissingRecipeFolder) {
    fs::path out = fresh_dir("drums_synth_missing");
    ToolRun r = run_tool(std::string(DRUMSYNTH_PATH) + " " + (out / "nowhere").string() + " " +
                         out.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(Tools, SynthNamesTheBadLineAndKeepsTheOldOutput) {
    fs::path in = fresh_dir("drums_synth_bad_in"), out = fresh_dir("drums_synth_bad_out");
    for (auto& e : fs::directory_iterator(std::string(LUMENFROST_SOURCE_DIR) + "/content/drums"))
        fs::copy(e.path(), in / e.path().filename());
    write_text(in / "ride.recipe", read_text(in / "ride.recipe") + "\nshimmer = 3\n");
    write_text(out / "source1.wav", "the good file");
    ToolRun r = run_tool(std::string(DRUMSYNTH_PATH) + " " + in.string() + " " + out.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ride.recipe:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("unknown name 'room.shimmer'"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(out / "source1.wav"), "the good file");
}

TEST(Tools, EncoderRejectsASourceTooLongForItsBlocks) {
    fs::path in = sources("drums_codec_long", 20000), out = fresh_dir("drums_codec_long_out");
    ToolRun r =
        run_tool(std::string(DRUMCODEC_PATH) + " encode " + in.string() + " " + out.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("source1.wav: a signal of 20000 frames is longer than its 17 blocks carry"),
        std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(Tools, EncoderReportsAnUnwritableOutput) {
    fs::path in = sources("drums_codec_unwritable");
    ToolRun r = run_tool(std::string(DRUMCODEC_PATH) + " encode " + in.string() + " " +
                         (in / "no" / "such").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    ToolRun usage = run_tool(std::string(DRUMCODEC_PATH) + " decode");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

// A write that fails (a file-size limit, as a full disk) leaves the previous
// file as it was and no temporary; with room the same run replaces it.
TEST(Tools, EncoderOnAFullDiskKeepsTheOldSamples) {
    fs::path in = sources("drums_full_in"), out = fresh_dir("drums_full_out");
    write_text(out / "sample1.bin", "old");
    const std::string encode =
        std::string(DRUMCODEC_PATH) + " encode " + in.string() + " " + out.string();
    ToolRun r = run_tool(encode, 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sample1.bin: cannot write (File too large)"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(out / "sample1.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1) << "a temporary was left";
    r = run_tool(encode);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(fs::file_size(out / "sample1.bin"), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 7);
}

// The WAV files between the two tools keep every float exactly.
TEST(Tools, WavRoundTripIsExact) {
    fs::path d = fresh_dir("drums_wav");
    std::vector<float> x = {0.0f, -1.0f, 0.25f, 1e-30f, 0.7071068f};
    drums::write_wav((d / "x.wav").string(), x);
    EXPECT_EQ(drums::read_wav((d / "x.wav").string()), x);
}

}  // namespace
