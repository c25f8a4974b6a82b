// Tone sources.
//
// Every tone is a table read with linear interpolation. The read takes four
// positions at once: lanes 0 and 1 find the entry at their floor, lanes 2 and
// 3 the entry after their own floor, and each of lanes 0 and 1 blends towards
// the entry its partner found. With lanes 2 and 3 equal to lanes 0 and 1 this
// is plain interpolation between neighbours; the chord voice seeds lanes 2 and
// 3 with other phases, which turns each read into a blend of two points of the
// cycle (a little comb in the timbre, steady because both advance alike).
//
// The unison voice spreads each note over N oscillator pairs detuned by powers
// of the ratio r, flat in the left lane and sharp in the right. Each pair is
// folded around its mono mid point with a width that grows with the pair's
// index and flips side from pair to pair, so the cloud spreads evenly across
// the stereo field.
#include "engine/dsp/oscillator.h"

#include "engine/dsp/math.h"
#include "engine/dsp/memo.h"

namespace lf {

namespace {
// The oscillator step for a frequency already laid out as (f0, f1, f0, f1);
// a Vec8 steps two oscillators, each half as a Vec4 would.
template <typename V>
inline V osc_advance_lanes(V& phase, const float* table, V frequency) {
    // phase + f·(256/44100)
    V p = fma(frequency, V(0.0058049886f), phase);
    // Wrap once per lane by selection: a subtraction of a masked 256 would
    // turn a phase of +0 into −0 in this rounding mode.
    phase = select(p >= V(256.0f), p - V(256.0f), p);
    return wavetable_read_lanes(table, phase, 256);
}
inline Vec4 osc_advance(WavetablePhase& phase, const float* table, Vec4 frequency) {
    return osc_advance_lanes(phase, table, frequency);
}

// Oscillator j's contribution before the note's gain: m + w·(o − m), with m
// the pair's mid 0.5·o0 + 0.5·o1 in all lanes and w = ±(j + 1)/N.
template <typename V>
inline V unison_spread(V o, V w) {
    V m = shuffle<0, 0, 0, 0>(fma(V(0.5f), shuffle<1, 1, 1, 1>(o), V(0.5f) * o));
    return fma(w, o - m, m);
}
}  // namespace

Vec4 wavetable_osc_step(WavetablePhase& phase, const float* table, Vec4& frequency) {
    frequency = dup_low(frequency);
    return osc_advance(phase, table, frequency);
}

namespace {

// The gain of a velocity, kept by (sensitivity, velocity): a note keeps its
// velocity, so its exponential need not run on every frame. One table per
// rendering thread, like the envelope's.
thread_local MemoTable<16> velocity_gains;

}  // namespace

Vec4 unison_voice_process(const UnisonVoiceParams& params) {
    WavetablePhase* pool = params.pool;
    const uint32_t n = params.oscillators;
    const float* table = params.table;
    const Vec4 sens = params.velocity_sensitivity_db;
    const bool sens_uniform = lanes_equal(sens);
    // The per-oscillator frequency step (1/r, r) on lanes 0 and 1; 1/r is a
    // true division. Lanes 2 and 3 repeat them, so v arrives at the oscillator
    // already as the (f0, f1, f0, f1) that the step would make of v·(1/r, r, 0, 0):
    // the same bits, one shuffle less per oscillator.
    // Made at the first sounding note: a frame of silent notes needs none of it.
    Vec4 detune, count;
    bool prepared = false;
    const Vec4 one(1.0f);

    Vec4 out = Vec4::zero();
    for (uint32_t i = 0; i < params.slots; ++i) {
        EventCursor& cursor = params.cursors[i];
        float& level = params.levels ? params.levels[i] : cursor.level;
        adsr_step(*params.envelope, cursor.state, level);
        // A silent note costs only its envelope step and keeps no pool entries.
        if (level < 0.001f) continue;
        if (!prepared) {
            Vec4 r(params.detune_ratio);
            Vec4 inv_r = Vec4(1.0f) / r;
            detune = dup_low(with_lane<1>(inv_r, r));
            count = to_float(Int4(static_cast<int32_t>(n)));
            prepared = true;
        }

        const NoteState note = cursor.state;
        // g = 2^((sens − sens·velocity)·log2(10)/20): velocity 1 plays at 0 dB.
        auto gain = [&] {
            return fast_exp2(fnma(sens, broadcast<1>(note), sens) * Vec4(0.1660964f));
        };
        // With one sensitivity in every lane, g is one number too.
        Vec4 g = sens_uniform ? Vec4(velocity_gains.get(memo_key(sens.lane0(), note.lane(1)),
                                                        [&] { return gain().lane0(); }))
                              : gain();
        Vec4 amp = Vec4(level) * g;

        Vec4 v = broadcast<0>(note);
        Vec4 k = Vec4::zero();  // j + 1, counted exactly in floats
        uint32_t j = 0;
        // Two oscillators at a time in one Vec8: their frequencies still follow
        // one another by the same multiplications, their phases, reads and
        // spreads are lane for lane the single-oscillator steps, and their
        // parts enter the sum one after the other, so the bits are those of
        // one oscillator at a time. j is even at every pair: w = (+k, −k').
        for (; j + 1 < n; j += 2, pool += 2) {
            Vec4 v_even = v * detune;
            v = v_even * detune;
            Vec4 k_even = k + one;
            k = k_even + one;
            Vec8 phase = Vec8::join(pool[0], pool[1]);
            Vec8 o = osc_advance_lanes(phase, table, Vec8::join(v_even, v));
            pool[0] = phase.low();
            pool[1] = phase.high();
            Vec8 w = Vec8::join(k_even, -k) / Vec8::join(count, count);
            Vec8 x = unison_spread(o, w);
            // out + A·(m + w·(o − m)), oscillator j, then j + 1
            out = fma(amp, x.low(), out);
            out = fma(amp, x.high(), out);
        }
        if (j < n) {
            // The last oscillator of an odd count: j is even, so w = +k/N.
            v = v * detune;
            Vec4 o = osc_advance(*pool++, table, v);
            k = k + one;
            out = fma(amp, unison_spread(o, k / count), out);
        }
    }
    return out;
}

Vec4 sample_voice_process(SamplePlayer& player, const SamplePlayerParams& params) {
    const NoteState note = params.cursor->state;
    const float age = note.lane(2);
    // The age only falls when the cursor has moved to a new note: restart.
    if (player.last_age > age) player.position = to_float(Int4(params.start_offset));
    player.last_age = age;

    Vec4 out = Vec4::zero();
    // Silent from the buffer's end on; an idle player sits far beyond every end.
    if (static_cast<float>(params.length) > player.position.lane0()) {
        out = wavetable_read(params.buffer, player.position, 1u << 24);
    }
    // 0.968377·velocity + 0.0316228: −30 dB at velocity 0, 0 dB at velocity 1.
    out = out * fma(Vec4(0.968377f), broadcast<1>(note), Vec4(0.0316228f));
    // position + frequency·increment
    player.position = fma(broadcast<0>(note), params.increment_per_hz, player.position);
    return out;
}

}  // namespace lf
