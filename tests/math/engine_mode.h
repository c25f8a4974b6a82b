// A fixture that runs each test in the engine's floating-point mode and puts
// the thread's previous mode back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/dsp/vec4.h"

class EngineMode : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = lf::read_fp_control();
        lf::set_engine_fp_mode();
    }
    void TearDown() override { lf::write_fp_control(saved_); }
    uint32_t saved_ = 0;
};

// The bit pattern of a float, for comparisons that must tell -0 from +0.
inline uint32_t bits_of(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
