// State of the resonator lead (note tracks 19 and 20) and the two small
// control formulas of the voice that tests check on their own.
#pragma once

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/reverb.h"

namespace lf {

constexpr int LEAD_STAGES = 3;

struct LeadVoiceState {
    WavetablePhase layer1_phases[2];  // one per note slot, start at phase 0
    WavetablePhase layer2_phases[2];
    float layer2_levels[2];  // the first layer keeps its levels in the cursors
    DelayRing ring[LEAD_STAGES];
    BiquadState loop[LEAD_STAGES];  // the loop low-pass of each stage
    ReverbUnit reverb;
};

// Pulse row of the first layer: floor(145.92 − 133.12 v), the conversion
// following the engine's rounding (down). Velocity 1 gives the narrow row 12.
inline int32_t lead_pulse_row(float velocity) {
    Vec4 r = fnma(Vec4(133.12f), Vec4(velocity), Vec4(145.92f));
    return to_int(r.lane0());
}

// Attack shaping: 1 + (0.81 − 1.06 s)/(s² + 1) with s = 20·age; 1.81 at the
// note start, through 1 at about 38 ms, back toward 1 later.
inline Vec4 lead_attack_gain(Vec4 age) {
    Vec4 s = Vec4(20.0f) * age;
    return Vec4(1.0f) + fnma(Vec4(1.06f), s, Vec4(0.81f)) / fma(s, s, Vec4(1.0f));
}

}  // namespace lf
