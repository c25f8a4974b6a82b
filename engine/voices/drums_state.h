// Persistent state of the sample-playback voices, one record per voice.
//
// Each voice owns its sample players (set idle by start-up) and its filter
// memories, delay rings, reverb and shifter. Everything else here is zero at
// start and runs for the whole track.
#pragma once

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/shifter.h"

namespace lf {

// Snare: high-pass 100 Hz, peaking 768 Hz, peaking 5114 Hz.
struct Track13State {
    SamplePlayer player_sample1;
    BiquadState stage[3];
};

// Crash: one peaking cut at 777.5 Hz.
struct Track12State {
    SamplePlayer player_sample3_a, player_sample4_a;
    BiquadState peaking;
};

// Crash through reverb: the right channel's 529-frame lag, then the reverb.
struct Track22State {
    SamplePlayer player_sample3_b, player_sample4_b;
    DelayRing haas;
    ReverbUnit reverb;
};

// Break loop: frequency shifter, notch 3030 Hz, low-pass 11900 Hz, then the
// right channel's 705-frame lag.
struct Track0State {
    SamplePlayer player_sample6, player_sample7;
    FreqShifter shifter;
    BiquadState notch;
    BiquadState lowpass;
    DelayRing haas;
};

// Kick: its player only.
struct Track11State {
    SamplePlayer player_sample2;
};

// Ride: its player only.
struct Track9State {
    SamplePlayer player_sample5;
};

// Frames by which the Haas step delays the right channel.
constexpr int32_t TRACK22_HAAS_FRAMES = 529;  // 12 ms
constexpr int32_t TRACK0_HAAS_FRAMES = 705;   // 16 ms

}  // namespace lf
