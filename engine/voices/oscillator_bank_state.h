// Persistent state of the oscillator-bank voices, one record per voice.
//
// Each voice owns the wavetable phases of its note slots (zero at start, never
// reset), its filter memories and, where it has them, its delay ring and
// reverb. The envelope levels live in the level slots of the note cursors; the
// pluck's phaser cascade is built at start-up.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/reverb.h"

namespace lf {

// Sine blips.
struct Track23State {
    WavetablePhase phase[1];
};

// Solo motif of the cut: pulse through a 4 kHz low-pass.
struct Track21State {
    WavetablePhase phase[1];
    BiquadState lowpass;
};

// Pulse arpeggio: 4 kHz low-pass, the right channel 2/3 s late, reverb.
struct Track16State {
    WavetablePhase phase[1];
    BiquadState lowpass;
    DelayRing right_delay;
    ReverbUnit reverb;
};

// Pluck arpeggio on tracks 7 and 8: three peaking stages after the phaser, reverb.
struct Track7State {
    WavetablePhase phase[2];
    FeedbackCascade allpass_cascade_880;
    BiquadState peaking[3];
    ReverbUnit reverb;
};

// The right channel of the pulse arpeggio: 29400 frames (2/3 s) late, read
// 3368 slots behind the write index of the 32768-slot ring.
constexpr int32_t TRACK16_RIGHT_DELAY_FRAMES = 29400;

}  // namespace lf
