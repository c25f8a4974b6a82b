// State of the bass voice (note tracks 14 and 15): its phase pool, equaliser,
// phaser cascade and resonator bank (built at start-up), and the filters,
// envelopes and shifter it moves every frame.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/saturation.h"
#include "engine/dsp/shifter.h"

namespace lf {

struct BassVoiceState {
    WavetablePhase unison_phases_8[8];
    ThreeBandEq eq3_a;
    FeedbackCascade allpass_cascade_55;
    ResonatorBank resonator_bank_b;
    float pitch_level;              // L1: the pitch envelope
    float noise_level;              // L2: the noise layer's envelope
    WavetablePhase sweep1, sweep2;  // the two slow oscillators that sweep the resonances
    Vec4 smoothed_noise;
    BiquadState low_shelf;  // key-tracked shelf at 4 f
    BiquadState lowpass;    // key-tracked low-pass
    BiquadState noise_highpass[2];
    BiquadState resonance;      // swept peak, Q 3
    BiquadState resonance_dip;  // swept peak, Q 1, gain 0.34
    BiquadState notch;          // swept notch
    BiquadState high_shelf;     // 4680 Hz
    BiquadState peaking_43;
    BiquadState peaking_552;
    BiquadState out_lowpass;   // curve 27
    BiquadState out_highpass;  // 15 Hz
    Saturator saturator1, saturator2;
    BandShifter band_shifter;
    // The designs that follow the note and the curves, kept while their inputs hold.
    RememberedDesign low_shelf_design, lowpass_design, out_lowpass_design;
};

}  // namespace lf
