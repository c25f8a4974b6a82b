#include "player/render_thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <thread>

#include "engine/frame/engine.h"
#include "engine/frame/render_threads.h"

namespace player {

std::atomic<uint32_t> RenderProgress{0};

namespace {

// Frames between two progress steps: 23 ms of audio, eight blocks, so that
// the mix of all but the last overlaps the next block's voices.
constexpr uint32_t PROGRESS_FRAMES = 1024;

}  // namespace

void render_thread() {
    // The engine's float-to-integer conversions act as floor only in its mode
    // (flush-to-zero, rounding toward -inf), and this thread did not run start-up.
    engine_set_fp_mode();
    RenderProgress.store(0, std::memory_order_release);
    // The block path on this thread and a helper (one thread on one core);
    // the progress moves after every run of frames.
    lf::render_threads_start();
    for (uint32_t index = 0; index < TRACK_FRAMES;) {
        const uint32_t count = std::min(PROGRESS_FRAMES, TRACK_FRAMES - index);
        lf::render_block_threads(TrackBuffer, index, count);
        index += count;
        RenderProgress.store(index, std::memory_order_release);
    }
    lf::render_threads_stop();
}

namespace {

// Real-time FIFO scheduling at the top priority, or at the ceiling that
// RLIMIT_RTPRIO grants an unprivileged user; otherwise the thread keeps the
// normal policy, quietly.
void raise_to_top_priority(std::thread& thread) {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0) return;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) return;
    if (limit.rlim_cur < static_cast<rlim_t>(param.sched_priority)) {
        param.sched_priority = static_cast<int>(limit.rlim_cur);
    }
    pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param);
}

}  // namespace

void start_render_thread() {
    std::thread thread(render_thread);
    raise_to_top_priority(thread);
    thread.detach();
}

}  // namespace player
