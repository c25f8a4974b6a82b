// Start-up, step by step and as a whole: the time from launch to the first
// frame the player can render.
#include <benchmark/benchmark.h>

#include "engine/dsp/math.h"
#include "engine/frame/engine.h"
#include "engine/startup/codec.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"

namespace {

// Every step runs in the engine's mode, after the steps it needs.
void prepare() {
    static bool done = false;
    if (!done) {
        engine_startup();
        done = true;
    }
    lf::set_engine_fp_mode();
}

void BM_EngineStartup(benchmark::State& state) {
    for (auto _ : state) {
        engine_startup();
        benchmark::DoNotOptimize(lf::sample_buffer(1)[2048]);
    }
}
BENCHMARK(BM_EngineStartup)->Unit(benchmark::kMillisecond);

void BM_Score(benchmark::State& state) {
    prepare();
    for (auto _ : state) {
        lf::build_score();
        benchmark::DoNotOptimize(lf::engine.score.note_cursors[0].event);
    }
}
BENCHMARK(BM_Score)->Unit(benchmark::kMicrosecond);

void BM_CosineBasis(benchmark::State& state) {
    prepare();
    const auto half_length = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        lf::build_cosine_basis(half_length);
        benchmark::DoNotOptimize(lf::cosine_basis_weight(half_length, 1, 1));
    }
}
BENCHMARK(BM_CosineBasis)->Arg(128)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_DecodeSamples(benchmark::State& state) {
    prepare();
    for (auto _ : state) {
        lf::decode_drum_samples();
        benchmark::DoNotOptimize(lf::sample_buffer(7)[0]);
    }
}
BENCHMARK(BM_DecodeSamples)->Unit(benchmark::kMillisecond);

void BM_Wavetables(benchmark::State& state) {
    prepare();
    for (auto _ : state) {
        lf::build_wavetables();
        benchmark::DoNotOptimize(lf::PULSE_TABLE[12345]);
    }
}
BENCHMARK(BM_Wavetables)->Unit(benchmark::kMillisecond);

void BM_UnitSetup(benchmark::State& state) {
    prepare();
    for (auto _ : state) {
        lf::setup_units();
        benchmark::DoNotOptimize(&lf::highpass_25);
    }
}
BENCHMARK(BM_UnitSetup)->Unit(benchmark::kMicrosecond);

// The inverse transform alone: 64 long blocks of a fixed spectrum.
void BM_InverseTransformLong(benchmark::State& state) {
    prepare();
    static float spectra[64][1024];
    static float signals[64][2048];
    for (int b = 0; b < 64; ++b) {
        for (int c = 0; c < 856; ++c) spectra[b][c] = static_cast<float>((b * 31 + c * 7) % 17 - 8);
    }
    for (auto _ : state) {
        lf::inverse_transform(1024, spectra[0], 64, signals[0]);
        benchmark::DoNotOptimize(signals[63][2047]);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_InverseTransformLong)->Unit(benchmark::kMillisecond);

}  // namespace
