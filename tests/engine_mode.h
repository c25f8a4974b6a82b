// Shared by the engine's tests: a fixture that runs each case in the engine's
// floating-point mode (flush-to-zero, rounding toward −∞), as rendering does,
// and puts the thread's previous mode back afterwards; the bit pattern of a
// float; and the song clock's time of a frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/dsp/math.h"
#include "engine/dsp/vec4.h"

namespace lf::test {

class EngineMode : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = read_fp_control();
        set_engine_fp_mode();
    }
    void TearDown() override { write_fp_control(saved_); }
    uint32_t saved_ = 0;
};

// The bit pattern of a float, for comparisons that must tell −0 from +0.
inline uint32_t float_bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Bit-exact equality of every lane (so −0 and +0 differ).
inline bool same_bits(Vec4 a, Vec4 b) {
    for (int i = 0; i < 4; ++i) {
        if (float_bits(a.lane(i)) != float_bits(b.lane(i))) return false;
    }
    return true;
}

// Time of frame n in seconds, the way the song clock forms it: one rounded
// product float(n)·FRAME_SECONDS.
inline float frame_time(uint32_t n) {
    return (Vec4(static_cast<float>(n)) * Vec4(FRAME_SECONDS)).lane0();
}

}  // namespace lf::test
