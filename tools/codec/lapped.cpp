#include "tools/codec/lapped.h"

#include <cmath>
#include <complex>

#include "engine/dsp/vec4.h"
#include "engine/startup/codec.h"

namespace codec {

namespace {

constexpr double PI = 3.14159265358979323846;
using Complex = std::complex<double>;

// The decoder's window weights, evaluated by the engine itself in its
// floating-point mode, so that the encoder cancels the windows the decoder
// really applies (fast_sin and all).
struct EngineWindows {
    std::vector<double> table[4];  // long-block types 0, 2, 3 at 2048; type 1 at 256
    EngineWindows() {
        uint32_t saved = lf::read_fp_control();
        lf::set_engine_fp_mode();
        for (uint8_t type = 0; type < 4; ++type) {
            uint32_t n = type == 1 ? 256 : 2048;
            table[type].resize(n);
            for (uint32_t m = 0; m < n; ++m) table[type][m] = lf::block_window(m, n, type);
        }
        lf::write_fp_control(saved);
    }
};

const EngineWindows& engine_windows() {
    static const EngineWindows windows;
    return windows;
}

// The complex products below have their roundings written out. Left to the
// compiler, a product pair a·b ± c·d may be fused into a multiply-add even
// with contraction off (vectorised complex multiplication), and which pairs
// get fused changes with the build: the coefficients then move by an ulp, and
// where the encoder weighs two equally good codings of a band that ulp
// decides, so the coded bytes change. Written out, every build computes the
// same bits, the ones the checked-in samples were made with.

// A product rounded on its own: the empty asm hides it from the optimiser, so
// it cannot be fused into the sum it meets.
inline double rounded(double product) {
    __asm__("" : "+m"(product));
    return product;
}

// z·(c + i s) with the products of c fused and those of s rounded:
//   re = z.re·c − z.im·s,  im = z.im·c + z.re·s.
inline Complex rotate_fused_cos(Complex z, double c, double s) {
    return Complex(std::fma(z.real(), c, -rounded(z.imag() * s)),
                   std::fma(z.imag(), c, rounded(z.real() * s)));
}

// z·(c + i s) with the products of z.re fused and those of z.im rounded:
//   re = z.re·c − z.im·s,  im = z.re·s + z.im·c.
inline Complex rotate_fused_re(Complex z, double c, double s) {
    return Complex(std::fma(z.real(), c, -rounded(z.imag() * s)),
                   std::fma(z.real(), s, rounded(z.imag() * c)));
}

// z·(c + i s) with all four products rounded before they are added.
inline Complex rotate_rounded(Complex z, double c, double s) {
    return Complex(rounded(z.real() * c) - rounded(z.imag() * s),
                   rounded(z.real() * s) + rounded(z.imag() * c));
}

}  // namespace

void fft_inplace(std::vector<Complex>& a) {
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double angle = -2.0 * PI / static_cast<double>(len);
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                double c = std::cos(angle * k), s = std::sin(angle * k);
                Complex u = a[i + k], v = rotate_fused_cos(a[i + k + len / 2], c, s);
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

std::vector<Window> plan_windows(const std::vector<uint8_t>& types) {
    const EngineWindows& ew = engine_windows();
    std::vector<Window> plan;
    for (size_t i = 0; i < types.size(); ++i) {
        long block_start = (static_cast<long>(i) - 1) * LONG_HALF;
        int count = types[i] == 1 ? 8 : 1;
        for (int j = 0; j < count; ++j) {
            Window w;
            w.block = static_cast<int>(i);
            w.index = j;
            w.type = types[i];
            w.length = count == 8 ? 2 * SHORT_HALF : 2 * LONG_HALF;
            w.start = block_start + (count == 8 ? 448 + j * SHORT_HALF : 0);
            w.synthesis = ew.table[types[i]];
            w.analysis = w.synthesis;
            plan.push_back(std::move(w));
        }
    }
    // Each neighbouring pair overlaps over half the shorter window, centred on
    // the point where both fold their aliasing. With synthesis weights a (the
    // earlier window) and b (the later), and t' the mirror of t about that
    // point, the analysis weights
    //     a~(t) = b(t') / D,  b~(t) = a(t') / D,  D = a(t) b(t') + b(t) a(t')
    // give a(t) a~(t) + b(t) b~(t) = 1 and cancel the mirrored terms. For
    // power-complementary mirrors D = 1 and the analysis equals the synthesis.
    for (size_t w = 0; w + 1 < plan.size(); ++w) {
        Window& A = plan[w];
        Window& B = plan[w + 1];
        long half = std::min(A.length, B.length) / 2;
        long centre = B.start + B.length / 4;  // also A.start + 3 A.length / 4
        for (long t = centre - half / 2; t < centre + half / 2; ++t) {
            long mirror = 2 * centre - 1 - t;
            double a = A.synthesis[t - A.start], am = A.synthesis[mirror - A.start];
            double b = B.synthesis[t - B.start], bm = B.synthesis[mirror - B.start];
            double d = a * bm + b * am;
            A.analysis[t - A.start] = bm / d;
            B.analysis[t - B.start] = am / d;
        }
    }
    return plan;
}

void dct4(const std::vector<double>& v, std::vector<double>& out) {
    // X[2k] = Re W[k], X[N-1-2k] = -Im W[k] with
    // W[k] = e^{-i pi (k + 1/4)/N} FFT_{N/2}[(v[2n] + i v[N-1-2n]) e^{-i pi n/N}][k].
    size_t n = v.size(), half = n / 2;
    std::vector<Complex> t(half);
    for (size_t j = 0; j < half; ++j) {
        double angle = -PI * static_cast<double>(j) / static_cast<double>(n);
        t[j] =
            rotate_fused_re(Complex(v[2 * j], v[n - 1 - 2 * j]), std::cos(angle), std::sin(angle));
    }
    fft_inplace(t);
    out.assign(n, 0.0);
    for (size_t k = 0; k < half; ++k) {
        double angle = -PI * (static_cast<double>(k) + 0.25) / static_cast<double>(n);
        Complex w = rotate_rounded(t[k], std::cos(angle), std::sin(angle));
        out[2 * k] = w.real();
        out[n - 1 - 2 * k] = -w.imag();
    }
}

void forward(const Window& w, const std::vector<double>& signal, std::vector<double>& coeffs) {
    // The kernel cos(pi/H (m + 1/2 + H/2)(k + 1/2)) over 2H samples folds into a
    // type-IV transform of H values:
    //   v[n] = -z[3H/2 - 1 - n] - z[3H/2 + n]   for n < H/2,
    //   v[n] =  z[n - H/2] - z[3H/2 - 1 - n]     for n >= H/2.
    // Unscaled: the decoder's inverse carries 2/H, and each of two overlapping
    // windows gives back half of the signal plus aliasing that the other cancels.
    int h = w.length / 2;
    std::vector<double> z(w.length), v(h);
    long size = static_cast<long>(signal.size());
    for (int m = 0; m < w.length; ++m) {
        long t = w.start + m;
        z[m] = (t >= 0 && t < size) ? w.analysis[m] * signal[t] : 0.0;
    }
    for (int n = 0; n < h / 2; ++n) v[n] = -z[3 * h / 2 - 1 - n] - z[3 * h / 2 + n];
    for (int n = h / 2; n < h; ++n) v[n] = z[n - h / 2] - z[3 * h / 2 - 1 - n];
    dct4(v, coeffs);
}

void synthesize_ideal(const std::vector<Window>& plan,
                      const std::vector<std::vector<double>>& spectra, std::vector<double>& out) {
    for (size_t w = 0; w < plan.size(); ++w) {
        const Window& win = plan[w];
        int h = win.length / 2;
        // y[m] = (2/H) sum_k X[k] cos(pi/H (m + 1/2 + H/2)(k + 1/2)): unfold a type-IV transform.
        std::vector<double> u;
        dct4(spectra[w], u);
        for (int m = 0; m < win.length; ++m) {
            // Fold index of m, the inverse of the fold in forward().
            int p = m + h / 2;
            double y;
            if (p < h) {
                y = u[p];
            } else if (p < 2 * h) {
                y = -u[2 * h - 1 - p];
            } else {
                y = -u[p - 2 * h];
            }
            long t = win.start + m;
            if (t >= 0 && t < static_cast<long>(out.size()))
                out[t] += win.synthesis[m] * (2.0 / h) * y;
        }
    }
}

}  // namespace codec
