// The fixed coefficient records that start-up designs once and the voices and
// the mix read under these names, and the decoded drum samples. Neither
// changes while the track renders. The units with memories (cascades,
// resonator banks, equalisers, the ducking split, sample players, echoes,
// phase pools) are built by the same step into their owners' records of the
// engine state.
#pragma once

#include <cstdint>

#include "engine/data/packed_layout.h"
#include "engine/dsp/biquad.h"
#include "engine/dsp/cascade.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"

namespace lf {

extern BiquadCoeffs notch_825, notch_3030, lowpass_11900, high_shelf_891, highpass_141;
// Consecutive records, used as one chain of three stages.
extern BiquadCoeffs peaking_chain_324[3];  // peaking_324, peaking_1707, peaking_7407
extern BiquadCoeffs& peaking_324;
extern BiquadCoeffs& peaking_1707;
extern BiquadCoeffs& peaking_7407;
extern BiquadCoeffs lowpass_9440, peaking_778;
extern BiquadCoeffs snare_chain_100[3];  // highpass_100, peaking_768, peaking_5114
extern BiquadCoeffs& highpass_100;
extern BiquadCoeffs& peaking_768;
extern BiquadCoeffs& peaking_5114;
extern BiquadCoeffs highpass_1640, high_shelf_4680, peaking_43, peaking_552, highpass_15;
extern BiquadCoeffs lowpass_4000_a, lowpass_20000, lowpass_4000_b, highpass_25;

// The decoded drum samples 1 to 7, back to back, each followed by one zero
// guard float (read when a player interpolates within a buffer's last frame).
constexpr int SAMPLE_COUNT = 7;
const float* sample_buffer(int sample);      // sample = 1..7
uint32_t sample_decoded_length(int sample);  // (B + 2) * 1024

// How far a voice plays sample n (1..7): the voice's own length, cut to the
// sample's decoded length when the content's sample is shorter, so that a
// player never reads past its buffer and its guard float.
constexpr uint32_t sample_play_length(int sample, uint32_t voice_length) {
    const uint32_t decoded = decoded_sample_length(PACKED_SAMPLE_LAYOUTS[sample - 1].blocks);
    return voice_length < decoded ? voice_length : decoded;
}

// Steps 1 to 7 of start-up, after the floating-point mode is set: the constant
// table and the noise generator, the score, the cosine bases, the drum samples,
// the wavetables, then the unit setup.
void startup_sequence();

// The drum-sample step: zeroes the sample storage and decodes samples 1 to 7
// into it, in order. The cosine bases must be built.
void decode_drum_samples();

// The unit-setup step: every object above and the units in the engine state,
// in their fixed order, with the 108 noise draws of start-up.
void setup_units();

}  // namespace lf
