// Where a frame's time goes: the real track rendered through the engine's own
// stage order, with a cycle counter read between the stages.
//
// The engine's state only moves forward, so this program renders the track
// once: BM_TrackStages renders the first LUMENFROST_BENCH_SECONDS seconds
// (default 118, all but the last 20 s) with the timing probe and prints the
// stages by their share of the time; BM_RenderFrame then renders the rest of
// the track without the probe, as wavrender does.
//
// Each mark waits for the work before it (a fence) and reads the time stamp
// counter; the cost of a mark is measured and taken off. The fences keep one
// stage's long chains from overlapping the next stage, which the free-running
// render does, so stages that wait on latency (the curves of the score walk)
// show a larger share here than they cost in wavrender. The time between the
// last mark of a frame and the first of the next (render_frame's own store,
// the loop) is the "between frames" row.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/frame/engine.h"
#include "engine/frame/stages.h"

#if LUMENFROST_X86
#include <x86intrin.h>
#endif

namespace {

using namespace lf;

// The fence lets every earlier instruction finish first, so that the tail of a
// stage's work is not counted in the next one.
uint64_t ticks() {
#if LUMENFROST_X86
    _mm_lfence();
    return __rdtsc();
#else
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// Adds the ticks since the previous mark to the stage just finished.
struct CycleProbe {
    uint64_t last = 0;
    uint64_t total[STAGE_COUNT + 1] = {};  // the last slot: between frames
    uint64_t marks[STAGE_COUNT + 1] = {};
    void mark(Stage s) {
        const uint64_t now = ticks();
        total[s] += now - last;
        marks[s] += 1;
        last = now;
    }
    void frame_start() { mark(static_cast<Stage>(STAGE_COUNT)); }
};

// The ticks one mark itself costs: two marks with nothing in between, at best.
double mark_cost() {
    CycleProbe empty;
    double best = 1e30;
    for (int round = 0; round < 100; ++round) {
        empty = CycleProbe{};
        empty.last = ticks();
        for (int i = 0; i < 1000; ++i) empty.mark(STAGE_SCORE_WALK);
        best = std::min(best, static_cast<double>(empty.total[STAGE_SCORE_WALK]) / 1000.0);
    }
    return best;
}

CycleProbe probe;
uint32_t next_frame = 0;
bool started = false;

void start_engine() {
    if (!started) {
        engine_startup();
        started = true;
    }
}

uint32_t bench_frames() {
    const char* text = std::getenv("LUMENFROST_BENCH_SECONDS");
    const double seconds = text ? std::atof(text) : 118.0;
    const double frames = seconds * SAMPLE_RATE;
    return frames >= TRACK_FRAMES ? TRACK_FRAMES : static_cast<uint32_t>(frames);
}

// The same store as render_frame, with the probed stage sequence.
void render_probed(uint32_t index) {
    probe.frame_start();
    Vec4 t = Vec4(static_cast<float>(index)) * Vec4(FRAME_SECONDS);
    Vec4 out = run_frame_stages_probed(t, probe);
    out.store(&TrackBuffer[index].left);
}

// Each stage's ticks less the cost of its marks, by share of the frame.
void print_shares(uint32_t frames) {
    struct Row {
        const char* name;
        double ticks;
    };
    const double cost = mark_cost();
    Row rows[STAGE_COUNT + 1];
    double sum = 0;
    for (int s = 0; s <= STAGE_COUNT; ++s) {
        const double own = static_cast<double>(probe.total[s]) - cost * probe.marks[s];
        rows[s] = {s < STAGE_COUNT ? STAGE_NAMES[s] : "between frames", std::max(own, 0.0)};
        sum += rows[s].ticks;
    }
    std::sort(rows, rows + STAGE_COUNT + 1,
              [](const Row& a, const Row& b) { return a.ticks > b.ticks; });
    std::printf("%u frames, %.0f ticks per frame besides %.1f per probe mark\n", frames,
                sum / frames, cost);
    std::printf("%-22s %12s %8s\n", "stage", "ticks/frame", "share");
    for (const Row& r : rows) {
        std::printf("%-22s %12.1f %7.2f%%\n", r.name, r.ticks / frames, 100.0 * r.ticks / sum);
    }
}

void BM_TrackStages(benchmark::State& state) {
    start_engine();
    const uint32_t frames = bench_frames();
    for (auto _ : state) {
        probe.last = ticks();
        for (uint32_t i = 0; i < frames; ++i) render_probed(next_frame + i);
        next_frame += frames;
    }
    benchmark::DoNotOptimize(TrackBuffer[frames - 1]);
    state.counters["frames"] = frames;
    // Seconds of audio per second of rendering, the probe's cost included.
    state.counters["speed"] =
        benchmark::Counter(frames / static_cast<double>(SAMPLE_RATE), benchmark::Counter::kIsRate);
    print_shares(frames);
}
BENCHMARK(BM_TrackStages)->Iterations(1)->Unit(benchmark::kMillisecond);

// The plain render path, from where the probed run stopped to the track's end.
void BM_RenderFrame(benchmark::State& state) {
    start_engine();
    const uint32_t frames = TRACK_FRAMES - next_frame;
    if (frames == 0) {
        state.SkipWithError("the probed run rendered the whole track");
        for (auto _ : state) {
        }
        return;
    }
    for (auto _ : state) {
        for (uint32_t i = 0; i < frames; ++i) render_frame(TrackBuffer, next_frame + i);
        next_frame += frames;
    }
    benchmark::DoNotOptimize(TrackBuffer[next_frame - 1]);
    state.counters["frames"] = frames;
    // Seconds of audio per second of rendering: the speed factor.
    state.counters["speed"] =
        benchmark::Counter(frames / static_cast<double>(SAMPLE_RATE), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
