// Single-cycle tables of 256 points, built at start-up by additive synthesis
// from a sine table made by rotation, with 127 harmonics. Each table has spare
// floats after it: the builder stores four lanes at a time.
#pragma once

#include <cstdint>

namespace lf {

constexpr int TABLE_LENGTH = 256;
constexpr int TABLE_SPARE = 4;

extern float SINE_TABLE[TABLE_LENGTH + TABLE_SPARE];
extern float SAW_TABLE[TABLE_LENGTH + TABLE_SPARE];
extern float SOFT_SAW_TABLE[TABLE_LENGTH + TABLE_SPARE];
// 256 rows of 256: row a is a zero-mean pulse of duty a/256 centred on phase 0.
extern float PULSE_TABLE[TABLE_LENGTH * TABLE_LENGTH + TABLE_SPARE];

inline const float* pulse_row(int32_t row) {
    return PULSE_TABLE + row * TABLE_LENGTH;
}

void build_wavetables();

}  // namespace lf
