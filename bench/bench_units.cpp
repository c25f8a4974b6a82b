// Per-call cost of the envelope, oscillator and cascade units, in the
// configurations the track runs them in (chord and bass unison voices, the two
// resonator banks, the 32- and 8-section all-pass cascades) and at their
// capacity limits. Every unit works on static state, as in the engine, and its
// result is consumed so the work cannot be dropped.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/dsp/adsr.h"
#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/curve.h"
#include "engine/dsp/follower.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/rate_reducer.h"
#include "engine/dsp/saturation.h"

namespace {

using namespace lf;

float sine_table[256];
float sample_buffer[1 << 16];

void fill_tables() {
    for (int i = 0; i < 256; ++i) sine_table[i] = static_cast<float>(std::sin(i * 0.0245436926));
    for (int i = 0; i < (1 << 16); ++i) sample_buffer[i] = sine_table[(i * 7) & 255];
}

void setup() {
    set_engine_fp_mode();
    fill_tables();
}

// An input that alternates between two values, so no unit sees a constant.
Vec4 next_input(Vec4& x) {
    x = Vec4(0.25f) - x;
    return x;
}

// ----------------------------------------------------------------------------
// The reciprocal estimate: the instruction and the two exact models, on four
// lanes of inputs that change every call (latency of one estimate fed by the
// last, as the soft clip and the curve walk use it).

template <Vec4 (*Estimate)(Vec4)>
void BM_rcp(benchmark::State& st) {
    setup();
    Vec4 x = Vec4::set(1.25f, 3.5f, 0.75f, 97.0f);
    for (auto _ : st) {
        x = Estimate(x) + Vec4(1.0f);
        benchmark::DoNotOptimize(x);
    }
}
#if LUMENFROST_X86
BENCHMARK(BM_rcp<rcp_instruction>)->Name("rcp_instruction");
#endif
BENCHMARK(BM_rcp<rcp_estimate_intel>)->Name("rcp_model_intel");
BENCHMARK(BM_rcp<rcp_estimate_amd_zen4>)->Name("rcp_model_amd_zen4");

// ----------------------------------------------------------------------------
// Oscillators and players

WavetablePhase pool[24];
EventCursor cursors[6];
const EnvShape sustain_shape{0.001f, 0.002f, -1.0f, 0.1f};

// `sounding` of `slots` notes held at level 1 after their decay; the others
// released far below the threshold.
UnisonVoiceParams unison(uint32_t slots, uint32_t sounding, uint32_t oscillators, float ratio) {
    for (int e = 0; e < 24; ++e) {
        float a = static_cast<float>((37 * e) % 256), b = static_cast<float>((91 * e + 11) % 256);
        pool[e] = Vec4::set(a, b, b, a);
    }
    for (uint32_t i = 0; i < slots; ++i) {
        bool on = i < sounding;
        cursors[i] = EventCursor{0.75f, nullptr, on ? 1.0f : 1e-6f,
                                 Vec4::set(110.0f * (i + 1), 0.75f, 5.0f, on ? -1.0f : 2.0f)};
    }
    return UnisonVoiceParams{.pool = pool,
                             .cursors = cursors,
                             .slots = slots,
                             .envelope = &sustain_shape,
                             .levels = nullptr,
                             .table = sine_table,
                             .velocity_sensitivity_db = Vec4(-30.0f),
                             .detune_ratio = ratio,
                             .oscillators = oscillators};
}

void BM_unison_chord_6x4(benchmark::State& state) {
    setup();
    const UnisonVoiceParams p = unison(6, 6, 4, 1.002f);
    for (auto _ : state) benchmark::DoNotOptimize(unison_voice_process(p));
}
BENCHMARK(BM_unison_chord_6x4);

void BM_unison_bass_2x4(benchmark::State& state) {
    setup();
    const UnisonVoiceParams p = unison(2, 2, 4, 1.007f);
    for (auto _ : state) benchmark::DoNotOptimize(unison_voice_process(p));
}
BENCHMARK(BM_unison_bass_2x4);

void BM_unison_chord_silent(benchmark::State& state) {
    setup();
    const UnisonVoiceParams p = unison(6, 0, 4, 1.002f);
    for (auto _ : state) benchmark::DoNotOptimize(unison_voice_process(p));
}
BENCHMARK(BM_unison_chord_silent);

void BM_wavetable_osc_step(benchmark::State& state) {
    setup();
    WavetablePhase phase = Vec4::set(3.0f, 100.0f, 3.0f, 100.0f);
    Vec4 f = Vec4::set(440.0f, 443.0f, 0.0f, 0.0f);
    for (auto _ : state) benchmark::DoNotOptimize(wavetable_osc_step(phase, sine_table, f));
}
BENCHMARK(BM_wavetable_osc_step);

void BM_sample_voice(benchmark::State& state) {
    setup();
    EventCursor cursor{1.0f, nullptr, 0.0f, Vec4::set(440.0f, 1.0f, 0.5f, -1.0f)};
    SamplePlayer player{Vec4::zero(), 0.0f};
    const SamplePlayerParams p{sample_buffer, 1 << 16, 0, &cursor, Vec4(1.0f / 440.0f)};
    for (auto _ : state) {
        benchmark::DoNotOptimize(sample_voice_process(player, p));
        if (player.position.lane0() > 60000.0f) player.position = Vec4::zero();
    }
}
BENCHMARK(BM_sample_voice);

// ----------------------------------------------------------------------------
// Envelopes and control signals

void BM_event_cursor_advance(benchmark::State& state) {
    setup();
    static NoteEvent events[3] = {{0, 0, -16384, -16384}, {440, 1, 0, 1}, {1, 0, 16384, 16384}};
    EventCursor cursor{0.0f, events, 0.0f, Vec4::zero()};
    float t = 0.5f;
    for (auto _ : state) {
        event_cursor_advance(cursor, t);
        benchmark::DoNotOptimize(cursor.state);
        t += 1e-6f;
    }
}
BENCHMARK(BM_event_cursor_advance);

void BM_adsr_step_decay(benchmark::State& state) {
    setup();
    const EnvShape shape{0.001f, 100.0f, -20.0f, 0.1f};
    float level = 1.0f;
    const NoteState note = Vec4::set(440.0f, 1.0f, 5.0f, -1.0f);
    for (auto _ : state) {
        adsr_step(shape, note, level);
        benchmark::DoNotOptimize(level);
        if (level < 1e-20f) level = 1.0f;
    }
}
BENCHMARK(BM_adsr_step_decay);

void BM_curve_env_eval(benchmark::State& state) {
    setup();
    static CurveSegment segments[2] = {
        {Vec4(0.0f), Vec4(0.01f), Vec4(0.2f), Vec4(0.6f), Vec4(1.7f), Vec4(0.6f)},
        {Vec4(16384.0f), Vec4(1.0f), Vec4(0.0f), Vec4(0.0f), Vec4(1.0f), Vec4(1.0f)},
    };
    CurveEnv env{segments, Vec4::zero()};
    Vec4 t(3.0f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(curve_env_eval(env, t));
        t = t + Vec4(FRAME_SECONDS);
    }
}
BENCHMARK(BM_curve_env_eval);

void BM_env_follow(benchmark::State& state) {
    setup();
    Vec4 follower = Vec4::zero(), x(0.3f);
    for (auto _ : state) benchmark::DoNotOptimize(env_follow(follower, next_input(x)));
}
BENCHMARK(BM_env_follow);

void BM_rate_reduce(benchmark::State& state) {
    setup();
    RateReducer reducer{};
    Vec4 x(0.3f);
    for (auto _ : state)
        benchmark::DoNotOptimize(rate_reduce_process(reducer, next_input(x), 3000.0f));
}
BENCHMARK(BM_rate_reduce);

// ----------------------------------------------------------------------------
// Resonator banks, cascades and the saturator

ResonatorBank bank;

// Band-passes on a rising scale in every used slot, cookbook edges.
void fill_bank(uint32_t bands, uint32_t depth, uint32_t edge_stages) {
    bank = ResonatorBank{};
    bank.params.depth = depth;
    bank.params.band_count = bands;
    bank.params.edge_stages = edge_stages;
    bank.params.band_gain = Vec4(1.7f);
    BiquadCoeffs hp = design_highpass(Vec4(12000.0f), Vec4(0.70710677f));
    BiquadCoeffs lp = design_lowpass(Vec4(400.0f), Vec4(0.70710677f));
    auto mix = [](Vec4 a, Vec4 b) { return shuffle2<0, 1, 2, 3>(a, b); };
    bank.edge = {mix(hp.b0, lp.b0), mix(hp.b1, lp.b1), mix(hp.b2, lp.b2), mix(hp.a1, lp.a1),
                 mix(hp.a2, lp.a2)};
    for (uint32_t m = 0; m < (bands + 1) / 2; ++m) {
        float f0 = 400.0f * std::pow(1.12f, 2.0f * m), f1 = f0 * 1.12f;
        bank.band[m] = design_bandpass(Vec4::set(f0, f0, f1, f1), Vec4(8.0f));
    }
}

void run_bank(benchmark::State& state) {
    Vec4 x(0.3f);
    for (auto _ : state) {
        Vec4 in = next_input(x);
        benchmark::DoNotOptimize(biquad_bank_process(bank, in));
    }
}

// resonator_bank_a: 35 bands (18 slots), depth 1, 6 edge stages.
void BM_bank_a(benchmark::State& state) {
    setup();
    fill_bank(35, 1, 6);
    run_bank(state);
}
BENCHMARK(BM_bank_a);

// resonator_bank_b: 24 bands (12 slots), depth 2, 6 edge stages.
void BM_bank_b(benchmark::State& state) {
    setup();
    fill_bank(24, 2, 6);
    run_bank(state);
}
BENCHMARK(BM_bank_b);

// Capacity: 56 bands (28 slots), depth 8, 8 edge stages.
void BM_bank_full(benchmark::State& state) {
    setup();
    fill_bank(56, 8, 8);
    run_bank(state);
}
BENCHMARK(BM_bank_full);

FeedbackCascade cascade;

void BM_feedback_cascade(benchmark::State& state) {
    setup();
    cascade = FeedbackCascade{};
    cascade.coeffs = design_allpass(Vec4(880.0f), Vec4(0.4375f));
    cascade.sections = static_cast<uint32_t>(state.range(0));
    cascade.feedback = 0.385f;
    cascade.gain = 1.0f;
    Vec4 x(0.3f);
    for (auto _ : state) benchmark::DoNotOptimize(feedback_cascade_process(cascade, next_input(x)));
}
BENCHMARK(BM_feedback_cascade)->Arg(8)->Arg(32)->Arg(128);

void BM_saturate(benchmark::State& state) {
    setup();
    Saturator sat{};
    Vec4 x(0.3f);
    for (auto _ : state) {
        Vec4 in = next_input(x);
        benchmark::DoNotOptimize(saturate_process(sat, in, Vec4(2.0f), Vec4(0.5f)));
    }
}
BENCHMARK(BM_saturate);

}  // namespace
