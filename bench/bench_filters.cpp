// Per-call cost of the filter, delay, reverb and shifter units, in the
// engine's floating-point mode, on state in static storage as the engine
// keeps it. Inputs cycle through a table of pseudo-random frames so that no
// call sees a constant, and swept designs get a new frequency every call.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"
#include "engine/dsp/vec4.h"

namespace {

using namespace lf;

constexpr int INPUTS = 4096;

struct Inputs {
    Vec4 frame[INPUTS];
    Inputs() {
        uint32_t seed = 0x1234567u;
        for (Vec4& f : frame) {
            float l[4];
            for (float& v : l) {
                seed = seed * 1664525u + 1013904223u;
                v = static_cast<float>(static_cast<int32_t>(seed)) * 4.656613e-10f;
            }
            f = Vec4::load(l);
        }
    }
};

const Inputs& inputs() {
    static const Inputs table;
    return table;
}

// Large states, as the engine holds them: static, fixed addresses.
DelayRing ring;
EchoUnit echo;
ReverbUnit reverb;
FreqShifter shifter;
BandShifter band_shifter;
CrossoverSplit split;
ThreeBandEq eq;
BiquadState state;

template <BiquadCoeffs (*Design)(Vec4, Vec4)>
void BM_design(benchmark::State& st) {
    set_engine_fp_mode();
    Vec4 f = Vec4::set(200.0f, 210.0f, 220.0f, 230.0f);
    const Vec4 step(1.5f), q(0.9f);
    for (auto _ : st) {
        BiquadCoeffs c = Design(f, q);
        benchmark::DoNotOptimize(c);
        f = f + step;
    }
}
BENCHMARK(BM_design<design_lowpass>)->Name("design_lowpass");
BENCHMARK(BM_design<design_highpass>)->Name("design_highpass");
BENCHMARK(BM_design<design_bandpass>)->Name("design_bandpass");
BENCHMARK(BM_design<design_allpass>)->Name("design_allpass");

template <BiquadCoeffs (*Design)(Vec4, Vec4, Vec4)>
void BM_design_gain(benchmark::State& st) {
    set_engine_fp_mode();
    Vec4 f = Vec4::set(200.0f, 210.0f, 220.0f, 230.0f);
    const Vec4 step(1.5f), q(0.9f), a(1.4f);
    for (auto _ : st) {
        BiquadCoeffs c = Design(f, q, a);
        benchmark::DoNotOptimize(c);
        f = f + step;
    }
}
BENCHMARK(BM_design_gain<design_peaking>)->Name("design_peaking");
BENCHMARK(BM_design_gain<design_low_shelf>)->Name("design_low_shelf");
BENCHMARK(BM_design_gain<design_high_shelf>)->Name("design_high_shelf");

void BM_design_crossover(benchmark::State& st) {
    set_engine_fp_mode();
    Vec4 f(300.0f);
    const Vec4 step(0.5f);
    for (auto _ : st) {
        design_crossover(split, f);
        benchmark::DoNotOptimize(split.low);
        f = f + step;
    }
}
BENCHMARK(BM_design_crossover)->Name("design_crossover");

void BM_biquad_process(benchmark::State& st) {
    set_engine_fp_mode();
    const BiquadCoeffs c = design_lowpass(Vec4(1000.0f), Vec4(0.8f));
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(biquad_process(c, state, in.frame[i]));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_biquad_process)->Name("biquad_process");

void BM_crossover_process(benchmark::State& st) {
    set_engine_fp_mode();
    design_crossover(split, Vec4(300.0f));
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        CrossoverOutput o = crossover_process(split, in.frame[i]);
        benchmark::DoNotOptimize(o);
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_crossover_process)->Name("crossover_process");

void BM_three_band_eq_process(benchmark::State& st) {
    set_engine_fp_mode();
    three_band_eq_init(eq, {250.0f, 3000.0f, 1.2f, 0.8f, 1.1f});
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(three_band_eq_process(eq, in.frame[i]));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_three_band_eq_process)->Name("three_band_eq_process");

// A push and a read per call, as a delay effect does every frame.
void BM_delay_read_linear(benchmark::State& st) {
    set_engine_fp_mode();
    const Inputs& in = inputs();
    const Vec4 d = Vec4::set(1234.25f, 1234.5f, 1234.25f, 1234.5f);
    int i = 0;
    for (auto _ : st) {
        delay_push(ring, in.frame[i]);
        benchmark::DoNotOptimize(delay_read_linear(ring, d));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_delay_read_linear)->Name("delay_push+delay_read_linear");

void BM_delay_read_sinc(benchmark::State& st) {
    set_engine_fp_mode();
    const Inputs& in = inputs();
    const Vec4 d = Vec4::set(1234.3f, 1234.7f, 1234.3f, 1234.7f);
    int i = 0;
    for (auto _ : st) {
        delay_push(ring, in.frame[i]);
        benchmark::DoNotOptimize(delay_read_sinc(ring, d));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_delay_read_sinc)->Name("delay_push+delay_read_sinc");

void BM_echo_process(benchmark::State& st) {
    set_engine_fp_mode();
    echo.side = Vec4(1.0f);
    const EchoParams p{0.45f, 0.8f, 9187.5f};
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(echo_process(echo, in.frame[i], p));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_echo_process)->Name("echo_process");

void BM_reverb_process(benchmark::State& st) {
    set_engine_fp_mode();
    const ReverbParams p{0.96f, 0.069f, 2.0f, 44.0f, 1.0f, 1.0f, 0.5f, 23};
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(reverb_process(reverb, in.frame[i], p));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_reverb_process)->Name("reverb_process");

void BM_freq_shift_process(benchmark::State& st) {
    set_engine_fp_mode();
    const FreqShiftParams p{Vec4(120.0f), Vec4(-35.0f), Vec4(0.0f),
                            Vec4(0.25f),  Vec4(0.4f),   Vec4(0.7f)};
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(freq_shift_process(shifter, in.frame[i], p));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_freq_shift_process)->Name("freq_shift_process");

// Crossover re-design, split and `stages` pairs of shifters.
void BM_band_shift_process(benchmark::State& st) {
    set_engine_fp_mode();
    const BandShiftParams p{Vec4(700.0f), static_cast<uint32_t>(st.range(0)),
                            Vec4(40.0f),  Vec4(1.5f),
                            Vec4(60.0f),  Vec4(0.25f),
                            Vec4(0.9f)};
    const Inputs& in = inputs();
    int i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(band_shift_process(band_shifter, in.frame[i], p));
        i = (i + 1) & (INPUTS - 1);
    }
}
BENCHMARK(BM_band_shift_process)->Name("band_shift_process/stages")->Arg(0)->Arg(1)->Arg(2)->Arg(4);

}  // namespace
