// The transform codec's decoder: modified-cosine-transform blocks of one long
// (2048) or eight short (256) windows, 20 bands per window with byte-delta
// gains in 0.625-octave steps, signed-byte band shapes, noise filling of
// sparse bands, overlap-add with the long, short and transition windows.
#pragma once

#include <cstdint>

namespace lf {

constexpr int BAND_COUNT = 20;
extern const uint8_t BAND_WIDTHS[BAND_COUNT];  // coefficients per band of a long block

// Block types.
constexpr uint8_t BLOCK_LONG = 0;
constexpr uint8_t BLOCK_SHORT = 1;
constexpr uint8_t BLOCK_LONG_TO_SHORT = 2;
constexpr uint8_t BLOCK_SHORT_TO_LONG = 3;

// Fills the inverse-transform basis for half length 128 or 1024, and the window
// weights of the block types that use it (short; long and both transitions).
void build_cosine_basis(uint32_t half_length);

// sin((pi/2) sin²(pi x / a)): the power-complementary window of length a at x.
float sine_window(uint32_t length, float x);

// The window weight of sample m (0 <= m < n) for a block of the given type.
float block_window(uint32_t m, uint32_t n, uint8_t type);

// The inverse transform of `count` spectra of H floats each (back to back) into
// `count` signals of 2H floats: y[m] = the sum over c of basis[m][c]·spectrum[c],
// accumulated from 0 in order of c, one fused multiply-add per term. The basis
// for H must be built.
void inverse_transform(uint32_t half_length, const float* spectra, uint32_t count, float* signals);

// Row m, column k of the basis for H, as the inverse transform uses it.
float cosine_basis_weight(uint32_t half_length, uint32_t m, uint32_t k);

// The running state of one sample's band decoding: the band gains and the
// noise seed (both zero at the start of a sample) carry across windows and
// blocks; the two cursors walk the coefficient and gain-delta sections together.
struct BandDecoderState {
    uint8_t gain[BAND_COUNT];
    uint32_t seed;
    const int8_t* coded;
    const uint8_t* gain_deltas;
};

// Rebuilds the spectrum of the next window of a block with `windows` windows
// (1: 1024 floats; 8: 128 floats), zero above the last band, and moves the
// state on.
void decode_window_spectrum(BandDecoderState& state, uint32_t windows, float* spectrum);

// Decodes one packed sample into dest, which holds `length` floats, zero on entry;
// length = (B + 2) * 1024 for a sample of B blocks. The bases must be built.
void decode_sample(const uint8_t* packed, uint32_t length, float* dest);

}  // namespace lf
