// Offline building blocks of the drum synthesizer, in double precision.
//
// None of this runs in the engine: it makes the recordings that the codec
// packs. It must still be deterministic, so the noise is a seeded counter hash
// and nothing depends on time, threads or the environment.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace drums {

constexpr double RATE_HZ = 44100.0;
constexpr double PI = 3.14159265358979323846;

// splitmix64: a seeded, portable stream of 64-bit values.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double bipolar() { return unit() * 2.0 - 1.0; }
};

// Transposed direct form II biquad with the cookbook designs.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double s1 = 0, s2 = 0;

    double process(double x) {
        double y = b0 * x + s1;
        s1 = b1 * x - a1 * y + s2;
        s2 = b2 * x - a2 * y;
        return y;
    }
    static Biquad lowpass(double hz, double q) { return design(hz, q, 0); }
    static Biquad highpass(double hz, double q) { return design(hz, q, 1); }
    static Biquad bandpass(double hz, double q) { return design(hz, q, 2); }

  private:
    static Biquad design(double hz, double q, int kind) {
        double w = 2.0 * PI * std::min(hz, 0.49 * RATE_HZ) / RATE_HZ;
        double alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        double a0 = 1.0 + alpha;
        Biquad f;
        if (kind == 0) {
            f.b0 = f.b2 = (1.0 - c) * 0.5 / a0;
            f.b1 = (1.0 - c) / a0;
        } else if (kind == 1) {
            f.b0 = f.b2 = (1.0 + c) * 0.5 / a0;
            f.b1 = -(1.0 + c) / a0;
        } else {
            f.b0 = alpha / a0;
            f.b1 = 0.0;
            f.b2 = -alpha / a0;
        }
        f.a1 = -2.0 * c / a0;
        f.a2 = (1.0 - alpha) / a0;
        return f;
    }
};

// Exponential decay with time constant tau: 1 at t = 0, 1/e at t = tau.
inline double decay(double t_s, double tau_s) {
    return tau_s > 0.0 ? std::exp(-t_s / tau_s) : 0.0;
}

// Raised-cosine rise from 0 to 1 over rise_s (a click-free onset).
inline double rise(double t_s, double rise_s) {
    if (t_s >= rise_s) return 1.0;
    return 0.5 - 0.5 * std::cos(PI * t_s / rise_s);
}

struct StereoBuffer {
    std::vector<double> left, right;
    explicit StereoBuffer(size_t frames = 0) : left(frames, 0.0), right(frames, 0.0) {}
    size_t frames() const { return left.size(); }
};

}  // namespace drums
