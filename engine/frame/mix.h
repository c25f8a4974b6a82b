// The mix: a front bus of six voices through the resonator bank, a main bus
// where the bass (ducked by the kick) meets the other voices, the automated
// master chain on the main bus, and the final sum of three late voices with
// widening, an output high-pass and the soft clip.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/rate_reducer.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"

namespace lf {

// Persistent states of the mix: the front bus's resonator bank and the
// ducking split (built at start-up), the rest zero at start.
struct MixState {
    ResonatorBank resonator_bank_a;
    CrossoverSplit crossover_2600;
    Vec4 duck_follower;
    ReverbUnit master_reverb;
    BiquadState reverb_notch;
    RememberedDesign bus_highpass;
    BiquadState bus_highpass_state;
    RememberedDesign bus_lowpass;
    BiquadState bus_lowpass_state[4];
    FreqShifter master_shifter;
    RateReducer master_reducer;
    BiquadState output_highpass[2];
};

// F = 1.17·V0 + 0.92·Vn
Vec4 front_bus_start(Vec4 v0, Vec4 vn);
// F = F + gain·V
Vec4 bus_add(Vec4 bus, float gain, Vec4 v);
// F = bank(F + 2.67784·V10)
Vec4 front_bus_filter(Vec4 front, Vec4 v10);
// The bass, its part below 2600 Hz pulled down by the level of 0.69·V11.
Vec4 bass_ducking(Vec4 v14, Vec4 v11);
// M = ((0.69·V11 + F) + B) + 0.808·V12
Vec4 main_bus_start(Vec4 front, Vec4 v11, Vec4 bass, Vec4 v12);
// Reverb send, return notch and mix, swept high-pass and four-stage low-pass,
// frequency shifter, width, rate reducer and gate, driven by curves 0 to 7.
Vec4 master_chain(Vec4 main);
// Final sum with V21, V22, V23, widening by 1.26, output high-pass, soft clip.
Vec4 final_stage(Vec4 gated, Vec4 v21, Vec4 v22, Vec4 v23);

}  // namespace lf
