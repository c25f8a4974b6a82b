// The audio-EQ cookbook's second-order sections designed and evaluated in
// double precision with exact trigonometry: an independent reference for the
// engine's single-precision designs and for the voices' fixed filter chains.
#pragma once

#include <cmath>
#include <complex>

namespace lf::test {

constexpr double PI = 3.14159265358979323846;
constexpr double RATE = 44100.0;

// The five coefficients of one lane, widened to double.
struct Section {
    double b0, b1, b2, a1, a2;
};

// H(e^jω) of a section at frequency f (Hz).
inline std::complex<double> response(const Section& s, double f_hz) {
    std::complex<double> z1 = std::polar(1.0, -2.0 * PI * f_hz / RATE);
    std::complex<double> z2 = z1 * z1;
    return (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

enum class Design {
    Lowpass,
    Highpass,
    Bandpass,
    BandpassQGain,
    Notch,
    Allpass,
    Peaking,
    LowShelf,
    HighShelf
};

// The audio-EQ cookbook in double precision for a given cosine c and sine s of
// the centre frequency; `a` is the amplitude of the peaking and shelf designs.
inline Section cookbook(Design d, double q, double a, double c, double s) {
    double alpha = s / (2.0 * q);
    double b0 = 0, b1 = 0, b2 = 0, a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    double sq = std::sqrt(a), p = a + 1, m = a - 1, bb = 2 * sq * alpha;
    switch (d) {
        case Design::Lowpass:
            b0 = b2 = (1 - c) / 2, b1 = 1 - c;
            break;
        case Design::Highpass:
            b0 = b2 = (1 + c) / 2, b1 = -(1 + c);
            break;
        case Design::Bandpass:
            b0 = alpha, b2 = -alpha;
            break;
        case Design::BandpassQGain:
            b0 = q * alpha, b2 = -q * alpha;
            break;
        case Design::Notch:
            b0 = b2 = 1, b1 = -2 * c;
            break;
        case Design::Allpass:
            b0 = 1 - alpha, b1 = -2 * c, b2 = 1 + alpha;
            break;
        case Design::Peaking:
            b0 = 1 + alpha * a, b1 = -2 * c, b2 = 1 - alpha * a;
            a0 = 1 + alpha / a, a2 = 1 - alpha / a;
            break;
        case Design::LowShelf:
            b0 = a * (p - m * c + bb), b1 = 2 * a * (m - p * c), b2 = a * (p - m * c - bb);
            a0 = p + m * c + bb, a1 = -2 * (m + p * c), a2 = p + m * c - bb;
            break;
        case Design::HighShelf:
            b0 = a * (p + m * c + bb), b1 = -2 * a * (m + p * c), b2 = a * (p + m * c - bb);
            a0 = p - m * c + bb, a1 = 2 * (m - p * c), a2 = p - m * c - bb;
            break;
    }
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

// The cookbook with exact trigonometry at f (Hz).
inline Section cookbook_at(Design d, double f_hz, double q, double a = 1.0) {
    const double w = 2.0 * PI * f_hz / RATE;
    return cookbook(d, q, a, std::cos(w), std::sin(w));
}

}  // namespace lf::test
