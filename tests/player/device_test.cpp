// The SDL2 device and the Esc key: what the callback copies, how SDL's
// position behaves under pause, and which bytes count as Esc.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "player/sdl_audio.h"
#include "player/terminal.h"

namespace {

// A track whose every frame is recognisable: left = index, right = -index.
std::vector<StereoFrame> numbered_track(uint32_t frames) {
    std::vector<StereoFrame> track(frames + 1);
    for (uint32_t i = 0; i <= frames; ++i) {
        track[i] = {static_cast<float>(i + 1), -static_cast<float>(i + 1)};
    }
    return track;
}

TEST(TrackCallback, CopiesRenderedFramesInOrderAndSilenceBeyond) {
    const uint32_t count = 100;
    auto track = numbered_track(count);
    // Asked for 32 frames from 80: 80..89 rendered, 90..99 not yet, 100.. past the end.
    std::vector<float> out(64, 7.0f);
    uint32_t next = player::copy_track_frames(track.data(), count, 90, 80, out.data(), 32);
    EXPECT_EQ(next, count);
    for (uint32_t i = 0; i < 32; ++i) {
        const uint32_t frame = 80 + i;
        const float expected = frame < 90 ? static_cast<float>(frame + 1) : 0.0f;
        EXPECT_EQ(out[2 * i], expected) << "frame " << frame;
        EXPECT_EQ(out[2 * i + 1], -expected) << "frame " << frame;
    }
    // At the end the position holds and only silence comes out.
    std::vector<float> tail(8, 7.0f);
    EXPECT_EQ(player::copy_track_frames(track.data(), count, count, count, tail.data(), 4), count);
    for (float v : tail) EXPECT_EQ(v, 0.0f);
}

// SDL's dummy driver consumes audio in real time without a sound card.
TEST(SdlDevice, DummyDriverPlaysPausesAndStopsAtTheEnd) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const uint32_t count = 44100 / 4;  // 250 ms
    auto track = numbered_track(count);
    std::atomic<uint32_t> rendered{count};
    player::SdlAudioDevice device(rendered);
    ASSERT_TRUE(device.open(track.data(), count)) << device.error();
    // Opened, it waits paused until play().
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position(), 0u);
    device.play();

    // Waits until the device reports `frames` or more, for at most two seconds.
    auto wait_for = [&](uint32_t frames) {
        for (int i = 0; i < 200 && device.position() < frames; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return device.position();
    };
    ASSERT_GT(wait_for(1), 0u);
    device.pause();
    const uint32_t paused_at = device.position();
    EXPECT_LT(paused_at, count);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position(), paused_at);

    device.restart();
    EXPECT_EQ(wait_for(count), count);
    // Past the end the position holds.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(device.position(), count);
    device.close();
}

struct KeyBytes {
    const char* name;
    std::string bytes;
    bool esc;
};

void PrintTo(const KeyBytes& k, std::ostream* os) {
    *os << k.name;
}

class EscBytes : public ::testing::TestWithParam<KeyBytes> {};

TEST_P(EscBytes, LoneEscIsTheKeyEscapeSequencesAreNot) {
    const KeyBytes& k = GetParam();
    const auto* bytes = reinterpret_cast<const unsigned char*>(k.bytes.data());
    EXPECT_EQ(player::holds_esc_key(bytes, static_cast<long>(k.bytes.size())), k.esc);
}

INSTANTIATE_TEST_SUITE_P(
    TerminalKey, EscBytes,
    ::testing::Values(KeyBytes{"Esc", "\x1b", true}, KeyBytes{"TypingThenEsc", "ab\x1b", true},
                      KeyBytes{"ArrowUp", "\x1b[A", false}, KeyBytes{"F1", "\x1bOP", false},
                      KeyBytes{"EscThenArrow", "\x1b\x1b[B", true},
                      KeyBytes{"PlainText", "q\n ", false}, KeyBytes{"Nothing", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
