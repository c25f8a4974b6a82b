// Shared by the unit tests: every case computes in the engine's mode
// (flush-to-zero, rounding toward −∞), as rendering does.
#pragma once

#include <gtest/gtest.h>

#include "engine/dsp/math.h"
#include "engine/dsp/vec4.h"

namespace lf::test {

class EngineMode : public ::testing::Test {
  protected:
    void SetUp() override { set_engine_fp_mode(); }
};

// Time of frame n in seconds, the way the song clock forms it.
inline float frame_time(int n) {
    return (Vec4(static_cast<float>(n)) * Vec4(FRAME_SECONDS)).lane0();
}

}  // namespace lf::test
