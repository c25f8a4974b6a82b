// lumenfrost end to end: its renders are the full render's frames bit for bit
// (sections, stems, the whole track against wavrender), every format read
// back, the report against ffmpeg's EBU R 128 meter, argument errors, and
// playback without a device and on a terminal with SDL's dummy driver.
#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "studio/audio_file.h"
#include "tests/pty_program.h"
#include "tests/scratch.h"

namespace {

using namespace studio;
using lf::test::exited_with;
using lf::test::Outcome;
using lf::test::PtyProgram;
using lf::test::read_text;

// The work folder all tests of this program share: the full render is made once.
class Studio : public ::testing::Test {
  protected:
    static std::string dir;

    static void SetUpTestSuite() {
        char name[] = "/tmp/lumenfrost-program-XXXXXX";
        dir = mkdtemp(name) ? name : "";
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }

    // Runs `args` (a program and its arguments) in the work folder with the
    // environment assignments `env`.
    static Outcome run(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}) {
        return lf::test::run_program(args, dir, env, 600);
    }
    static Outcome studio(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), LUMENFROST_PATH);
        return run(args, env);
    }

    // The whole track rendered by lumenfrost, as floats, once.
    static const AudioData& full() {
        static AudioData data;
        if (data.samples.empty()) {
            Outcome o = studio({"render", "-o", "full.wav", "--no-report"});
            EXPECT_EQ(o.code(), 0) << o.err;
            data = read_audio(dir + "/full.wav");
        }
        return data;
    }

    // Frames of `file` against the full render from track frame `from`.
    static void expect_frames_of_full(const std::string& file, uint32_t from, uint32_t frames) {
        AudioData part = read_audio(dir + "/" + file);
        ASSERT_EQ(part.frames(), frames) << file;
        const AudioData& whole = full();
        ASSERT_GE(whole.frames(), from + frames);
        EXPECT_EQ(std::memcmp(part.samples.data(), whole.samples.data() + 2 * size_t{from},
                              sizeof(float) * 2 * frames),
                  0)
            << file << " differs from the full render";
    }
};
std::string Studio::dir;

constexpr uint32_t BAR = 58800;

TEST_F(Studio, TheWholeTrackIsWavrendersFramesAndThenSixSecondsMore) {
    const AudioData& whole = full();
    EXPECT_EQ(whole.frames(), TRACK_FRAMES);
    Outcome o = run({WAVRENDER_PATH});
    ASSERT_EQ(o.code(), 0) << o.err;
    AudioData wav = read_audio(dir + "/[lumenfrost_32k].exe.wav");
    ASSERT_EQ(wav.frames(), 5828550u);
    EXPECT_EQ(std::memcmp(wav.samples.data(), whole.samples.data(), wav.samples.size() * 4), 0);
}

TEST_F(Studio, SectionsAreTheSameFramesAsTheFullRender) {
    Outcome o = studio({"render", "--from", "1:1", "--to", "3:1", "-o", "a.wav", "--no-report"});
    ASSERT_EQ(o.code(), 0) << o.err;
    expect_frames_of_full("a.wav", 0, 2 * BAR);
    o = studio({"render", "--from", "2:3", "--to", "3.5s", "-o", "b.wav", "--no-report"});
    ASSERT_EQ(o.code(), 0) << o.err;
    expect_frames_of_full("b.wav", BAR + 2 * 14700, 3 * 44100 + 22050 - (BAR + 2 * 14700));
    o = studio({"render", "--section", "collapse", "-o", "c.wav", "--no-report"});
    ASSERT_EQ(o.code(), 0) << o.err;
    expect_frames_of_full("c.wav", 16 * BAR, 2 * BAR + 7350);  // 17:1 to 19:1.5
}

TEST_F(Studio, TheOutputStemIsTheRenderAndEveryStemIsThere) {
    Outcome o = studio({"stems", "stems", "--from", "2:1", "--to", "3:1"});
    ASSERT_EQ(o.code(), 0) << o.err;
    expect_frames_of_full("stems/output.wav", BAR, BAR);
    // Byte for byte the file render writes.
    o = studio({"render", "--from", "2:1", "--to", "3:1", "-o", "bar2.wav", "--no-report"});
    ASSERT_EQ(o.code(), 0) << o.err;
    EXPECT_EQ(read_text(dir + "/stems/output.wav"), read_text(dir + "/bar2.wav"));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir + "/stems")) {
        ++files;
        EXPECT_EQ(read_audio(e.path().string()).frames(), BAR) << e.path();
    }
    EXPECT_EQ(files, 20);
    for (const char* name : {"00-break", "14-bass", "11-kick", "13-snare", "noise-sweep",
                             "bus-front", "bus-main", "master", "output"})
        EXPECT_TRUE(std::filesystem::exists(dir + "/stems/" + name + ".wav")) << name;
    // The kick plays in bar 2: its stem is not silent, and not the output.
    AudioData kick = read_audio(dir + "/stems/11-kick.wav");
    float peak = 0;
    for (float v : kick.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.01f);
}

TEST_F(Studio, IntegerFormatsAreTheQuantisedFramesAndRepeat) {
    const uint32_t from = BAR, count = 2 * BAR;
    const AudioData& whole = full();
    for (std::string format : {"s24", "s16", "flac"}) {
        std::string file = "q-" + format + "." + (format == "flac" ? "flac" : "wav");
        Outcome o = studio({"render", "--from", "2:1", "--to", "4:1", "--format", format, "-o",
                            file, "--no-report"});
        ASSERT_EQ(o.code(), 0) << o.err;
        std::vector<int32_t> ints = read_audio_ints(dir + "/" + file);
        ASSERT_EQ(ints.size(), 2u * count) << file;
        size_t wrong = 0;
        for (uint32_t i = 0; i < count; ++i) {
            for (int c = 0; c < 2; ++c) {
                float x = whole.samples[2 * size_t{from + i} + c];
                int32_t expected =
                    format == "s16" ? quantise_s16(x, from + i, c) * 65536 : quantise_s24(x) * 256;
                if (ints[2 * i + c] != expected) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u) << file;
    }
    // The dither belongs to the frame: a second export is byte for byte the
    // same, and a shorter one holds the same samples.
    Outcome o = studio({"render", "--from", "3:1", "--to", "4:1", "--format", "s16", "-o",
                        "q-s16-later.wav", "--no-report"});
    ASSERT_EQ(o.code(), 0) << o.err;
    std::vector<int32_t> longer = read_audio_ints(dir + "/q-s16.wav");
    std::vector<int32_t> shorter = read_audio_ints(dir + "/q-s16-later.wav");
    ASSERT_EQ(shorter.size(), 2u * BAR);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin() + 2 * BAR));
    o = studio({"render", "--from", "2:1", "--to", "4:1", "--format", "s16", "-o", "again.wav",
                "--no-report"});
    EXPECT_EQ(read_text(dir + "/again.wav"), read_text(dir + "/q-s16.wav"));
}

// The number that follows `marker` in `text` from `from` on (spaces skipped),
// or NaN.
double number_after(const std::string& text, const std::string& marker, size_t from = 0) {
    size_t at = text.find(marker, from);
    if (at == std::string::npos) return NAN;
    const char* start = text.c_str() + at + marker.size();
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    return end == start ? NAN : value;
}

double json_value(const std::string& json, const std::string& key) {
    return number_after(json, "\"" + key + "\":");
}

// A number of ffmpeg's summary: the first `label: number` after `heading`
// ("I: -9.5 LUFS" after "Integrated loudness:", "Peak: 0.1 dBFS" after "True peak:").
double ffmpeg_value(const std::string& log, const std::string& heading, const std::string& label) {
    size_t summary = log.rfind("Summary:");
    if (summary == std::string::npos) return NAN;
    size_t at = log.find(heading, summary);
    if (at == std::string::npos) return NAN;
    return number_after(log, label + ":", at);
}

TEST_F(Studio, TheReportAgreesWithFfmpeg) {
    if (std::string(FFMPEG_PATH).empty() || !std::filesystem::exists(FFMPEG_PATH))
        GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    full();
    Outcome ours = studio({"report", "full.wav", "--json"});
    ASSERT_EQ(ours.code(), 0) << ours.err;
    Outcome theirs = run({FFMPEG_PATH, "-nostats", "-hide_banner", "-i", "full.wav", "-af",
                          "ebur128=peak=true+sample", "-f", "null", "-"});
    ASSERT_EQ(theirs.code(), 0) << theirs.err;
    const std::string& log = theirs.err;
    // The first object of the JSON is the whole file.
    std::string whole = ours.out.substr(0, ours.out.find('}'));
    EXPECT_NEAR(json_value(whole, "integrated_lufs"),
                ffmpeg_value(log, "Integrated loudness:", "I"), 0.1)
        << log;
    EXPECT_NEAR(json_value(whole, "loudness_range_lu"), ffmpeg_value(log, "Loudness range:", "LRA"),
                0.1)
        << log;
    EXPECT_NEAR(json_value(whole, "true_peak_dbtp"), ffmpeg_value(log, "True peak:", "Peak"), 0.1)
        << log;
    EXPECT_NEAR(json_value(whole, "sample_peak_dbfs"), ffmpeg_value(log, "Sample peak:", "Peak"),
                0.1)
        << log;
    // Every section of the score is reported.
    for (const char* section : {"\"intro\"", "\"drop\"", "\"final_drop\"", "\"outro\""})
        EXPECT_NE(ours.out.find(section), std::string::npos) << section;
    // The table after a render holds the same sections.
    Outcome table = studio({"report", "full.wav"});
    EXPECT_NE(table.out.find("final_drop"), std::string::npos);
    EXPECT_NE(table.out.find("LUFS"), std::string::npos);
}

TEST_F(Studio, ArgumentErrorsSayWhatIsWrongAndExitTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"render", "--from", "75:9"}, "below 5"},
        {{"render", "--from", "chorus"}, "final_drop"},
        {{"render", "--from", "80:1", "--to", "75:1"}, "not before"},
        {{"render", "--to", "200s"}, "past the end"},
        {{"render", "--format", "mp3"}, "f32, s24, s16 or flac"},
        {{"render", "--section", "drop", "--from", "1:1"}, "--section"},
        {{"render", "--bogus"}, "--bogus"},
        {{"stems"}, "DIR"},
        {{"report"}, "FILE"},
        {{"play", "--from", "x:1"}, "bar:beat"},
        {{"watch", "-o", "x.wav"}, "--no-play"},
        {{}, "subcommand"},
    };
    for (const Case& c : cases) {
        Outcome o = studio(c.args);
        std::string what;
        for (const auto& a : c.args) what += a + " ";
        EXPECT_EQ(o.code(), 2) << what << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << what << o.err;
        EXPECT_NE(o.err.find("--help"), std::string::npos) << what << o.err;
        EXPECT_EQ(o.out, "") << what;
    }
    // Failures at run time: exit 1, and no file.
    Outcome o = studio({"report", "no-such-file.wav"});
    EXPECT_EQ(o.code(), 1);
    EXPECT_NE(o.err.find("no-such-file.wav"), std::string::npos) << o.err;
    o = studio({"render", "--to", "1:2", "-o", "no/such/folder/x.wav"});
    EXPECT_EQ(o.code(), 1);
    EXPECT_NE(o.err.find("no/such/folder/x.wav"), std::string::npos) << o.err;
    // Every subcommand has its help.
    for (const char* sub : {"render", "stems", "report", "play", "watch"}) {
        o = studio({sub, "--help"});
        EXPECT_EQ(o.code(), 0) << sub;
        EXPECT_NE(o.out.find("--"), std::string::npos) << sub;
    }
}

TEST_F(Studio, PlayWithoutADeviceFailsAtOnceWithOneLine) {
    for (const char* driver : {"lumenfrost_no_such_driver", "alsa"}) {
        const std::string env = std::string("SDL_AUDIODRIVER=") + driver;
        Outcome o = studio({"play", "--from", "75:1"}, {env, "AUDIODEV=lumenfrost_no_such_pcm"});
        EXPECT_EQ(o.code(), 1) << env;
        EXPECT_EQ(o.out, "") << env;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << env << o.err;
        EXPECT_NE(o.err.find("no audio device"), std::string::npos) << o.err;
        EXPECT_EQ(o.err.find("ALSA lib"), std::string::npos) << o.err;
    }
}

// On a pseudo-terminal with SDL's dummy driver: the status line names the
// time, the bar and beat and the section, space pauses, Esc ends it with the
// terminal's modes as they were.
TEST_F(Studio, PlayShowsWhereItIsAndStopsOnEsc) {
    PtyProgram p({LUMENFROST_PATH, "play", "--from", "3:1"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(p.started());
    EXPECT_TRUE(p.wait_for_text("playing", 300)) << p.screen();
    for (const char* shown : {" / 2:18.1", "3:", "intro", "Esc stop"})
        EXPECT_TRUE(p.wait_for_text(shown, 5)) << shown << "\n" << p.screen();
    p.send(" ");
    EXPECT_TRUE(p.wait_for_text("paused", 10)) << p.screen();
    p.send("\x1b");
    ASSERT_TRUE(p.wait_exit(10)) << "Esc did not stop it\n" << p.screen();
    EXPECT_TRUE(exited_with(p.status(), 0)) << p.status();
    EXPECT_EQ(p.modes().c_lflag & (ICANON | ECHO), p.modes_before().c_lflag & (ICANON | ECHO));
}

}  // namespace
