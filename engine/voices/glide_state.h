// State of the gliding pulse voice (note tracks 17 and 18), with its phase
// pool, equalisers and echo, and its pulse width formula, which tests check on
// its own.
#pragma once

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/math.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/saturation.h"

namespace lf {

struct GlideVoiceState {
    WavetablePhase unison_phases_4[4];
    ThreeBandEq eq3_b, eq3_c;
    EchoUnit echo_b;
    // Per note slot, the frequency the glide reached on the previous frame;
    // 0 until the slot's first note (which therefore starts on pitch).
    float glide[2];
    Saturator saturator;
    ReverbUnit reverb;
};

// Pulse row floor(256·(0.66 + 0.24·sin(2.512 a))): the duty sweeps between
// rows 107 and 230 at 0.4 Hz from each note's start (row 168 at a = 0).
inline int32_t glide_pulse_row(Vec4 age) {
    Vec4 duty = fma(Vec4(0.24f), fast_sin(Vec4(2.512f) * age), Vec4(0.66f));
    return to_int((Vec4(256.0f) * duty).lane0());
}

}  // namespace lf
