// Persistent state of the noise voices.
//
// The hats' noise level (L1) lives in the level slot of track 10's cursor; the
// record holds the second, filter envelope (L2) and the filter memories. Both
// voices re-design their band-pass every frame, so only the memories persist.
#pragma once

#include "engine/dsp/biquad.h"

namespace lf {

// Pitched noise hats.
struct Track10State {
    float filter_level;  // L2, the envelope that opens the band-pass
    BiquadState bandpass;
    BiquadState lowpass;  // fixed 9440 Hz
};

// Filtered noise bed.
struct NoiseSweepState {
    BiquadState bandpass;
    RememberedDesign bandpass_design;  // kept while curve 9 holds
};

}  // namespace lf
