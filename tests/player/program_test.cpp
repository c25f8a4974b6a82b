// The real player as a user meets it: without a sound card, on a terminal with
// Esc, Ctrl-C, Ctrl-\, Ctrl-Z and hang-ups, and playing the whole track into
// SDL's disk driver, whose stream must be wavrender's frames bit for bit.
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/frame/engine.h"
#include "player/playback.h"
#include "player/sdl_audio.h"
#include "tests/player/expected_texts.h"
#include "tests/pty_program.h"
#include "tests/scratch.h"

namespace {

using namespace lf::test;

std::string normal_transcript() {
    return std::string(player::BANNER) + expected::START_RENDER + expected::START_PLAYBACK;
}

// What the player prints before it plays: the head start passed, or (on a
// machine that renders slower than real time) the too-slow notice.
bool is_transcript_up_to_playback(const std::string& out) {
    return out == normal_transcript() || out == std::string(player::BANNER) +
                                                    expected::START_RENDER + expected::TOO_SLOW +
                                                    expected::START_PLAYBACK;
}

// At once (no banner, no head start, no "Starting playback.") one line: the
// sound library's reason and the way out. ALSA's own complaints (about an
// unknown device here) stay off the console.
TEST(PlayerProgram, WithoutADeviceSaysWhyInOneLineAndExitsWithOne) {
    Scratch dir;
    for (const char* driver : {"lumenfrost_no_such_driver", "alsa"}) {
        Outcome r = run_program(
            {PLAYER_PATH}, dir.path.string(),
            {std::string("SDL_AUDIODRIVER=") + driver, "AUDIODEV=lumenfrost_no_such_pcm"}, 600);
        ASSERT_TRUE(r.finished) << driver;
        EXPECT_TRUE(exited_with(r.status, 1)) << driver << ": status " << r.status;
        EXPECT_EQ(r.out, "") << driver;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("wavrender"), std::string::npos) << r.err;
        if (std::string(driver) != "alsa") {  // SDL's own words name the driver
            EXPECT_NE(r.err.find(driver), std::string::npos) << r.err;
        }
        EXPECT_EQ(r.err.find("ALSA lib"), std::string::npos) << r.err;
    }
}

void expect_same_modes(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    EXPECT_EQ(std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc), 0);
}

// While it runs the terminal delivers single keys without echo, and Ctrl-C
// still raises a signal.
void expect_raw_keys(const termios& modes) {
    EXPECT_EQ(modes.c_lflag & ICANON, 0u);
    EXPECT_EQ(modes.c_lflag & ECHO, 0u);
    EXPECT_NE(modes.c_lflag & ISIG, 0u);
}

TEST(PlayerOnTerminal, EscEndsPlaybackAndRestoresTheModes) {
    PtyProgram p({PLAYER_PATH}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.wait_for_text("Starting playback.", 600)) << p.screen();
    expect_raw_keys(p.modes());

    // Without Esc the track would go on for more than two minutes.
    p.send("\x1b");
    const auto sent = Clock::now();
    ASSERT_TRUE(p.wait_exit(20)) << p.screen();
    EXPECT_LT(seconds_since(sent), 5.0);
    EXPECT_TRUE(exited_with(p.status(), 0)) << "status " << p.status();
    expect_same_modes(p.modes_before(), p.modes());
}

// Ctrl-C or Ctrl-\ typed on the terminal, or SIGTERM or SIGHUP (the
// terminal window closed) from elsewhere, during the head start: the player
// ends at once with status 0 and the modes back.
struct Interruption {
    const char* name;
    int signal;         // sent to the player, or
    const char* typed;  // typed on the terminal
};

void PrintTo(const Interruption& i, std::ostream* os) {
    *os << i.name;
}

class PlayerInterrupted : public ::testing::TestWithParam<Interruption> {};

TEST_P(PlayerInterrupted, EndsCleanlyAndRestoresTheModes) {
    PtyProgram p({PLAYER_PATH}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.wait_for_text("Starting render", 600)) << p.screen();
    expect_raw_keys(p.modes());

    if (GetParam().typed != nullptr) {
        p.send(GetParam().typed);
    } else {
        p.signal(GetParam().signal);
    }
    ASSERT_TRUE(p.wait_exit(20)) << p.screen();
    EXPECT_TRUE(exited_with(p.status(), 0)) << "status " << p.status();
    EXPECT_EQ(p.screen().find("Starting playback."), std::string::npos);
    expect_same_modes(p.modes_before(), p.modes());
}

INSTANTIATE_TEST_SUITE_P(PlayerOnTerminal, PlayerInterrupted,
                         ::testing::Values(Interruption{"CtrlC", 0, "\x03"},
                                           Interruption{"CtrlBackslash", 0, "\x1c"},
                                           Interruption{"Sigterm", SIGTERM, nullptr},
                                           Interruption{"Sighup", SIGHUP, nullptr},
                                           Interruption{"Sigquit", SIGQUIT, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// Ctrl-Z: while the player is stopped the shell has its modes back; when the
// job continues in the foreground the keys are raw again, and the way out
// still restores them.
TEST(PlayerOnTerminal, CtrlZGivesTheModesBackWhileStopped) {
    PtyProgram p({PLAYER_PATH}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.wait_for_text("Starting render", 600)) << p.screen();
    expect_raw_keys(p.modes());

    p.send("\x1a");  // the terminal turns Ctrl-Z into SIGTSTP
    ASSERT_TRUE(p.wait_for_event('s', 20)) << "not stopped; " << p.job_events();
    expect_same_modes(p.modes_before(), p.modes());

    p.signal(SIGCONT);
    ASSERT_TRUE(p.wait_for_event('c', 20)) << p.job_events();
    const auto start = Clock::now();
    while ((p.modes().c_lflag & ICANON) != 0 && seconds_since(start) < 5) usleep(10000);
    expect_raw_keys(p.modes());

    p.send("\x1b");
    ASSERT_TRUE(p.wait_exit(20)) << p.screen();
    EXPECT_TRUE(exited_with(p.status(), 0)) << "status " << p.status();
    expect_same_modes(p.modes_before(), p.modes());
}

// Frames whose two samples are all-zero bit patterns, from the start.
size_t leading_zero_frames(const char* data, size_t frames) {
    size_t n = 0;
    static const char zero[sizeof(StereoFrame)] = {};
    while (n < frames && std::memcmp(data + n * sizeof(StereoFrame), zero, sizeof zero) == 0) ++n;
    return n;
}

// The whole track in real time through SDL's disk driver (about two and a
// half minutes). The render is faster than real time, so no frame is played
// before it is rendered, and the stream is wavrender's frames exactly.
TEST(PlayerStream, EqualsWavrendersFramesThroughTheDiskDriver) {
    constexpr size_t SAVED_FRAMES = 5828550;  // what wavrender writes
    constexpr size_t WAV_HEADER = 58;
    Scratch dir;
    ASSERT_FALSE(dir.path.string().empty());

    Outcome render = run_program({WAVRENDER_PATH}, dir.path.string(), {}, 1500);
    ASSERT_TRUE(render.finished && exited_with(render.status, 0)) << render.out << render.err;
    const std::string wav = read_text(dir.path.string() + "/[lumenfrost_32k].exe.wav");
    ASSERT_EQ(wav.size(), WAV_HEADER + SAVED_FRAMES * sizeof(StereoFrame));

    const std::string stream_path = dir.path.string() + "/stream.raw";
    Outcome play = run_program({PLAYER_PATH}, dir.path.string(),
                               {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + stream_path}, 1500);
    ASSERT_TRUE(play.finished) << "killed after " << play.seconds << " s";
    EXPECT_TRUE(exited_with(play.status, 0)) << "status " << play.status << "\n" << play.err;
    EXPECT_TRUE(is_transcript_up_to_playback(play.out)) << play.out;
    std::printf("player ran %.1f s\n", play.seconds);

    const std::string stream = read_text(stream_path);
    ASSERT_EQ(stream.size() % sizeof(StereoFrame), 0u);
    const size_t stream_frames = stream.size() / sizeof(StereoFrame);
    // The device opens paused before the engine starts up and the head start
    // runs; SDL hands the driver whole buffers of silence until it is unpaused,
    // so the track starts a whole number of buffers in. How many depends on the
    // start-up's wall time: tens of milliseconds on an idle machine, longer on
    // a loaded one, so the bound allows two seconds beside the head start. It
    // still catches a player that waits for more than it should.
    const char* track = wav.data() + WAV_HEADER;
    const size_t stream_zeros = leading_zero_frames(stream.data(), stream_frames);
    const size_t track_zeros = leading_zero_frames(track, SAVED_FRAMES);
    ASSERT_GE(stream_zeros, track_zeros);
    const size_t silent_lead = stream_zeros - track_zeros;
    std::printf("stream: %zu frames, %zu of device silence before the track\n", stream_frames,
                silent_lead);
    EXPECT_EQ(silent_lead % player::DEVICE_BUFFER_FRAMES, 0u);
    EXPECT_LE(silent_lead, player::HEAD_START_FRAMES + 2u * SAMPLE_RATE);
    ASSERT_GE(stream_frames, silent_lead + SAVED_FRAMES);

    const char* played = stream.data() + silent_lead * sizeof(StereoFrame);
    size_t first_difference = SAVED_FRAMES;
    for (size_t i = 0; i < SAVED_FRAMES; ++i) {
        if (std::memcmp(played + i * sizeof(StereoFrame), track + i * sizeof(StereoFrame),
                        sizeof(StereoFrame)) != 0) {
            first_difference = i;
            break;
        }
    }
    EXPECT_EQ(first_difference, SAVED_FRAMES) << "first frame that differs";
}

}  // namespace
