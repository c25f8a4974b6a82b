// The transform codec's decoder.
//
// Each window's spectrum is rebuilt band by band: signed-byte shapes, noise
// where a band was coded sparse, and a gain that sets the band's energy. The
// inverse modified cosine transform is a plain product with a stored basis
// whose rows are the transform kernel evaluated with the engine's own sine.
//
// The product dominates start-up (two million multiply-adds per long block),
// so the decoder works on runs of up to 64 blocks: it first rebuilds all their
// spectra (the gains and the noise seed run through them in order), then
// multiplies the whole batch with the basis eight rows at a time, and finally
// overlap-adds the windows in block order. Every output sample is still the
// sum over c = 0 .. H - 1 taken in order of c, one fused multiply-add per term,
// so the bits are those of the direct product; only the memory traffic drops,
// because a tile of eight basis rows stays in cache while the whole batch of
// spectra passes it.
#include "engine/startup/codec.h"

#include <cstring>

#include "engine/dsp/math.h"

#if defined(__AVX2__) && defined(__FMA__)
#include <immintrin.h>
#define LF_CODEC_AVX2 1
#else
#define LF_CODEC_AVX2 0
#endif

namespace lf {

const uint8_t BAND_WIDTHS[BAND_COUNT] = {8,  8,  8,  8,  8,  8,  8,  8,   16,  16,
                                         24, 32, 32, 40, 48, 64, 80, 120, 144, 176};

namespace {

constexpr uint32_t LONG_HALF = 1024;
constexpr uint32_t SHORT_HALF = 128;
constexpr uint32_t HOP = 1024;
constexpr uint32_t SHORT_OFFSET = 448;  // the eight short windows sit in the middle of the hop
constexpr uint32_t SHORT_WINDOWS = 8;
constexpr uint32_t CODED_PER_BLOCK = 856;
constexpr uint32_t TILE_ROWS = 8;

// Basis rows in tiles of eight: tile t holds rows 8t .. 8t + 7, column by
// column, so the eight weights of one column are adjacent and one vector load
// feeds eight output rows.
alignas(64) float long_basis[2 * LONG_HALF * LONG_HALF];
alignas(64) float short_basis[2 * SHORT_HALF * SHORT_HALF];

// The window weights of each block type, filled with the basis they belong to.
float long_window[2048];
float long_to_short_window[2048];
float short_to_long_window[2048];
float short_window[256];

constexpr uint32_t BATCH_BLOCKS = 64;

struct DecodeScratch {
    alignas(64) float long_spectra[BATCH_BLOCKS][LONG_HALF];
    alignas(64) float long_signals[BATCH_BLOCKS][2 * LONG_HALF];
    alignas(64) float short_spectra[BATCH_BLOCKS * SHORT_WINDOWS][SHORT_HALF];
    alignas(64) float short_signals[BATCH_BLOCKS * SHORT_WINDOWS][2 * SHORT_HALF];
};
DecodeScratch scratch;

float* basis_for(uint32_t half_length) {
    return half_length == LONG_HALF ? long_basis : short_basis;
}

// G spectra against one tile of eight basis rows. The loops over g are
// unrolled so that the G partial sums live in registers: eight independent
// fused multiply-adds per column keep both FMA units busy.
template <int G>
void transform_tile(const float* tile, uint32_t half_length, const float* const* spectra,
                    float* const* signals, uint32_t row) {
    const float* spectrum[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) spectrum[g] = spectra[g];
#if LF_CODEC_AVX2
    __m256 acc[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) acc[g] = _mm256_setzero_ps();
    for (uint32_t c = 0; c < half_length; ++c) {
        const __m256 weights = _mm256_load_ps(tile + c * TILE_ROWS);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            // y[m] = basis[m][c]·spectrum[c] + y[m]
            acc[g] = _mm256_fmadd_ps(weights, _mm256_broadcast_ss(spectrum[g] + c), acc[g]);
        }
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) _mm256_storeu_ps(signals[g] + row, acc[g]);
#else
    Vec4 low[G], high[G];
    for (int g = 0; g < G; ++g) low[g] = high[g] = Vec4::zero();
    for (uint32_t c = 0; c < half_length; ++c) {
        const Vec4 w_low = Vec4::load(tile + c * TILE_ROWS);
        const Vec4 w_high = Vec4::load(tile + c * TILE_ROWS + 4);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const Vec4 s(spectrum[g][c]);
            low[g] = fma(w_low, s, low[g]);
            high[g] = fma(w_high, s, high[g]);
        }
    }
    for (int g = 0; g < G; ++g) {
        low[g].store(signals[g] + row);
        high[g].store(signals[g] + row + 4);
    }
#endif
}

constexpr int GROUP = 8;

// The kernel for a group of 1 to 8 spectra.
using TileKernel = void (*)(const float*, uint32_t, const float* const*, float* const*, uint32_t);
constexpr TileKernel TILE_KERNELS[GROUP + 1] = {
    nullptr,           transform_tile<1>, transform_tile<2>, transform_tile<3>, transform_tile<4>,
    transform_tile<5>, transform_tile<6>, transform_tile<7>, transform_tile<8>};

// destination[base + m] = window[m]·y[m] + destination[base + m]
void overlap_add(const float* window, const float* y, uint32_t n, float* destination) {
    for (uint32_t m = 0; m < n; m += 4) {
        fma(Vec4::load(window + m), Vec4::load(y + m), Vec4::load(destination + m))
            .store(destination + m);
    }
}

const float* window_of(uint8_t type) {
    switch (type) {
        case BLOCK_SHORT:
            return short_window;
        case BLOCK_LONG_TO_SHORT:
            return long_to_short_window;
        case BLOCK_SHORT_TO_LONG:
            return short_to_long_window;
        default:
            return long_window;
    }
}

}  // namespace

void decode_window_spectrum(BandDecoderState& dec, uint32_t windows, float* spectrum) {
    const uint32_t half_length = windows == 1 ? LONG_HALF : SHORT_HALF;
    std::memset(spectrum, 0, half_length * sizeof(float));
    const Vec4 tenth(0.1f);
    const Vec4 noise_scale(0.78740156f);  // 100/127
    uint32_t p = 0;
    for (int k = 0; k < BAND_COUNT; ++k) {
        const uint32_t w = BAND_WIDTHS[k] / windows;
        float* band = spectrum + p;
        uint32_t nonzero = 0;
        for (uint32_t l = 0; l < w; ++l) {
            const int8_t coded = dec.coded[l];
            band[l] = static_cast<float>(coded);
            nonzero += coded != 0;
        }
        dec.coded += w;
        const Vec4 width(static_cast<float>(w));
        const Vec4 density = Vec4(static_cast<float>(nonzero)) / width;
        // Sparse bands are filled with noise, coded values included, the more
        // the sparser: f = (0.1 - density)^2.
        if (density.lane0() < 0.1f) {
            const Vec4 d = tenth - density;
            const Vec4 f = d * d;
            for (uint32_t l = 0; l < w; ++l) {
                const int8_t v = static_cast<int8_t>((dec.seed >> 16) & 0xFF);
                // spectrum = (v·f)·0.78740156 + spectrum
                band[l] = fma(Vec4(static_cast<float>(v)) * f, noise_scale, Vec4(band[l])).lane0();
                dec.seed = dec.seed * 1664525u + 1013904223u;
            }
        }
        // Gains move in 0.625-octave steps; 32 is unity.
        dec.gain[k] = static_cast<uint8_t>(dec.gain[k] + *dec.gain_deltas++);
        const Vec4 amplitude =
            fast_exp2(fms(Vec4(static_cast<float>(dec.gain[k])), Vec4(0.625f), Vec4(20.0f)));
        // The band's energy becomes (A·w)^2: the coded values carry only its shape.
        Vec4 energy(1e-27f);
        for (uint32_t l = 0; l < w; ++l) energy = fma(Vec4(band[l]), Vec4(band[l]), energy);
        const Vec4 scale = (amplitude * width) / sqrt(energy);
        for (uint32_t l = 0; l < w; ++l) band[l] = (Vec4(band[l]) * scale).lane0();
        p += w;
    }
}

void build_cosine_basis(uint32_t half_length) {
    const uint32_t rows = 2 * half_length;
    float* basis = basis_for(half_length);
    // M = H/2; c = 1/M; step = pi/(2M); r = M + 1/2 for row 0, one more per row.
    const Vec4 half_m = Vec4(static_cast<float>(half_length)) * Vec4(0.5f);
    const Vec4 c = Vec4(1.0f) / half_m;
    const Vec4 step = c * Vec4(1.5707964f);
    const Vec4 quarter_turn(1.5707964f);
    Vec4 r = half_m + Vec4(0.5f);
    const Vec4 one(1.0f);
    for (uint32_t m = 0; m < rows; m += 4) {
        // Four rows side by side: each lane keeps its own row's running angle.
        float r_rows[4];
        for (float& row_r : r_rows) {
            row_r = r.lane0();
            r = r + one;
        }
        const Vec4 d = Vec4::set(r_rows[0], r_rows[1], r_rows[2], r_rows[3]) * step;
        Vec4 e = d * Vec4(0.5f);
        float* out = basis + (m / TILE_ROWS) * half_length * TILE_ROWS + m % TILE_ROWS;
        for (uint32_t k = 0; k < half_length; ++k) {
            // cos(e) as the sine a quarter turn on; the angle is accumulated.
            (fast_sin(e + quarter_turn) * c).store(out + k * TILE_ROWS);
            e = e + d;
        }
    }
    // The window weights of the block types that use this basis.
    if (half_length == SHORT_HALF) {
        for (uint32_t m = 0; m < 256; ++m) short_window[m] = block_window(m, 256, BLOCK_SHORT);
    } else {
        for (uint32_t m = 0; m < 2048; ++m) {
            long_window[m] = block_window(m, 2048, BLOCK_LONG);
            long_to_short_window[m] = block_window(m, 2048, BLOCK_LONG_TO_SHORT);
            short_to_long_window[m] = block_window(m, 2048, BLOCK_SHORT_TO_LONG);
        }
    }
}

float cosine_basis_weight(uint32_t half_length, uint32_t m, uint32_t k) {
    const float* basis = basis_for(half_length);
    return basis[(m / TILE_ROWS) * half_length * TILE_ROWS + k * TILE_ROWS + m % TILE_ROWS];
}

void inverse_transform(uint32_t half_length, const float* spectra, uint32_t count, float* signals) {
    const float* basis = basis_for(half_length);
    const uint32_t rows = 2 * half_length;
    const float* spectrum_of[GROUP];
    float* signal_of[GROUP];
    for (uint32_t row = 0; row < rows; row += TILE_ROWS) {
        const float* tile = basis + row * half_length;
        for (uint32_t first = 0; first < count; first += GROUP) {
            const int group = static_cast<int>(count - first < GROUP ? count - first : GROUP);
            for (int g = 0; g < group; ++g) {
                spectrum_of[g] = spectra + (first + g) * half_length;
                signal_of[g] = signals + (first + g) * rows;
            }
            TILE_KERNELS[group](tile, half_length, spectrum_of, signal_of, row);
        }
    }
}

float sine_window(uint32_t length, float x) {
    // sin((pi/2) sin²(pi x / a))
    const Vec4 t = (Vec4(3.1415927f) / Vec4(static_cast<float>(length))) * Vec4(x);
    const Vec4 s = fast_sin(t);
    const Vec4 u = (s * Vec4(1.5707964f)) * s;
    return fast_sin(u).lane0();
}

float block_window(uint32_t m, uint32_t n, uint8_t type) {
    const float x = (Vec4(static_cast<float>(m)) + Vec4(0.5f)).lane0();
    if (type == BLOCK_LONG_TO_SHORT) {
        // Long rise, flat top, then the complement of a short window's rise.
        if (m < 1024) return sine_window(2048, x);
        if (m < 1472) return 1.0f;
        if (m < 1600)
            return (Vec4(1.0f) - Vec4(sine_window(256, (Vec4(x) - Vec4(1472.0f)).lane0()))).lane0();
        return 0.0f;
    }
    if (type == BLOCK_SHORT_TO_LONG) {
        if (m < 448) return 0.0f;
        if (m < 576) return sine_window(256, (Vec4(x) - Vec4(448.0f)).lane0());
        if (m < 1024) return 1.0f;
        return sine_window(2048, x);
    }
    return sine_window(n, x);
}

void decode_sample(const uint8_t* packed, uint32_t length, float* dest) {
    const uint32_t blocks = (packed[0] | (static_cast<uint32_t>(packed[1]) << 8)) + 1u;
    const uint8_t* types = packed + 2;
    BandDecoderState dec{};
    dec.coded = reinterpret_cast<const int8_t*>(types + blocks);
    dec.gain_deltas = types + blocks + CODED_PER_BLOCK * blocks;

    for (uint32_t first = 0; first < blocks; first += BATCH_BLOCKS) {
        const uint32_t end = first + BATCH_BLOCKS < blocks ? first + BATCH_BLOCKS : blocks;
        // 1. The spectra of every window of the batch, in stream order.
        uint32_t long_count = 0, short_count = 0;
        for (uint32_t i = first; i < end; ++i) {
            if (types[i] == BLOCK_SHORT) {
                for (uint32_t j = 0; j < SHORT_WINDOWS; ++j) {
                    decode_window_spectrum(dec, SHORT_WINDOWS,
                                           scratch.short_spectra[short_count++]);
                }
            } else {
                decode_window_spectrum(dec, 1, scratch.long_spectra[long_count++]);
            }
        }
        // 2. Their inverse transforms.
        inverse_transform(LONG_HALF, scratch.long_spectra[0], long_count, scratch.long_signals[0]);
        inverse_transform(SHORT_HALF, scratch.short_spectra[0], short_count,
                          scratch.short_signals[0]);
        // 3. Overlap-add in block order, windows in order within a block.
        long_count = short_count = 0;
        for (uint32_t i = first; i < end; ++i) {
            const uint8_t type = types[i];
            if (type == BLOCK_SHORT) {
                for (uint32_t j = 0; j < SHORT_WINDOWS; ++j) {
                    const uint32_t base = i * HOP + SHORT_OFFSET + j * SHORT_HALF;
                    overlap_add(short_window, scratch.short_signals[short_count++], 2 * SHORT_HALF,
                                dest + base);
                }
            } else {
                overlap_add(window_of(type), scratch.long_signals[long_count++], 2 * LONG_HALF,
                            dest + i * HOP);
            }
        }
    }
    // Drop the half window before the first hop; the last hop becomes silence.
    std::memmove(dest, dest + HOP, (length - HOP) * sizeof(float));
    std::memset(dest + length - HOP, 0, HOP * sizeof(float));
}

}  // namespace lf
