// Two threads over the block path: the calling thread and one helper.
#include "engine/frame/render_threads.h"

#include <atomic>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "engine/dsp/math.h"
#include "engine/frame/block.h"
#include "engine/frame/engine.h"

namespace lf {

namespace {

// Which voices the helper computes. Measured shares of a frame (bench_block):
// the bass alone is about a fifth, the two leads and the pluck about a tenth
// each; the calling thread also plans the noise and runs the mix and master
// chain, about a seventh.
constexpr bool ON_HELPER[VOICE_COUNT] = {
    false,  // track 0 break
    false,  // noise sweep
    false,  // track 1 chords
    false,  // track 7 pluck
    false,  // track 9 ride
    false,  // track 10 hats
    false,  // track 11 kick
    true,   // track 14 bass
    false,  // track 12 crash
    false,  // track 13 snare
    true,   // track 16 arpeggio
    true,   // track 17 gliding lead
    true,   // track 19 resonator lead
    false,  // track 21 solo
    true,   // track 22 crash reverb
    false,  // track 23 blips
};

// Spins of the helper before it sleeps: a few blocks' worth of waiting.
constexpr int HELPER_SPINS = 1 << 16;
// Spins of the caller between yields while it waits for the helper: about a
// block's worth.
constexpr int WAITER_SPINS = 1 << 12;

inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

struct Job {
    int slot;
    uint32_t first;
    uint32_t count;
};

// The handshake: the caller writes the job, then bumps `posted`; the helper
// runs it and sets `done` to the same number. Each counter on a line of its own.
struct Pipeline {
    alignas(64) std::atomic<uint32_t> posted{0};
    alignas(64) std::atomic<uint32_t> done{0};
    alignas(64) std::atomic<bool> sleeping{false};
    Job job{};
    bool stop = false;
    std::thread helper;
    bool running = false;
};

Pipeline pipeline;

void run_share(bool helper, const Job& job) {
    for (int v = 0; v < VOICE_COUNT; ++v)
        if (ON_HELPER[v] == helper)
            run_voice_block(static_cast<VoiceStage>(v), job.slot, job.first, job.count);
}

void helper_loop() {
    set_engine_fp_mode();
    uint32_t seen = pipeline.done.load(std::memory_order_relaxed);
    for (;;) {
        uint32_t posted = pipeline.posted.load(std::memory_order_acquire);
        for (int spin = 0; posted == seen && spin < HELPER_SPINS; ++spin) {
            pause();
            posted = pipeline.posted.load(std::memory_order_acquire);
        }
        if (posted == seen) {
            pipeline.sleeping.store(true, std::memory_order_seq_cst);
            // Checked again after the flag is up: the caller wakes a sleeper
            // only when it sees the flag after posting.
            pipeline.posted.wait(seen, std::memory_order_acquire);
            pipeline.sleeping.store(false, std::memory_order_relaxed);
            continue;
        }
        seen = posted;
        if (pipeline.stop) return;
        run_share(true, pipeline.job);
        pipeline.done.store(seen, std::memory_order_release);
    }
}

void post(const Job& job) {
    pipeline.job = job;
    pipeline.posted.fetch_add(1, std::memory_order_seq_cst);
    if (pipeline.sleeping.load(std::memory_order_seq_cst)) pipeline.posted.notify_one();
}

// Spins; on a machine with more threads than cores the helper may have lost
// its core, and then the wait gives this one up now and then (a yield, which
// never blocks) so that the helper can finish.
void wait_for_helper() {
    const uint32_t posted = pipeline.posted.load(std::memory_order_relaxed);
    for (int spin = 1; pipeline.done.load(std::memory_order_acquire) != posted; ++spin) {
        pause();
        if (spin % WAITER_SPINS == 0) std::this_thread::yield();
    }
}

int usable_cores() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
}

}  // namespace

int render_threads_start() {
    if (pipeline.running) return 2;
    if (usable_cores() < 2) return 1;
    pipeline.stop = false;
    try {
        pipeline.helper = std::thread(helper_loop);
    } catch (const std::system_error&) {
        return 1;
    }
    pipeline.running = true;
    return 2;
}

void render_threads_stop() {
    if (!pipeline.running) return;
    pipeline.stop = true;
    post(Job{});
    pipeline.helper.join();
    pipeline.done.store(pipeline.posted.load());
    pipeline.running = false;
}

void render_block_threads(StereoFrame* buffer, uint32_t first, uint32_t count) {
    if (!pipeline.running) {
        render_block(buffer, first, count);
        return;
    }
    // Block k's voices beside block k − 1's mix; the last mix after the loop.
    Job previous{};
    bool have_previous = false;
    int slot = 0;
    while (count > 0) {
        const uint32_t n = count < BLOCK_FRAMES ? count : BLOCK_FRAMES;
        const Job job{.slot = slot, .first = first, .count = n};
        plan_noise(slot, first, n);
        post(job);
        run_share(false, job);
        if (have_previous) mix_block(previous.slot, buffer, previous.first, previous.count);
        wait_for_helper();
        previous = job;
        have_previous = true;
        slot ^= 1;
        first += n;
        count -= n;
    }
    if (have_previous) mix_block(previous.slot, buffer, previous.first, previous.count);
}

}  // namespace lf
