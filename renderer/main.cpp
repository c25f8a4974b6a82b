// wavrender: renders the whole track (on two threads where there are two
// cores) and saves it as a WAV file.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>

#include "engine/frame/cpu_check.h"
#include "engine/frame/engine.h"
#include "engine/frame/render_threads.h"
#include "renderer/wav_file.h"

namespace {

int64_t clock_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Elapsed seconds as the console reports them: the nanosecond difference as a
// float, times 1e-9, both in single precision.
float seconds_since(int64_t start_ns) {
    volatile float scale = 1e-9f;
    return static_cast<float>(clock_ns() - start_ns) * scale;
}

}  // namespace

int main(int argc, char**) {
    // An argument is a user asking for something this program does not do:
    // say where it is, before anything could overwrite the WAV.
    if (argc > 1) {
        std::fprintf(stderr,
                     "wavrender takes no arguments (it renders the whole track into %s here); "
                     "for parts, formats and options see: lumenfrost render --help\n",
                     WAV_FILE_NAME);
        return 2;
    }
    if (!engine_runs_here("wavrender", "render")) return 1;

    std::printf("Initializing...\n");
    std::fflush(stdout);
    int64_t start = clock_ns();
    engine_startup();
    std::printf("Initialization finished in %fs.\n", static_cast<double>(seconds_since(start)));

    std::printf("Rendering audio...\n");
    std::fflush(stdout);
    start = clock_ns();
    // Two threads where there are two cores. A progress line at frame 0 and
    // at every power of two, each run of frames between them one call.
    lf::render_threads_start();
    for (uint32_t i = 0; i < TRACK_FRAMES;) {
        std::printf("%u / %u\n", i, TRACK_FRAMES);
        std::fflush(stdout);
        const uint32_t next = i == 0 ? 1 : std::min(2 * i, TRACK_FRAMES);
        lf::render_block_threads(TrackBuffer, i, next - i);
        i = next;
    }
    lf::render_threads_stop();
    const float elapsed = seconds_since(start);
    volatile float track_seconds = 138.16667f;
    std::printf("Finished in %fs (%fx).\n", static_cast<double>(elapsed),
                static_cast<double>(track_seconds / elapsed));

    std::printf("Saving to %s...\n", WAV_FILE_NAME);
    std::fflush(stdout);
    try {
        save_wav(WAV_FILE_NAME, TrackBuffer, SAVED_FRAMES);
    } catch (const std::exception& e) {
        std::printf("Save failed! Exception info: %s\n", e.what());
        return 1;
    }
    std::printf("Done.\n");
    return 0;
}
