// Single-cycle tables by additive synthesis.
//
// The sine table comes from a rotation by 2 pi / 256 started at (0, 1); every
// other table is a sum of 127 harmonics read from it, with 1/h weights taken
// from the processor's reciprocal estimate. The sine and sawtooth entries are
// computed in four equal lanes and stored four lanes wide, so those tables end
// in three copies of their last entry; the pulse table's spare floats are set
// the same way.
#include "engine/startup/wavetables.h"

#include "engine/dsp/math.h"

namespace lf {

float SINE_TABLE[TABLE_LENGTH + TABLE_SPARE];
float SAW_TABLE[TABLE_LENGTH + TABLE_SPARE];
float SOFT_SAW_TABLE[TABLE_LENGTH + TABLE_SPARE];
float PULSE_TABLE[TABLE_LENGTH * TABLE_LENGTH + TABLE_SPARE];

namespace {

constexpr int HARMONICS = 127;
constexpr int MASK = TABLE_LENGTH - 1;

// cos(2 pi h b / 256) for every harmonic h and column b: the second factor of
// the pulse sum, read four columns at a time.
float harmonic_cosines[HARMONICS + 1][TABLE_LENGTH];

void build_sine_table() {
    const Vec4 s(0.024541229f), c(0.9996988f);
    const Vec4 minus_s = -s;
    Vec4 x = Vec4::zero(), y(1.0f);
    for (int j = 0; j < TABLE_LENGTH; ++j) {
        x.store(SINE_TABLE + j);
        // (x, y) <- (y s + x c, y c - x s): the products with x first, each
        // then fused into the product with y.
        const Vec4 xc = x * c;
        const Vec4 xs = x * minus_s;
        x = fma(y, s, xc);
        y = fma(y, c, xs);
    }
}

void build_saw_tables(const Vec4* inverse) {
    const Vec4 two_over_pi = ConstVec[K_TWO_OVER_PI];
    for (int j = 0; j < TABLE_LENGTH; ++j) {
        Vec4 a = Vec4::zero(), b = Vec4::zero();
        Vec4 sign(1.0f);
        for (int h = 1; h <= HARMONICS; ++h) {
            sign = -sign;
            const Vec4 t(SINE_TABLE[(h * j) & MASK]);
            // A = A - t (r(h) sign); B = B + t (r(h)^2 sign)
            a = fnma(t, inverse[h] * sign, a);
            b = fma(t, (inverse[h] * inverse[h]) * sign, b);
        }
        (a * two_over_pi).store(SAW_TABLE + j);
        fma(b * two_over_pi, two_over_pi, Vec4(0.5f)).store(SOFT_SAW_TABLE + j);
    }
}

// Row a: the sum over h of sin(pi h a / 256) cos(2 pi h b / 256) / h, each
// column's terms added in order of h. Eight columns (two vectors) per pass
// keep the partial sums in registers.
void build_pulse_table(const Vec4* inverse) {
    for (int h = 1; h <= HARMONICS; ++h) {
        for (int b = 0; b < TABLE_LENGTH; ++b) {
            harmonic_cosines[h][b] = SINE_TABLE[(h * b + 64) & MASK];
        }
    }
    const Vec4 two_over_pi = ConstVec[K_TWO_OVER_PI];
    constexpr int VECTORS = 8;  // 32 columns per pass
    for (int a = 0; a < TABLE_LENGTH; ++a) {
        float* row = PULSE_TABLE + a * TABLE_LENGTH;
        for (int b0 = 0; b0 < TABLE_LENGTH; b0 += 4 * VECTORS) {
            Vec4 p[VECTORS];
            for (Vec4& v : p) v = Vec4::zero();
            for (int h = 1; h <= HARMONICS; ++h) {
                // The half step of odd h a is dropped: floor(h a / 2).
                const Vec4 s1(SINE_TABLE[((h * a) >> 1) & MASK]);
                const float* cosines = harmonic_cosines[h] + b0;
#pragma GCC unroll 8
                for (int v = 0; v < VECTORS; ++v) {
                    // P = (S1 S2) r(h) + P
                    p[v] = fma(s1 * Vec4::load(cosines + 4 * v), inverse[h], p[v]);
                }
            }
            for (int v = 0; v < VECTORS; ++v) (p[v] * two_over_pi).store(row + b0 + 4 * v);
        }
    }
    // The spare floats as a four-lane store of the last entry leaves them.
    const float last = PULSE_TABLE[TABLE_LENGTH * TABLE_LENGTH - 1];
    for (int i = 0; i < TABLE_SPARE - 1; ++i) PULSE_TABLE[TABLE_LENGTH * TABLE_LENGTH + i] = last;
}

}  // namespace

void build_wavetables() {
    build_sine_table();
    // r(h): the reciprocal estimate of each harmonic number.
    Vec4 inverse[HARMONICS + 1];
    inverse[0] = Vec4::zero();
    for (int h = 1; h <= HARMONICS; ++h) inverse[h] = rcp_estimate(Vec4(static_cast<float>(h)));
    build_saw_tables(inverse);
    build_pulse_table(inverse);
}

}  // namespace lf
