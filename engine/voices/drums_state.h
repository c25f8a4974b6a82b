// Persistent state of the sample-playback voices, one record per voice.
//
// The sample players themselves are start-up objects (engine/startup/units.h);
// what a voice owns beyond them is its filter memories, delay rings, reverb and
// shifter. Everything here is zero at start and runs for the whole track. The
// records are visible so that tests can inspect and zero them.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"

namespace lf {

// Snare: high-pass 100 Hz, peaking 768 Hz, peaking 5114 Hz.
struct Track13State {
    BiquadState stage[3];
};

// Crash: one peaking cut at 777.5 Hz.
struct Track12State {
    BiquadState peaking;
};

// Crash through reverb: the right channel's 529-frame lag, then the reverb.
struct Track22State {
    DelayRing haas;
    ReverbUnit reverb;
};

// Break loop: frequency shifter, notch 3030 Hz, low-pass 11900 Hz, then the
// right channel's 705-frame lag.
struct Track0State {
    FreqShifter shifter;
    BiquadState notch;
    BiquadState lowpass;
    DelayRing haas;
};

// The kick (track 11) and the ride (track 9) own nothing beyond their players.

extern Track13State track13_state;
extern Track12State track12_state;
extern Track22State track22_state;
extern Track0State track0_state;

// Frames by which the Haas step delays the right channel.
constexpr int32_t TRACK22_HAAS_FRAMES = 529;  // 12 ms
constexpr int32_t TRACK0_HAAS_FRAMES = 705;   // 16 ms

}  // namespace lf
