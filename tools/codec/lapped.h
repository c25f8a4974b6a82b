// The codec's lapped transform seen from the encoder's side.
//
// A packed sample is a row of blocks, each one long window of 2048 samples or
// eight short windows of 256, laid 1024 samples apart. The decoder multiplies
// each inverse transform by its synthesis window and overlap-adds; the
// aliasing of one window's second half cancels the next window's first half
// (time-domain aliasing cancellation). The encoder mirrors that: it takes the
// decoder's own window values and derives analysis windows that make the
// cancellation exact for them (biorthogonal where the long-to-short window's
// falling edge, one minus a short rising edge, is not power-complementary),
// then runs a fast forward transform (fold to a type-IV cosine transform, done
// with a half-length complex FFT). It is ours rather than a library's FFT:
// the packed samples are compared byte for byte with the checked-in ones, and
// another transform would round differently and move coefficient bytes.
//
// Times here are positions in the decoded sample: window starts may be
// negative (the decoder drops its first 1024 output samples).
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace codec {

constexpr int LONG_HALF = 1024;
constexpr int SHORT_HALF = 128;

struct Window {
    int block = 0;                  // block index
    int index = 0;                  // window index inside the block (0..7 for short blocks)
    long start = 0;                 // first sample, in decoded time
    int length = 0;                 // 2048 or 256
    uint8_t type = 0;               // block type
    std::vector<double> synthesis;  // the decoder's window weights
    std::vector<double> analysis;   // the encoder's, cancelling the decoder's aliasing
};

// The windows of a block-type sequence in decoder order, with their weights.
std::vector<Window> plan_windows(const std::vector<uint8_t>& types);

// Forward transform of one window: H = length/2 coefficients of the analysis-
// windowed signal against cos(pi/H (m + 1/2 + H/2)(k + 1/2)), so that the
// decoder's (2/H) cos(...) inverse and overlap-add give the signal back.
// Samples outside [0, signal.size()) count as zero.
void forward(const Window& w, const std::vector<double>& signal, std::vector<double>& coeffs);

// In-place complex FFT (forward, e^{-2 pi i nk/N}) of a power-of-two length.
void fft_inplace(std::vector<std::complex<double>>& a);

// The type-IV cosine transform, X[k] = sum v[n] cos(pi/N (n + 1/2)(k + 1/2)),
// for a power-of-two N >= 4, in O(N log N).
void dct4(const std::vector<double>& v, std::vector<double>& out);

// Inverse transform and overlap-add in double precision with exact cosines:
// the ideal decoder, for analysis and tests (not the engine's arithmetic).
void synthesize_ideal(const std::vector<Window>& plan,
                      const std::vector<std::vector<double>>& spectra, std::vector<double>& out);

}  // namespace codec
