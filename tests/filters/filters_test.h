// Shared by the filter, delay, reverb and shifter tests and the units' cascade
// and fast paths tests: the cookbook designs, sections and frequency responses
// evaluated in double precision, a Goertzel probe, bit-exact comparison of
// biquad records, and cleared static records.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/dsp/biquad.h"
#include "engine/dsp/vec4.h"
#include "tests/cookbook.h"
#include "tests/engine_mode.h"

namespace lf::test {

// The same section with every coefficient stored in single precision.
inline Section rounded_to_float(const Section& s) {
    auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    return {f(s.b0), f(s.b1), f(s.b2), f(s.a1), f(s.a2)};
}

inline Section lane_of(const BiquadCoeffs& c, int lane) {
    return {c.b0.lane(lane), c.b1.lane(lane), c.b2.lane(lane), c.a1.lane(lane), c.a2.lane(lane)};
}

// A section run in double precision, transposed direct form II.
struct SectionModel {
    Section c;
    double s1 = 0.0, s2 = 0.0;
    double step(double x) {
        double y = c.b0 * x + s1;
        s1 = c.b1 * x + s2 - c.a1 * y;
        s2 = c.b2 * x - c.a2 * y;
        return y;
    }
};

// The discrete-time Fourier transform of a finite sequence at f (Hz).
inline std::complex<double> dtft(const std::vector<double>& x, double f_hz) {
    std::complex<double> sum = 0.0;
    double w = -2.0 * PI * f_hz / RATE;
    for (size_t n = 0; n < x.size(); ++n) sum += x[n] * std::polar(1.0, w * static_cast<double>(n));
    return sum;
}

// Amplitude and phase of the component at f (Hz) in x, a sinusoid of amplitude
// A giving A·e^{jφ}; exact for components on the analysis grid RATE / size.
inline std::complex<double> goertzel(const std::vector<double>& x, double f_hz) {
    return dtft(x, f_hz) * (2.0 / static_cast<double>(x.size()));
}

// The engine's sine approximation (a refined parabola per period of
// 6.2831855) evaluated in double precision: a reference for the designs that
// is free of their single-precision rounding.
inline double approx_sin(double x) {
    const double two_pi = 6.2831855;
    double r = x - two_pi * std::floor(x / two_pi);
    double d = r * 0.31830987 - 1.0;
    double y = d * (4.0 * std::fabs(d) - 4.0);
    return y + 0.225 * (y * std::fabs(y) - y);
}

inline bool same_bits(const BiquadCoeffs& a, const BiquadCoeffs& b) {
    return same_bits(a.b0, b.b0) && same_bits(a.b1, b.b1) && same_bits(a.b2, b.b2) &&
           same_bits(a.a1, b.a1) && same_bits(a.a2, b.a2);
}

inline bool same_bits(const BiquadState& a, const BiquadState& b) {
    return same_bits(a.s1, b.s1) && same_bits(a.s2, b.s2);
}

// The next value of a linear congruential noise in [-1, 1), as the integer
// state times 2^-31.
inline float lcg_noise(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int32_t>(state)) * 4.656613e-10f;
}

// A record in static storage (the rings are too large for the stack), cleared
// to zero as the engine's records start; `Which` tells apart records that a
// test needs at the same time.
template <class T, int Which = 0>
T& cleared() {
    static T record;
    std::memset(&record, 0, sizeof record);
    return record;
}

}  // namespace lf::test
