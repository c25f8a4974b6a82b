// trackhash: renders the track, or its first seconds, and prints the hash of
// the frames and the reciprocal-estimate family this build renders. The bits
// of one build compared with another's, here or on another processor.
//
//   trackhash [SECONDS [RAW_FILE]]
//
// RAW_FILE receives the frames as interleaved 32-bit floats, to find the first
// frame where two builds part.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/data/files.h"
#include "engine/dsp/rcp_family.h"
#include "engine/frame/cpu_check.h"
#include "tools/trackhash/track_hash.h"

int main(int argc, char** argv) {
    uint32_t frames = TRACK_FRAMES;
    if (argc > 3 || (argc >= 2 && std::strcmp(argv[1], "--help") == 0)) {
        std::fprintf(stderr,
                     "usage: trackhash [SECONDS [RAW_FILE]]   (the whole track when omitted)\n");
        return 2;
    }
    if (argc >= 2) {
        char* end = nullptr;
        const double seconds = std::strtod(argv[1], &end);
        if (end == argv[1] || *end != '\0' || !(seconds > 0.0) ||
            seconds * SAMPLE_RATE > TRACK_FRAMES) {
            std::fprintf(stderr, "trackhash: SECONDS must be a number in (0, %.2f], not '%s'\n",
                         static_cast<double>(TRACK_FRAMES) / SAMPLE_RATE, argv[1]);
            return 2;
        }
        frames = static_cast<uint32_t>(seconds * SAMPLE_RATE);
    }
    if (!engine_runs_here("trackhash", "render")) return 1;
    engine_startup();
    const uint64_t hash = render_and_hash(frames);
    if (argc == 3) {
        std::string error;
        if (!lf::files::write_atomically(
                argv[2], {reinterpret_cast<const char*>(TrackBuffer), frames * sizeof(StereoFrame)},
                error)) {
            std::fprintf(stderr, "trackhash: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("%s %s %u\n", hash_text(hash).c_str(), lf::rcp_family_name(lf::rcp_build_family()),
                frames);
    return 0;
}
