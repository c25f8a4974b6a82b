// Renders the whole track once with an instrumented copy of the engine, so
// that the compiler can build the real engine knowing which branches a frame
// takes and where its time goes. The counts only steer code layout, inlining
// and unrolling; the arithmetic, and so every output bit, stays the same.
#include <cstdint>
#include <cstdio>

#include "engine/frame/cpu_check.h"
#include "engine/frame/engine.h"

int main() {
    // A build machine that cannot run the engine builds it without counts.
    if (const char* missing = engine_missing_cpu_features()) {
        std::printf("This processor lacks %s: the engine is built without a profile.\n", missing);
        return 0;
    }
    engine_startup();
    // The programs' block path, on this one thread: the counts are not
    // updated atomically.
    render_block(TrackBuffer, 0, TRACK_FRAMES);
    return 0;
}
