// Tone sources: the interpolating table read, the wavetable oscillator, the
// polyphonic unison voice that plays note tracks through banks of detuned
// oscillators, and the one-shot sample player.
#pragma once

#include <cstdint>

#include "engine/dsp/adsr.h"
#include "engine/dsp/note_cursor.h"
#include "engine/dsp/vec4.h"
#include "engine/dsp/vec8.h"

namespace lf {

// Table positions in [0, 256). Lanes 0 and 1 are two oscillators (left and
// right); lanes 2 and 3 advance alike and serve the interpolation.
using WavetablePhase = Vec4;

// Lanes 0 and 1: linear interpolation between each position's floor and the
// entry after lanes 2/3's floor; indices masked with n − 1 (n a power of two).
// With lanes 2 and 3 equal to lanes 0 and 1 this is plain interpolation between
// neighbours, wrapping at the table end. Inline: every oscillator reads here.
// A Vec8 reads two oscillators at once, each half as a Vec4 would.
template <typename V>
inline V wavetable_read_lanes(const float* table, V position, uint32_t n) {
    V fl = floor(position);
    auto index = to_int(fl + lanes_like(position, Vec4::set(0.0f, 0.0f, 1.0f, 1.0f))) &
                 decltype(to_int(fl))(static_cast<int32_t>(n - 1));
    V t = gather(table, index);
    // Lanes 0, 1: T0 + (p0 − fl0)·(T2 − T0), T1 + (p1 − fl1)·(T3 − T1);
    // lane 2: T2 + (p2 − fl2)·(T3 − T2); lane 3 blends T3 with itself.
    V next = shuffle<2, 3, 3, 3>(t);
    return fma(position - fl, next - t, t);
}
inline Vec4 wavetable_read(const float* table, Vec4 position, uint32_t n) {
    return wavetable_read_lanes(table, position, n);
}

// Advances the phase by the frequency (lanes 0 and 1 in Hz; the caller's vector
// is rewritten to (f0, f1, f0, f1)) and reads the table.
Vec4 wavetable_osc_step(WavetablePhase& phase, const float* table, Vec4& frequency);

struct UnisonVoiceParams {
    WavetablePhase* pool;
    EventCursor* cursors;  // one per note slot, consecutive
    uint32_t slots;
    const EnvShape* envelope;
    float* levels;  // one per slot, or null for the cursors' level slots
    const float* table;
    Vec4 velocity_sensitivity_db;
    float detune_ratio;
    uint32_t oscillators;  // per note
};

// The summed stereo output of every sounding note (level at least 0.001).
Vec4 unison_voice_process(const UnisonVoiceParams& params);

struct SamplePlayer {
    Vec4 position;   // frames
    float last_age;  // note age seen on the previous frame
};

struct SamplePlayerParams {
    const float* buffer;
    uint32_t length;       // the player is silent once its position reaches this
    int32_t start_offset;  // where a retrigger puts the position
    const EventCursor* cursor;
    Vec4 increment_per_hz;  // 1 / root frequency
};

Vec4 sample_voice_process(SamplePlayer& player, const SamplePlayerParams& params);

}  // namespace lf
