// Shared by the start-up tests: every case computes in the engine's mode, and
// "equal" means the same bits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/dsp/math.h"
#include "engine/dsp/vec4.h"
#include "tests/engine_mode.h"

namespace lf::test {

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_engine_fp_mode();
        fill_const_vec();
    }
};

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
