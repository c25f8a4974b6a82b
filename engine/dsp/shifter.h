// Single-sideband frequency shifting with a polyphase all-pass Hilbert pair,
// a quadrature oscillator and a feedback delay; and the band shifter, which
// sends only the high band of a crossover through pairs of opposite shifts.
#pragma once

#include <cstdint>

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"

namespace lf {

struct AllpassMemory {
    Vec4 m1, m2;
};

struct FreqShifter {
    Vec4 phase;  // cycles, in [0, 1)
    AllpassMemory path_a[4];
    AllpassMemory path_b[4];
    Vec4 previous_a;  // path A output of the previous frame
    DelayRing ring;
};

// Callers pass lanes 2 and 3 equal to lanes 0 and 1.
struct FreqShiftParams {
    Vec4 delay_ms;
    Vec4 shift_hz;
    Vec4 phase_offset;  // cycles
    Vec4 right_offset;  // extra phase offset of the right channel, cycles
    Vec4 feedback;
    Vec4 wet;
};

Vec4 freq_shift_process(FreqShifter& shifter, Vec4 x, const FreqShiftParams& params);

struct BandShifter {
    FreqShifter shifter[8];
    CrossoverSplit split;
    DesignInputs split_inputs;  // the crossover frequency split was designed for
};

struct BandShiftParams {
    Vec4 crossover_hz;
    uint32_t stages;  // at most 4
    Vec4 base_delay_ms;
    Vec4 delay_ratio;  // of the second shifter of each stage
    Vec4 shift_hz;
    Vec4 right_offset;  // cycles
    Vec4 wet;           // gain of the processed high band
};

Vec4 band_shift_process(BandShifter& shifter, Vec4 x, const BandShiftParams& params);

}  // namespace lf
