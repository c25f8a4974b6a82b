// Shared by the filter, delay, reverb and shifter tests and the fast paths
// test: frequency responses evaluated in double precision, a Goertzel probe,
// and bit-exact comparison of biquad records.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "engine/dsp/biquad.h"
#include "engine/dsp/vec4.h"
#include "tests/engine_mode.h"

namespace lf::test {

constexpr double PI = 3.14159265358979323846;
constexpr double RATE = 44100.0;

// The five coefficients of one lane, widened to double.
struct Section {
    double b0, b1, b2, a1, a2;
};

inline Section lane_of(const BiquadCoeffs& c, int lane) {
    return {c.b0.lane(lane), c.b1.lane(lane), c.b2.lane(lane), c.a1.lane(lane), c.a2.lane(lane)};
}

// H(e^jω) of a section at frequency f (Hz).
inline std::complex<double> response(const Section& s, double f_hz) {
    std::complex<double> z1 = std::polar(1.0, -2.0 * PI * f_hz / RATE);
    std::complex<double> z2 = z1 * z1;
    return (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

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

}  // namespace lf::test
