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

namespace lf {

Vec4 wavetable_read(const float* table, Vec4 position, uint32_t n) {
    Vec4 fl = floor(position);
    Int4 index = to_int(fl + Vec4::set(0.0f, 0.0f, 1.0f, 1.0f)) & Int4(static_cast<int32_t>(n - 1));
    // The four-lane gather.
    Vec4 t = Vec4::set(table[index.lane(0)], table[index.lane(1)], table[index.lane(2)],
                       table[index.lane(3)]);
    // Lanes 0, 1: T0 + (p0 − fl0)·(T2 − T0), T1 + (p1 − fl1)·(T3 − T1);
    // lane 2: T2 + (p2 − fl2)·(T3 − T2); lane 3 blends T3 with itself.
    Vec4 next = shuffle<2, 3, 3, 3>(t);
    return fma(position - fl, next - t, t);
}

Vec4 wavetable_osc_step(WavetablePhase& phase, const float* table, Vec4& frequency) {
    frequency = dup_low(frequency);
    // phase + f·(256/44100)
    Vec4 p = fma(frequency, Vec4(0.0058049886f), phase);
    // Wrap once per lane by selection: a subtraction of a masked 256 would
    // turn a phase of +0 into −0 in this rounding mode.
    phase = select(p >= Vec4(256.0f), p - Vec4(256.0f), p);
    return wavetable_read(table, phase, 256);
}

Vec4 unison_voice_process(const UnisonVoiceParams& params) {
    WavetablePhase* pool = params.pool;
    const uint32_t n = params.oscillators;
    const float* table = params.table;
    const Vec4 sens = params.velocity_sensitivity_db;
    // The per-oscillator frequency step (1/r, r, 0, 0); 1/r is a true division.
    Vec4 r(params.detune_ratio);
    Vec4 inv_r = Vec4(1.0f) / r;
    Vec4 detune = shuffle2<0, 1, 2, 3>(with_lane<1>(inv_r, r), Vec4::zero());
    Vec4 count = to_float(Int4(static_cast<int32_t>(n)));

    Vec4 out = Vec4::zero();
    for (uint32_t i = 0; i < params.slots; ++i) {
        EventCursor& cursor = params.cursors[i];
        float& level = params.levels ? params.levels[i] : cursor.level;
        adsr_step(*params.envelope, cursor.state, level);
        // A silent note costs only its envelope step and keeps no pool entries.
        if (level < 0.001f) continue;

        const NoteState note = cursor.state;
        // g = 2^((sens − sens·velocity)·log2(10)/20): velocity 1 plays at 0 dB.
        Vec4 g = fast_exp2(fnma(sens, broadcast<1>(note), sens) * Vec4(0.1660964f));
        Vec4 amp = Vec4(level) * g;

        Vec4 v = broadcast<0>(note);
        for (uint32_t j = 0; j < n; ++j) {
            // Oscillator j: frequency/r^(j+1) on the left, frequency·r^(j+1) on the right.
            v = v * detune;
            Vec4 f = v;
            Vec4 o = wavetable_osc_step(*pool++, table, f);
            // w = ±(j + 1)/N, alternating sides.
            Vec4 k = to_float(Int4(static_cast<int32_t>(j + 1)));
            Vec4 w = ((j & 1u) ? -k : k) / count;
            // m = 0.5·o0 + 0.5·o1, the pair's mid signal, in all lanes.
            Vec4 m = broadcast<0>(fma(Vec4(0.5f), broadcast<1>(o), Vec4(0.5f) * o));
            // out + A·(m + w·(o − m))
            out = fma(amp, fma(w, o - m, m), out);
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
