// The storage that start-up asks large pages for: it must hold the track
// buffer and the units' state, the bulk of what a frame touches, and nothing
// but whole pages.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/frame/engine.h"
#include "engine/frame/mix.h"
#include "engine/startup/large_pages.h"
#include "engine/voices/bass_state.h"
#include "engine/voices/drums_state.h"
#include "engine/voices/lead_state.h"

namespace lf::test {
namespace {

template <typename T>
bool inside(const StaticStorage& s, const T& object) {
    const auto first = reinterpret_cast<uintptr_t>(&object);
    return first >= s.begin && first + sizeof object <= s.end;
}

TEST(LargePages, StaticStorageIsWholePagesHoldingTheBufferAndTheUnits) {
    const StaticStorage s = static_storage();
#if defined(__linux__)
    ASSERT_LT(s.begin, s.end) << "the linker's marks were not found";
#endif
    if (s.begin == s.end) GTEST_SKIP() << "no marks of the static storage on this system";
    EXPECT_EQ(s.begin % 4096, 0u);
    EXPECT_EQ(s.end % 4096, 0u);
    // The buffer may share its first and last pages with other objects; all
    // the pages in between are advised.
    const auto buffer = reinterpret_cast<uintptr_t>(TrackBuffer);
    EXPECT_LE(s.begin, buffer + 4096);
    EXPECT_GE(s.end + 4096, buffer + sizeof TrackBuffer);
    EXPECT_TRUE(inside(s, bass_voice_state));
    EXPECT_TRUE(inside(s, lead_voice_state));
    EXPECT_TRUE(inside(s, track0_state));
    EXPECT_TRUE(inside(s, mix_state));
}

TEST(LargePages, AdviceCoversTheWholeStorageOrNothing) {
    const StaticStorage s = static_storage();
    const size_t advised = advise_large_pages();
    EXPECT_TRUE(advised == 0 || advised == s.end - s.begin) << advised;
    // Advising again, as a second start-up would, is harmless.
    EXPECT_EQ(advise_large_pages(), advised);
}

}  // namespace
}  // namespace lf::test
