// The block path: where a block's time goes, stage by stage, and what each of
// the two threads carries; then the render itself on one thread and on two.
//
// Every benchmark starts the engine afresh and renders the frames 0 to
// LUMENFROST_BENCH_SECONDS (default 60) seconds, so the three see the same
// music. BM_BlockStages reads the clock between the stages of every block
// (plan, each voice over the block, mix) and reports each stage's share of
// the time, and the serial work (plan and mix) that only the pipeline can hide.
// BM_RenderBlockThreads reports the share of the voice blocks the helper took.
// BM_RenderBlock and BM_RenderBlockThreads time the plain render and report
// the real-time factor; run them in pairs and compare ratios on a shared
// machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/frame/block.h"
#include "engine/frame/engine.h"
#include "engine/frame/render_threads.h"

namespace {

using namespace lf;

uint32_t bench_frames() {
    const char* s = std::getenv("LUMENFROST_BENCH_SECONDS");
    const uint32_t seconds = s ? static_cast<uint32_t>(std::atoi(s)) : 60;
    const uint64_t frames = uint64_t{seconds} * SAMPLE_RATE;
    return frames < TRACK_FRAMES ? static_cast<uint32_t>(frames) : TRACK_FRAMES;
}

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr const char* VOICE_NAMES[VOICE_COUNT] = {
    "track 0 break",  "noise sweep",    "track 1 chords",    "track 7 pluck",
    "track 9 ride",   "track 10 hats",  "track 11 kick",     "track 14 bass",
    "track 12 crash", "track 13 snare", "track 16 arp",      "track 17 glide",
    "track 19 lead",  "track 21 solo",  "track 22 crash rv", "track 23 blips",
};

void BM_BlockStages(benchmark::State& state) {
    const uint32_t frames = bench_frames();
    // Slots: the voices, then the plan, then the mix.
    constexpr int PLAN = VOICE_COUNT, MIX = VOICE_COUNT + 1, SLOTS = VOICE_COUNT + 2;
    int64_t total[SLOTS] = {};
    for (auto _ : state) {
        state.PauseTiming();
        engine_startup();
        state.ResumeTiming();
        for (uint32_t first = 0; first < frames; first += BLOCK_FRAMES) {
            const uint32_t n = frames - first < BLOCK_FRAMES ? frames - first : BLOCK_FRAMES;
            int64_t t = now_ns();
            plan_noise(0, first, n);
            int64_t u = now_ns();
            total[PLAN] += u - t;
            for (int v = 0; v < VOICE_COUNT; ++v) {
                run_voice_block(static_cast<VoiceStage>(v), 0, first, n);
                t = now_ns();
                total[v] += t - u;
                u = t;
            }
            mix_block(0, TrackBuffer, first, n);
            total[MIX] += now_ns() - u;
        }
        benchmark::DoNotOptimize(TrackBuffer[frames - 1]);
    }
    int64_t all = 0;
    for (int64_t t : total) all += t;
    // The serial work: what the caller does that no voice can overlap.
    const int64_t serial = total[PLAN] + total[MIX];
    auto share = [&](int64_t t) {
        return 100.0 * static_cast<double>(t) / static_cast<double>(all);
    };
    std::printf("\n%-18s %6s\n", "stage", "share");
    std::printf("%-18s %5.1f %%\n", "noise plan", share(total[PLAN]));
    for (int v = 0; v < VOICE_COUNT; ++v)
        std::printf("%-18s %5.1f %%\n", VOICE_NAMES[v], share(total[v]));
    std::printf("%-18s %5.1f %%\n", "mix and master", share(total[MIX]));
    std::printf("serial (plan and mix) %5.1f %%\n\n", share(serial));
    state.counters["serial_pct"] = share(serial);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
}

void report_factor(benchmark::State& state, uint32_t frames) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
    // Real-time factor: seconds of track per second of render.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * frames / SAMPLE_RATE,
                           benchmark::Counter::kIsRate);
}

void BM_RenderBlock(benchmark::State& state) {
    const uint32_t frames = bench_frames();
    for (auto _ : state) {
        state.PauseTiming();
        engine_startup();
        state.ResumeTiming();
        render_block(TrackBuffer, 0, frames);
        benchmark::DoNotOptimize(TrackBuffer[frames - 1]);
    }
    report_factor(state, frames);
}

void BM_RenderBlockThreads(benchmark::State& state) {
    const uint32_t frames = bench_frames();
    const int threads = render_threads_start();
    for (auto _ : state) {
        state.PauseTiming();
        engine_startup();
        state.ResumeTiming();
        render_block_threads(TrackBuffer, 0, frames);
        benchmark::DoNotOptimize(TrackBuffer[frames - 1]);
    }
    const RenderThreadCounts counts = render_threads_counts();
    render_threads_stop();
    state.counters["threads"] = threads;
    // The share of the voice blocks the helper took.
    state.counters["helper_pct"] =
        100.0 * static_cast<double>(counts.helper) /
        static_cast<double>(counts.caller + counts.helper + (counts.caller + counts.helper == 0));
    report_factor(state, frames);
}

void BM_RenderFrame(benchmark::State& state) {
    const uint32_t frames = bench_frames();
    for (auto _ : state) {
        state.PauseTiming();
        engine_startup();
        state.ResumeTiming();
        for (uint32_t i = 0; i < frames; ++i) render_frame(TrackBuffer, i);
        benchmark::DoNotOptimize(TrackBuffer[frames - 1]);
    }
    report_factor(state, frames);
}

BENCHMARK(BM_BlockStages)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_RenderBlock)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_RenderBlockThreads)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
