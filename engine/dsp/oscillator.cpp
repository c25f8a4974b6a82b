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

namespace {
// The oscillator step for a frequency already laid out as (f0, f1, f0, f1).
inline Vec4 osc_advance(WavetablePhase& phase, const float* table, Vec4 frequency) {
    // phase + f·(256/44100)
    Vec4 p = fma(frequency, Vec4(0.0058049886f), phase);
    // Wrap once per lane by selection: a subtraction of a masked 256 would
    // turn a phase of +0 into −0 in this rounding mode.
    phase = select(p >= Vec4(256.0f), p - Vec4(256.0f), p);
    return wavetable_read(table, phase, 256);
}
}  // namespace

Vec4 wavetable_osc_step(WavetablePhase& phase, const float* table, Vec4& frequency) {
    frequency = dup_low(frequency);
    return osc_advance(phase, table, frequency);
}

Vec4 unison_voice_process(const UnisonVoiceParams& params) {
    WavetablePhase* pool = params.pool;
    const uint32_t n = params.oscillators;
    const float* table = params.table;
    const Vec4 sens = params.velocity_sensitivity_db;
    // The per-oscillator frequency step (1/r, r) on lanes 0 and 1; 1/r is a
    // true division. Lanes 2 and 3 repeat them, so v arrives at the oscillator
    // already as the (f0, f1, f0, f1) that the step would make of v·(1/r, r, 0, 0):
    // the same bits, one shuffle less per oscillator.
    Vec4 r(params.detune_ratio);
    Vec4 inv_r = Vec4(1.0f) / r;
    Vec4 detune = dup_low(with_lane<1>(inv_r, r));
    Vec4 count = to_float(Int4(static_cast<int32_t>(n)));
    const Vec4 one(1.0f);

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
        Vec4 k = Vec4::zero();  // j + 1, counted exactly in floats
        for (uint32_t j = 0; j < n; ++j) {
            // Oscillator j: frequency/r^(j+1) on the left, frequency·r^(j+1) on the right.
            v = v * detune;
            Vec4 o = osc_advance(*pool++, table, v);
            // w = ±(j + 1)/N, alternating sides.
            k = k + one;
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
