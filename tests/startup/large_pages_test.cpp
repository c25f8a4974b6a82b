// The storage that start-up asks large pages for: it must hold the units'
// state, the bulk of what a frame touches, and nothing but whole pages; the
// track buffer's pages are asked to stay small.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"
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
    EXPECT_TRUE(inside(s, engine.track14));
    EXPECT_TRUE(inside(s, engine.track19));
    EXPECT_TRUE(inside(s, engine.track0));
    EXPECT_TRUE(inside(s, engine.mix));
}

// The flags /proc/self/smaps gives the mapping that holds address a ("hg":
// large pages asked for, "nh": small pages asked for); empty when unknown.
std::string mapping_flags(uintptr_t a) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside_mapping = false;
    while (std::getline(smaps, line)) {
        uintptr_t first = 0, last = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> first >> dash >> last && dash == '-') {
            inside_mapping = first <= a && a < last;
        } else if (inside_mapping && line.rfind("VmFlags:", 0) == 0) {
            return line.substr(8) + " ";
        }
    }
    return "";
}

bool has_flag(const std::string& flags, const char* flag) {
    return flags.find(std::string(" ") + flag + " ") != std::string::npos;
}

TEST(LargePages, TheUnitsGetLargePagesAndTheTrackBufferSmallOnes) {
    const StaticStorage s = static_storage();
    const StaticStorage track = track_buffer_pages();
    EXPECT_EQ(track.begin % 4096, 0u);
    EXPECT_EQ(track.end % 4096, 0u);
    EXPECT_LE(track.begin, reinterpret_cast<uintptr_t>(TrackBuffer));
    EXPECT_GE(track.end, reinterpret_cast<uintptr_t>(TrackBuffer) + sizeof TrackBuffer);

    const size_t advised = advise_large_pages();
    if (advised == 0) GTEST_SKIP() << "large pages cannot be asked for here";
    // Everything but the track buffer's pages, which lie inside the storage.
    ASSERT_TRUE(track.begin >= s.begin && track.end <= s.end);
    EXPECT_EQ(advised, (s.end - s.begin) - (track.end - track.begin));
    // Advising again, as a second start-up would, is harmless.
    EXPECT_EQ(advise_large_pages(), advised);

    const std::string units = mapping_flags(reinterpret_cast<uintptr_t>(&engine.track14));
    const std::string buffer =
        mapping_flags(reinterpret_cast<uintptr_t>(&TrackBuffer[TRACK_FRAMES]));
    if (units.empty()) GTEST_SKIP() << "no /proc/self/smaps";
    EXPECT_TRUE(has_flag(units, "hg")) << units;
    EXPECT_FALSE(has_flag(units, "nh")) << units;
    EXPECT_TRUE(has_flag(buffer, "nh")) << buffer;
    EXPECT_FALSE(has_flag(buffer, "hg")) << buffer;
    for (const void* state :
         {static_cast<const void*>(&engine.track19), static_cast<const void*>(&engine.track0),
          static_cast<const void*>(&engine.mix)}) {
        EXPECT_TRUE(has_flag(mapping_flags(reinterpret_cast<uintptr_t>(state)), "hg"));
    }
}

}  // namespace
}  // namespace lf::test
