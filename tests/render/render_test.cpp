// Rendering as the programs do it: start-up builds the engine state from
// whatever an earlier start-up or render left in it, so one process renders
// the same bits twice.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"

namespace {

constexpr uint32_t SECONDS_3 = 3 * SAMPLE_RATE;

// FNV-1a over the frames' bytes.
uint64_t hash_frames(const StereoFrame* frames, uint32_t count) {
    uint64_t h = 0xcbf29ce484222325ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames);
    for (size_t i = 0; i < size_t{count} * sizeof(StereoFrame); ++i)
        h = (h ^ bytes[i]) * 0x100000001b3ull;
    return h;
}

uint64_t render_frames(uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) render_frame(TrackBuffer, n);
    return hash_frames(TrackBuffer, count);
}

TEST(Restart, SecondStartupRebuildsTheSameStateAndTheSameFrames) {
    engine_startup();
    // The start condition, byte for byte (padding included: the record is
    // zeroed as a whole before it is built).
    auto fresh = std::make_unique<unsigned char[]>(sizeof lf::engine);
    std::memcpy(fresh.get(), &lf::engine, sizeof lf::engine);
    const uint64_t first = render_frames(SECONDS_3);
    ASSERT_NE(std::memcmp(fresh.get(), &lf::engine, sizeof lf::engine), 0);

    engine_startup();
    EXPECT_EQ(std::memcmp(fresh.get(), &lf::engine, sizeof lf::engine), 0);
    std::memset(static_cast<void*>(TrackBuffer), 0, (SECONDS_3 + 1) * sizeof(StereoFrame));
    EXPECT_EQ(render_frames(SECONDS_3), first);
}

}  // namespace
