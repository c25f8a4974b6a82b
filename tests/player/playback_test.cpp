// The player's control against a simulated machine: the clock jumps instead of
// sleeping, the render and the device move as functions of simulated time, and
// every decision of the control is logged. A whole track takes milliseconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "player/playback.h"
#include "tests/player/expected_texts.h"

namespace {

using player::BANNER;

using expected::START_PLAYBACK;
using expected::START_RENDER;
using expected::TOO_SLOW;
using expected::UNDERRUN;

constexpr uint64_t NEVER = UINT64_MAX;

// Frames of real-time audio in `ms` milliseconds (44.1 per ms).
uint32_t realtime_frames(uint64_t ms) {
    return static_cast<uint32_t>(std::min<uint64_t>(ms * 441 / 10, TRACK_FRAMES));
}

struct Event {
    std::string what;  // "write", "startup", "thread", "sleep", "open", "play", "pause", "restart",
                       // "position", "key"
    uint64_t at_ms;
    uint32_t rendered;  // frames rendered at that moment
    uint32_t position;  // the last position the device reported
    uint32_t ms = 0;    // how long a sleep was
};

class SimulatedMachine final : public player::Console,
                               public player::Clock,
                               public player::AudioDevice,
                               public player::EscKey,
                               public player::Render {
  public:
    // Frames the render thread has finished `ms` after it started.
    std::function<uint32_t(uint64_t)> render_curve = [](uint64_t ms) {
        return realtime_frames(3 * ms);
    };
    // The device's position after it has played for `ms`; or, when set, the
    // positions it reports, one per query, the last one repeated.
    std::function<uint32_t(uint64_t)> device_curve = realtime_frames;
    std::vector<uint32_t> scripted_positions;
    // Simulated time from which Esc is held down.
    uint64_t esc_from_ms = NEVER;
    const char* open_error = nullptr;  // set: the device cannot be opened

    std::atomic<uint32_t> rendered{0};
    std::string out, err;
    std::vector<Event> log;
    uint64_t now_ms = 0;

    int run() { return player::run_player({*this, *this, *this, *this, *this}, rendered); }

    // Events of one kind, in order.
    std::vector<Event> events(const std::string& what) const {
        std::vector<Event> found;
        for (const Event& e : log) {
            if (e.what == what) found.push_back(e);
        }
        return found;
    }
    // Where the first event of a kind is in the log (log size if absent).
    size_t index_of(const std::string& what) const {
        auto it =
            std::find_if(log.begin(), log.end(), [&](const Event& e) { return e.what == what; });
        return static_cast<size_t>(it - log.begin());
    }

    void write(std::string_view text) override {
        out += text;
        note("write");
    }
    void write_error(std::string_view text) override { err += text; }

    void startup() override { note("startup"); }
    void start_thread() override {
        thread_started_ = true;
        render_start_ms_ = now_ms;
        note("thread");
    }

    void sleep_ms(uint32_t ms) override {
        // A control that never leaves its loop shows up as simulated hours.
        if (now_ms > 10ull * 3600 * 1000) throw std::runtime_error("the player never stopped");
        now_ms += ms;
        if (playing_ && !paused_) played_ms_ += ms;
        if (thread_started_) {
            uint32_t r = render_curve(now_ms - render_start_ms_);
            rendered.store(std::min(r, TRACK_FRAMES), std::memory_order_release);
        }
        note("sleep");
        log.back().ms = ms;
    }

    bool open(const StereoFrame* frames, uint32_t count) override {
        played_frames_ = frames;
        played_count_ = count;
        note("open");
        return open_error == nullptr;
    }
    void play() override {
        playing_ = true;
        note("play");
    }
    const char* error() const override { return open_error; }
    void pause() override {
        paused_ = true;
        note("pause");
    }
    void restart() override {
        paused_ = false;
        note("restart");
    }
    uint32_t position() override {
        if (!scripted_positions.empty()) {
            size_t i = std::min(position_queries_, scripted_positions.size() - 1);
            position_ = scripted_positions[i];
        } else {
            position_ = std::min(device_curve(played_ms_), played_count_);
        }
        ++position_queries_;
        note("position");
        return position_;
    }

    bool pressed() override {
        note("key");
        return now_ms >= esc_from_ms;
    }

    const StereoFrame* played_frames_ = nullptr;
    uint32_t played_count_ = 0;

  private:
    void note(const char* what) {
        log.push_back({what, now_ms, rendered.load(std::memory_order_relaxed), position_});
    }

    bool thread_started_ = false, playing_ = false, paused_ = false;
    uint64_t render_start_ms_ = 0, played_ms_ = 0;
    uint32_t position_ = 0;
    size_t position_queries_ = 0;
};

// A render three times faster than real time: banner, two messages, the whole
// track, and an end at the first poll that sees the last frame consumed.
TEST(PlayerControl, FastRenderPlaysTheWholeTrackAndEndsAtItsLastFrame) {
    SimulatedMachine m;
    EXPECT_EQ(m.run(), 0);
    EXPECT_EQ(m.out, std::string(BANNER) + START_RENDER + START_PLAYBACK);
    EXPECT_EQ(m.err, "");

    // Device, banner, start-up, message, thread, head start, in this order.
    ASSERT_GE(m.log.size(), 7u);
    EXPECT_EQ(m.log[0].what, "open");
    EXPECT_EQ(m.log[1].what, "write");
    EXPECT_EQ(m.log[2].what, "startup");
    EXPECT_EQ(m.log[3].what, "write");
    EXPECT_EQ(m.log[4].what, "thread");
    EXPECT_EQ(m.log[5].what, "sleep");
    EXPECT_EQ(m.log[5].ms, player::HEAD_START_MS);

    // The whole buffer, opened before the head start, played right after it.
    auto plays = m.events("play");
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].at_ms, 5000u);
    EXPECT_EQ(m.played_frames_, TrackBuffer);
    EXPECT_EQ(m.played_count_, TRACK_FRAMES);

    // 138166.67 ms of audio: the 1080th poll (138240 ms of play) is the first to see the end.
    auto positions = m.events("position");
    ASSERT_EQ(positions.size(), 1080u);
    EXPECT_EQ(m.now_ms, 5000u + 1080u * 128u);
    // Esc is asked at every poll but the last, where the position is already at the end.
    EXPECT_EQ(m.events("key").size(), 1079u);
    EXPECT_EQ(m.log.back().what, "position");
    EXPECT_TRUE(m.events("pause").empty());
    for (const Event& e : m.events("sleep")) {
        if (e.at_ms > 5000) {
            EXPECT_EQ(e.ms, player::POLL_MS);
        }
    }
}

// The head start asks for five seconds of audio in five seconds: 220500 frames
// is enough, one fewer is too slow, and then playback waits for the last frame.
class HeadStart : public ::testing::TestWithParam<uint32_t> {};

TEST_P(HeadStart, TooSlowOnlyBelowFiveSecondsOfAudio) {
    const uint32_t after_head_start = GetParam();
    SimulatedMachine m;
    // Linear render reaching `after_head_start` at 5000 ms, the device in real time.
    m.render_curve = [=](uint64_t ms) {
        return static_cast<uint32_t>(
            std::min<uint64_t>(ms * after_head_start / 5000, TRACK_FRAMES));
    };
    EXPECT_EQ(m.run(), 0);
    const bool too_slow = after_head_start < 220500;
    auto plays = m.events("play");
    ASSERT_EQ(plays.size(), 1u);
    if (too_slow) {
        EXPECT_EQ(m.out, std::string(BANNER) + START_RENDER + TOO_SLOW + START_PLAYBACK);
        EXPECT_EQ(plays[0].rendered, TRACK_FRAMES);
        // Waited in 128 ms polls and started at the first one that saw the whole track.
        EXPECT_EQ((plays[0].at_ms - 5000) % 128, 0u);
        EXPECT_LT(m.render_curve(plays[0].at_ms - 128), TRACK_FRAMES);
    } else {
        EXPECT_EQ(m.out, std::string(BANNER) + START_RENDER + START_PLAYBACK);
        EXPECT_EQ(plays[0].at_ms, 5000u);
        EXPECT_LT(plays[0].rendered, TRACK_FRAMES);
    }
    for (const Event& e : m.events("sleep")) {
        if (e.at_ms > 5000) {
            EXPECT_EQ(e.ms, player::POLL_MS) << "at " << e.at_ms << " ms";
        }
    }
    EXPECT_GE(m.events("position").back().position, TRACK_FRAMES);
}

INSTANTIATE_TEST_SUITE_P(PlayerControl, HeadStart, ::testing::Values(220499u, 220500u, 44100u));

// Passes the head start, then falls to half of real time: the device overtakes
// it, is paused once until the last frame is rendered, and goes on from there.
TEST(PlayerControl, UnderrunPausesOnceUntilTheTrackIsRendered) {
    SimulatedMachine m;
    m.render_curve = [](uint64_t ms) {
        const uint64_t fast = 10000;  // twice real time for 10 s, then half
        if (ms <= fast) return realtime_frames(2 * ms);
        return realtime_frames(2 * fast + (ms - fast) / 2);
    };
    EXPECT_EQ(m.run(), 0);
    EXPECT_EQ(m.out, std::string(BANNER) + START_RENDER + START_PLAYBACK + UNDERRUN);

    auto pauses = m.events("pause"), restarts = m.events("restart");
    ASSERT_EQ(pauses.size(), 1u);
    ASSERT_EQ(restarts.size(), 1u);
    // The message, then the pause, while part of the track is still to render.
    size_t pause_at = m.index_of("pause");
    EXPECT_EQ(m.log[pause_at - 1].what, "write");
    EXPECT_LT(pauses[0].rendered, TRACK_FRAMES);
    EXPECT_EQ(restarts[0].rendered, TRACK_FRAMES);
    // Nothing is asked of the device or the key while it is paused.
    size_t restart_at = m.index_of("restart");
    for (size_t i = pause_at + 1; i < restart_at; ++i) EXPECT_EQ(m.log[i].what, "sleep");
    // It was the first poll whose previous position had got past the render.
    size_t play_at = m.index_of("play"), first_overtaken = m.log.size();
    for (size_t i = play_at; i < m.log.size(); ++i) {
        if (m.log[i].what == "sleep" && m.log[i].position > m.log[i].rendered) {
            first_overtaken = i;
            break;
        }
    }
    EXPECT_EQ(first_overtaken + 2, pause_at);
    EXPECT_GE(m.events("position").back().position, TRACK_FRAMES);
}

// The under-run test compares the position read one poll earlier, strictly.
struct PositionCase {
    const char* name;
    std::vector<uint32_t> positions;  // reported by the device, one per poll
    bool underrun;
};

void PrintTo(const PositionCase& c, std::ostream* os) {
    *os << c.name;
}

class UnderrunRule : public ::testing::TestWithParam<PositionCase> {};

TEST_P(UnderrunRule, ComparesThePreviousPositionStrictly) {
    const PositionCase& c = GetParam();
    SimulatedMachine m;
    m.scripted_positions = c.positions;
    // 300000 frames through the head start and the first two polls; 305000 at
    // the third poll; the rest only after a minute.
    m.render_curve = [](uint64_t ms) -> uint32_t {
        if (ms < 5384) return 300000;
        if (ms < 60000) return 305000;
        return TRACK_FRAMES;
    };
    EXPECT_EQ(m.run(), 0);
    const std::string normal = std::string(BANNER) + START_RENDER + START_PLAYBACK;
    EXPECT_EQ(m.out, c.underrun ? normal + UNDERRUN : normal);
    EXPECT_EQ(m.events("pause").size(), c.underrun ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    PlayerControl, UnderrunRule,
    ::testing::Values(
        // Read 300000 at the first poll, compared with 300000 at the second: equal is fine.
        PositionCase{"EqualIsNotAnUnderrun", {300000, 300000, TRACK_FRAMES}, false},
        PositionCase{"OneFrameMoreIs", {300001, 300001, TRACK_FRAMES}, true},
        // Read 304000 at the second poll while 300000 are rendered; by the third
        // poll the render has 305000: the previous position was never ahead.
        PositionCase{"AheadOnlyWithinOnePollIsNot", {250000, 304000, TRACK_FRAMES}, false},
        PositionCase{"StillAheadAtTheNextPollIs", {250000, 306000, 306000, TRACK_FRAMES}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The end test is `position >= TRACK_FRAMES`: one frame short goes on polling.
TEST(PlayerControl, EndsOnlyWhenTheLastFrameIsConsumed) {
    SimulatedMachine m;
    m.scripted_positions = {TRACK_FRAMES - 1, TRACK_FRAMES - 1, TRACK_FRAMES};
    m.render_curve = [](uint64_t) { return TRACK_FRAMES; };
    EXPECT_EQ(m.run(), 0);
    EXPECT_EQ(m.events("position").size(), 3u);
    EXPECT_EQ(m.events("key").size(), 2u);
}

// Esc is looked at only in the playback loop: held through the head start or a
// wait, it ends the player at the first poll after playback has (re)started.
struct EscCase {
    const char* name;
    uint64_t esc_from_ms;
    bool slow_render;  // fails the head start
    bool falls_behind;
};

void PrintTo(const EscCase& c, std::ostream* os) {
    *os << c.name;
}

class EscDuringPlayback : public ::testing::TestWithParam<EscCase> {};

TEST_P(EscDuringPlayback, IsNoticedOnlyInThePlaybackLoop) {
    const EscCase& c = GetParam();
    SimulatedMachine m;
    m.esc_from_ms = c.esc_from_ms;
    if (c.slow_render) {
        m.render_curve = [](uint64_t ms) { return realtime_frames(ms / 2); };
    } else if (c.falls_behind) {
        // 441000 frames in the head start, then stalled until a minute; the
        // device jumps to 450000 at once: an under-run at the second poll.
        m.render_curve = [](uint64_t ms) {
            return ms < 60000 ? realtime_frames(2 * std::min<uint64_t>(ms, 5000)) : TRACK_FRAMES;
        };
        m.device_curve = [](uint64_t ms) { return ms == 0 ? 0u : 450000u; };
    }
    EXPECT_EQ(m.run(), 0);
    EXPECT_EQ(m.events("restart").size(), c.falls_behind ? 1u : 0u);

    // The player ended at the one question about Esc made while it was held,
    // and no question came before playback.
    auto keys = m.events("key");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(m.log.back().what, "key");
    EXPECT_GT(m.index_of("key"), m.index_of("play"));
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(),
                            [&](const Event& e) { return e.at_ms >= c.esc_from_ms; }),
              1);
    // It came at the first poll after playback (re)started or Esc went down.
    const uint64_t play_ms = m.events("play").at(0).at_ms;
    uint64_t first_chance =
        c.falls_behind ? m.events("restart").at(0).at_ms : play_ms + player::POLL_MS;
    if (c.esc_from_ms > first_chance) {
        first_chance = play_ms + (c.esc_from_ms - play_ms + 127) / 128 * 128;
    }
    EXPECT_EQ(keys.back().at_ms, first_chance);
    EXPECT_LT(m.log.back().position, TRACK_FRAMES);
}

INSTANTIATE_TEST_SUITE_P(PlayerControl, EscDuringPlayback,
                         ::testing::Values(EscCase{"HeldFromTheStart", 0, false, false},
                                           EscCase{"HeldDuringTheTooSlowWait", 1000, true, false},
                                           EscCase{"HeldDuringTheUnderrunWait", 5300, false, true},
                                           EscCase{"PressedMidTrack", 70000, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The one line it prints is checked on the real program (PlayerProgram).
TEST(PlayerControl, WithoutADeviceEndsAtOnceWithStatusOne) {
    SimulatedMachine m;
    m.open_error = "Audio target 'nowhere' not available";
    EXPECT_EQ(m.run(), 1);
    // Nothing before the device: no banner, no start-up, no head start.
    EXPECT_EQ(m.out, "");
    ASSERT_EQ(m.log.size(), 1u);
    EXPECT_EQ(m.log[0].what, "open");
    EXPECT_NE(m.err.find("Audio target 'nowhere' not available"), std::string::npos);
}

// (Its 128 ms polls up to the first that sees the whole track are pinned by
// HeadStart's too-slow rows.)
TEST(PlayerControl, WaitUntilRenderedDoesNotSleepWhenDone) {
    SimulatedMachine m;
    m.start_thread();
    m.rendered = TRACK_FRAMES;
    player::wait_until_rendered(m.rendered, m);
    EXPECT_TRUE(m.events("sleep").empty());
}

// The banner's frame is 53 characters wide, its subtitle 51; a spacing slip in
// the literal shows up here.
TEST(PlayerBanner, HasItsLinesAndWidths) {
    std::vector<std::string> lines;
    std::string text(BANNER);
    ASSERT_EQ(text.back(), '\n');
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 22u);
    const std::string rule(53, '-');
    EXPECT_EQ(lines[0], rule);
    EXPECT_EQ(lines[9], rule);
    for (int i : {1, 7, 10, 20}) EXPECT_EQ(lines[i], "") << "line " << i + 1;
    EXPECT_EQ(lines[2], "/ / / / / / /    north~cascade  presents    / / / / /");
    EXPECT_EQ(lines[4], "/ / / / / /   [  l u m e n f r o s t  ]   / / / / / /");
    EXPECT_EQ(lines[6], "/ / / / /  a color DnB track in 32 KiB  / / / / / / /");
    for (int i : {2, 3, 4, 5, 6}) EXPECT_EQ(lines[i].size(), 53u) << "line " << i + 1;
    EXPECT_EQ(lines[8], " with a new synth engine and a few spectral tricks!");
    EXPECT_EQ(lines[11], "                    Shout-out to:");
    for (int i = 12; i < 20; ++i) {
        EXPECT_FALSE(lines[i].empty()) << "greetings line " << i - 11;
        EXPECT_LE(lines[i].size(), 53u) << "greetings line " << i - 11;
    }
    EXPECT_EQ(lines[21], "Initializing...");
}

}  // namespace
