// The whole track against its stored hash: the check that keeps every
// optimisation bit-exact. Each reciprocal-estimate family renders its own
// track, so the stored hash is the one of the family this build renders: the
// model's, or the running processor's for a native build.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/dsp/rcp_family.h"
#include "engine/frame/engine.h"
#include "engine/frame/render_threads.h"
#include "tools/trackhash/track_hash.h"

TEST(WholeTrack, MatchesStoredHash) {
    uint64_t fingerprint = 0;
    const lf::RcpFamily family = lf::rcp_build_family(&fingerprint);
    if (family == lf::RcpFamily::none)
        GTEST_SKIP() << "this processor's reciprocal estimate (fingerprint "
                     << hash_text(fingerprint)
                     << ") matches no known family; a build with -DLUMENFROST_RCP=intel checks "
                        "the Intel track of record";
    const std::string name = lf::rcp_family_name(family);
    engine_startup();
    const std::string hash = hash_text(render_and_hash(TRACK_FRAMES));

    if (std::getenv("LUMENFROST_UPDATE_TRACK_HASH")) {
        ASSERT_TRUE(store_track_hash(TRACK_HASH_FILE, name, hash))
            << "cannot write " << TRACK_HASH_FILE << ": " << std::strerror(errno);
        std::printf("stored the %s track hash %s\n", name.c_str(), hash.c_str());
        return;
    }
    const std::string stored = stored_track_hash(TRACK_HASH_FILE, name);
    ASSERT_FALSE(stored.empty()) << "no " << name << " hash in " << TRACK_HASH_FILE;
    EXPECT_EQ(stored, hash) << "the " << name
                            << " track changed; if the music was meant to "
                               "change, run scripts/update-track-hash.sh";
    // The frame after the track holds lanes 2 and 3 of the last frame's store.
    EXPECT_TRUE(TrackBuffer[TRACK_FRAMES + 1].left == 0.0f &&
                TrackBuffer[TRACK_FRAMES + 1].right == 0.0f);
}

// The programs' path (blocks, on two threads where there are two cores) over
// the whole track, against the same stored hash; in one process after the
// frame path's render, which start-up undoes.
TEST(WholeTrack, BlockPathMatchesStoredHash) {
    uint64_t fingerprint = 0;
    const lf::RcpFamily family = lf::rcp_build_family(&fingerprint);
    if (family == lf::RcpFamily::none) GTEST_SKIP() << "no known reciprocal family";
    const std::string stored = stored_track_hash(TRACK_HASH_FILE, lf::rcp_family_name(family));
    ASSERT_FALSE(stored.empty());
    engine_startup();
    lf::render_threads_start();
    lf::render_block_threads(TrackBuffer, 0, TRACK_FRAMES);
    lf::render_threads_stop();
    EXPECT_EQ(stored, hash_text(hash_frames(TrackBuffer, TRACK_FRAMES)));
}
