#include "player/render_thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <thread>

#include "engine/frame/engine.h"

namespace player {

std::atomic<uint32_t> RenderProgress{0};

void render_thread() {
    // The engine's float-to-integer conversions act as floor only in its mode
    // (flush-to-zero, rounding toward -inf), and this thread did not run start-up.
    engine_set_fp_mode();
    RenderProgress.store(0, std::memory_order_release);
    for (uint32_t index = 0; index < TRACK_FRAMES; ++index) {
        render_frame(TrackBuffer, index);
        RenderProgress.store(index + 1, std::memory_order_release);
    }
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
