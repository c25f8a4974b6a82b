// Shared by the start-up tests: every case computes in the engine's mode, and
// "equal" means the same bits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/dsp/math.h"
#include "engine/dsp/vec4.h"

namespace lf::test {

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_engine_fp_mode();
        fill_const_vec();
    }
};

inline uint32_t float_bits(float x) {
    uint32_t u;
    std::memcpy(&u, &x, 4);
    return u;
}

inline bool same_bits(Vec4 a, Vec4 b) {
    for (int i = 0; i < 4; ++i) {
        if (float_bits(a.lane(i)) != float_bits(b.lane(i))) return false;
    }
    return true;
}

// Lane 0 of the engine's functions on a broadcast value.
inline float sin1(float x) {
    return fast_sin(Vec4(x)).lane0();
}
inline float exp2_1(float x) {
    return fast_exp2(Vec4(x)).lane0();
}

// A fixed pseudo-random sequence for test data.
struct TestRandom {
    uint32_t state;
    uint32_t next() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    }
    int between(int low, int high) { return low + static_cast<int>(next() % (high - low + 1)); }
};

}  // namespace lf::test
