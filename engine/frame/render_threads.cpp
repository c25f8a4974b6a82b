// Two threads over the block path: the calling thread and one helper.
#include "engine/frame/render_threads.h"

#include <atomic>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#include "engine/dsp/math.h"
#include "engine/frame/block.h"
#include "engine/frame/engine.h"

namespace lf {

namespace {

// The order in which the voices are taken: by measured cost (bench_block),
// heaviest first, so that the last ones taken are short and the two threads
// finish close together. The bass alone is about a quarter of the voices.
constexpr VoiceStage CLAIM_ORDER[VOICE_COUNT] = {
    VOICE_TRACK14, VOICE_TRACK19, VOICE_TRACK17,     VOICE_TRACK7, VOICE_TRACK1,  VOICE_TRACK16,
    VOICE_TRACK22, VOICE_TRACK10, VOICE_NOISE_SWEEP, VOICE_TRACK0, VOICE_TRACK12, VOICE_TRACK13,
    VOICE_TRACK11, VOICE_TRACK21, VOICE_TRACK23,     VOICE_TRACK9,
};

// Spins of the helper before it sleeps: a few blocks' worth of waiting.
constexpr int HELPER_SPINS = 1 << 16;
// Spins of the caller between yields while it waits for the helper's voice.
constexpr int WAITER_SPINS = 1 << 12;

// The claim counter holds the block's number above the next index into
// CLAIM_ORDER, so that a claim meant for one block never takes a voice of the
// next.
constexpr uint32_t INDEX_BITS = 5;
static_assert(VOICE_COUNT < (1 << INDEX_BITS));

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

// The handshake: the caller writes the job and resets `claims` and
// `finished`, then bumps `posted`; both threads claim voices and count the
// finished ones. Each counter on a line of its own.
struct Pipeline {
    alignas(64) std::atomic<uint32_t> posted{0};
    alignas(64) std::atomic<uint32_t> claims{0};
    alignas(64) std::atomic<uint32_t> finished{0};
    alignas(64) std::atomic<bool> sleeping{false};
    alignas(64) std::atomic<uint64_t> helper_blocks{0};
    Job job{};
    bool stop = false;
    std::thread helper;
    bool running = false;
    uint64_t caller_blocks = 0;
};

Pipeline pipeline;

// Takes the next voice of block `number`, or returns -1 when none is left.
int claim(uint32_t number) {
    const uint32_t tag = number << INDEX_BITS;
    uint32_t c = pipeline.claims.load(std::memory_order_acquire);
    for (;;) {
        if ((c & ~((1u << INDEX_BITS) - 1)) != tag || (c & ((1u << INDEX_BITS) - 1)) >= VOICE_COUNT)
            return -1;
        if (pipeline.claims.compare_exchange_weak(c, c + 1, std::memory_order_acq_rel))
            return static_cast<int>(c & ((1u << INDEX_BITS) - 1));
    }
}

// Runs voices of the job until none is left; returns how many.
uint64_t run_claims(uint32_t number, const Job& job) {
    uint64_t ran = 0;
    for (int i; (i = claim(number)) >= 0; ++ran) {
        run_voice_block(CLAIM_ORDER[i], job.slot, job.first, job.count);
        pipeline.finished.fetch_add(1, std::memory_order_release);
    }
    return ran;
}

void helper_loop() {
    set_engine_fp_mode();
    uint32_t seen = pipeline.posted.load(std::memory_order_acquire);
    for (;;) {
        uint32_t posted = pipeline.posted.load(std::memory_order_acquire);
        for (int spin = 0; posted == seen && spin < HELPER_SPINS; ++spin) {
            pause();
            posted = pipeline.posted.load(std::memory_order_acquire);
        }
        if (posted == seen) {
            pipeline.sleeping.store(true, std::memory_order_seq_cst);
            // The caller wakes a sleeper only when it sees the flag after
            // posting; wait() checks the counter once more before it sleeps.
            if (pipeline.posted.load(std::memory_order_seq_cst) == seen)
                pipeline.posted.wait(seen, std::memory_order_acquire);
            pipeline.sleeping.store(false, std::memory_order_relaxed);
            continue;
        }
        seen = posted;
        if (pipeline.stop) return;
        const uint64_t ran = run_claims(seen, pipeline.job);
        pipeline.helper_blocks.fetch_add(ran, std::memory_order_relaxed);
    }
}

void post(const Job& job) {
    const uint32_t number = pipeline.posted.load(std::memory_order_relaxed) + 1;
    pipeline.job = job;
    pipeline.finished.store(0, std::memory_order_relaxed);
    pipeline.claims.store(number << INDEX_BITS, std::memory_order_relaxed);
    pipeline.posted.store(number, std::memory_order_seq_cst);
    if (pipeline.sleeping.load(std::memory_order_seq_cst)) pipeline.posted.notify_one();
}

// Waits until every voice of the block is done: at most the one the helper is
// in the middle of. Spins; on a machine with more threads than cores the
// helper may have lost its core, and the wait then gives this one up now and
// then (a yield, which never blocks).
void wait_for_voices() {
    for (int spin = 1; pipeline.finished.load(std::memory_order_acquire) != VOICE_COUNT; ++spin) {
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
#if defined(__linux__)
    // The helper runs at normal priority whatever the caller's: a real-time
    // caller (the player's render thread) must not take the other core from
    // the audio device's thread too. A helper that falls behind only leaves
    // more voices for the caller.
    sched_param normal{};
    pthread_setschedparam(pipeline.helper.native_handle(), SCHED_OTHER, &normal);
#endif
    pipeline.running = true;
    return 2;
}

void render_threads_stop() {
    if (!pipeline.running) return;
    pipeline.stop = true;
    post(Job{});
    pipeline.helper.join();
    pipeline.running = false;
}

RenderThreadCounts render_threads_counts() {
    return {pipeline.caller_blocks, pipeline.helper_blocks.load(std::memory_order_relaxed)};
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
        if (have_previous) mix_block(previous.slot, buffer, previous.first, previous.count);
        pipeline.caller_blocks += run_claims(pipeline.posted.load(std::memory_order_relaxed), job);
        wait_for_voices();
        previous = job;
        have_previous = true;
        slot ^= 1;
        first += n;
        count -= n;
    }
    if (have_previous) mix_block(previous.slot, buffer, previous.first, previous.count);
}

}  // namespace lf
