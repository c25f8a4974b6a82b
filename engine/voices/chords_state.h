// State of the chord voice (note tracks 1 to 6): everything the voice keeps
// from frame to frame, the two 24-entry phase pools and the echo included.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/saturation.h"
#include "engine/dsp/shifter.h"

namespace lf {

struct ChordVoiceState {
    WavetablePhase unison_phases_24_a[24], unison_phases_24_b[24];
    EchoUnit echo_a;
    BiquadState shelf;       // high shelf at 891 Hz
    BiquadState highpass;    // high-pass at 141 Hz
    BiquadState lowpass[2];  // the closing low-pass, two stages of one design
    Saturator saturator;
    BandShifter band_shifter;
    RememberedDesign closing_design;  // the closing low-pass, kept once it has closed
};

}  // namespace lf
