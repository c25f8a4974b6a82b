// The whole track against its stored hash: the check that keeps every
// optimisation bit-exact. Rendering cannot be repeated in one process (all
// state is static and only moves forward), so this program renders once.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/frame/engine.h"

namespace {

// FNV-1a over the bytes of the rendered frames.
uint64_t fnv1a(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

}  // namespace

TEST(WholeTrack, MatchesStoredHash) {
    engine_startup();
    for (uint32_t i = 0; i < TRACK_FRAMES; ++i) render_frame(TrackBuffer, i);
    const uint64_t hash = fnv1a(TrackBuffer, sizeof(StereoFrame) * TRACK_FRAMES);
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);

    if (std::getenv("LUMENFROST_UPDATE_TRACK_HASH")) {
        std::ofstream(TRACK_HASH_FILE) << text << "\n";
        std::printf("stored track hash %s\n", text);
        return;
    }
    std::ifstream in(TRACK_HASH_FILE);
    std::string stored;
    in >> stored;
    ASSERT_FALSE(stored.empty()) << "no stored hash in " << TRACK_HASH_FILE;
    EXPECT_EQ(stored, text) << "the rendered track changed; if the music was meant to change, "
                               "run scripts/update-track-hash.sh";
    // The frame after the track holds lanes 2 and 3 of the last frame's store.
    EXPECT_TRUE(TrackBuffer[TRACK_FRAMES + 1].left == 0.0f &&
                TrackBuffer[TRACK_FRAMES + 1].right == 0.0f);
}
