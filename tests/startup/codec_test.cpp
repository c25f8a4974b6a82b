// The transform decoder: the stored basis against its definition, the batched
// inverse transform and the whole decoder against straightforward scalar
// references (bit for bit), the band rules (noise fill, gains, normalisation)
// and the windows. (The decoded lengths and their silent tails are checked on
// every sample in sequence_test.cpp.)
#include <cmath>
#include <utility>
#include <vector>

#include "engine/startup/codec.h"
#include "engine/startup/units.h"
#include "tests/startup/startup_test.h"

namespace lf::test {
namespace {

constexpr double PI = 3.14159265358979323846;

// The basis row by row, exactly as defined: the angle of row m starts at
// d/2 with d = (M + 1/2 + m)·pi/(2M) and grows by d per column.
std::vector<float> reference_basis(uint32_t half_length) {
    std::vector<float> basis(2 * half_length * half_length);
    const float m_half = (Vec4(static_cast<float>(half_length)) * Vec4(0.5f)).lane0();
    const float c = (Vec4(1.0f) / Vec4(m_half)).lane0();
    const float step = (Vec4(c) * Vec4(1.5707964f)).lane0();
    float r = (Vec4(m_half) + Vec4(0.5f)).lane0();
    for (uint32_t m = 0; m < 2 * half_length; ++m) {
        const float d = (Vec4(r) * Vec4(step)).lane0();
        float e = (Vec4(d) * Vec4(0.5f)).lane0();
        for (uint32_t k = 0; k < half_length; ++k) {
            basis[m * half_length + k] = (fast_sin(Vec4(e) + Vec4(1.5707964f)) * Vec4(c)).lane0();
            e = (Vec4(e) + Vec4(d)).lane0();
        }
        r = (Vec4(r) + Vec4(1.0f)).lane0();
    }
    return basis;
}

// y[m] = the sum over c of basis[m][c]·spectrum[c], from 0, in order of c.
std::vector<float> reference_transform(const std::vector<float>& basis, uint32_t half_length,
                                       const float* spectrum) {
    std::vector<float> y(2 * half_length);
    for (uint32_t m = 0; m < 2 * half_length; ++m) {
        Vec4 acc = Vec4::zero();
        for (uint32_t c = 0; c < half_length; ++c) {
            acc = fma(Vec4(basis[m * half_length + c]), Vec4(spectrum[c]), acc);
        }
        y[m] = acc.lane0();
    }
    return y;
}

// The decoder written out once, plainly, window by window.
std::vector<float> reference_decode(const std::vector<uint8_t>& packed,
                                    const std::vector<float>& long_basis,
                                    const std::vector<float>& short_basis) {
    const uint32_t blocks = (packed[0] | (packed[1] << 8)) + 1u;
    const uint8_t* types = packed.data() + 2;
    const uint8_t* coded = types + blocks;
    const uint8_t* gain_delta = coded + 856 * blocks;
    std::vector<float> dest((blocks + 2) * 1024, 0.0f);
    uint8_t gain[20] = {};
    uint32_t seed = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        const uint8_t type = types[i];
        const uint32_t windows = type == 1 ? 8 : 1;
        const uint32_t n = type == 1 ? 256 : 2048, half = n / 2;
        const uint32_t offset = type == 1 ? 448 : 0;
        for (uint32_t j = 0; j < windows; ++j) {
            float spectrum[1024] = {};
            uint32_t p = 0;
            for (int k = 0; k < 20; ++k) {
                const uint32_t w = BAND_WIDTHS[k] / windows;
                int z = 0;
                for (uint32_t l = 0; l < w; ++l) {
                    const int8_t v = static_cast<int8_t>(*coded++);
                    spectrum[p + l] = v;
                    z += v != 0;
                }
                const float density =
                    (Vec4(static_cast<float>(z)) / Vec4(static_cast<float>(w))).lane0();
                if (density < 0.1f) {
                    const Vec4 f = (Vec4(0.1f) - Vec4(density)) * (Vec4(0.1f) - Vec4(density));
                    for (uint32_t l = 0; l < w; ++l) {
                        const float v = static_cast<int8_t>(seed >> 16);
                        spectrum[p + l] =
                            fma(Vec4(v) * f, Vec4(0.78740156f), Vec4(spectrum[p + l])).lane0();
                        seed = seed * 1664525u + 1013904223u;
                    }
                }
                gain[k] = static_cast<uint8_t>(gain[k] + *gain_delta++);
                const Vec4 a =
                    fast_exp2(fms(Vec4(static_cast<float>(gain[k])), Vec4(0.625f), Vec4(20.0f)));
                Vec4 e(1e-27f);
                for (uint32_t l = 0; l < w; ++l) {
                    e = fma(Vec4(spectrum[p + l]), Vec4(spectrum[p + l]), e);
                }
                const Vec4 s = (a * Vec4(static_cast<float>(w))) / sqrt(e);
                for (uint32_t l = 0; l < w; ++l)
                    spectrum[p + l] = (Vec4(spectrum[p + l]) * s).lane0();
                p += w;
            }
            const std::vector<float> y =
                reference_transform(half == 1024 ? long_basis : short_basis, half, spectrum);
            const uint32_t base = i * 1024 + offset + j * half;
            for (uint32_t m = 0; m < n; ++m) {
                dest[base + m] =
                    fma(Vec4(block_window(m, n, type)), Vec4(y[m]), Vec4(dest[base + m])).lane0();
            }
        }
    }
    for (size_t i = 0; i < dest.size(); ++i) dest[i] = i + 1024 < dest.size() ? dest[i + 1024] : 0;
    return dest;
}

// A packed sample of the given block types with random bands: dense, sparse
// (noise added to coded values), empty (pure noise), and gains that wander,
// wrapping through 255.
std::vector<uint8_t> random_packed(const std::vector<uint8_t>& types, uint32_t seed) {
    TestRandom random{seed};
    const uint32_t blocks = static_cast<uint32_t>(types.size());
    std::vector<uint8_t> coded, gains;
    int gain[20] = {};
    for (uint8_t type : types) {
        const uint32_t windows = type == 1 ? 8 : 1;
        for (uint32_t j = 0; j < windows; ++j) {
            for (int k = 0; k < 20; ++k) {
                const uint32_t w = BAND_WIDTHS[k] / windows;
                const int mode = random.between(0, 3);
                for (uint32_t l = 0; l < w; ++l) {
                    int v = 0;
                    if (mode >= 2) v = random.between(-40, 40);
                    if (mode == 1 && l == w / 2) v = random.between(1, 100);
                    coded.push_back(static_cast<uint8_t>(v));
                }
                const int target = gain[k] < 20 ? gain[k] + random.between(0, 12)
                                                : gain[k] + random.between(-3, 2);
                gains.push_back(static_cast<uint8_t>(target - gain[k]));
                gain[k] = target;
            }
        }
    }
    std::vector<uint8_t> packed = {static_cast<uint8_t>((blocks - 1) & 0xFF),
                                   static_cast<uint8_t>((blocks - 1) >> 8)};
    for (const std::vector<uint8_t>* part :
         {&types, &std::as_const(coded), &std::as_const(gains)}) {
        for (uint8_t b : *part) packed.push_back(b);
    }
    return packed;
}

class CodecTest : public StartupTest {
  protected:
    static void SetUpTestSuite() {
        set_engine_fp_mode();
        build_cosine_basis(128);
        build_cosine_basis(1024);
    }
};

TEST_F(CodecTest, StoredBasisIsTheDefinedKernelBitForBit) {
    for (uint32_t half : {128u, 1024u}) {
        const std::vector<float> basis = reference_basis(half);
        uint32_t mismatches = 0;
        for (uint32_t m = 0; m < 2 * half; ++m) {
            for (uint32_t k = 0; k < half; ++k) {
                mismatches +=
                    float_bits(cosine_basis_weight(half, m, k)) != float_bits(basis[m * half + k]);
            }
        }
        EXPECT_EQ(mismatches, 0u) << "H = " << half;
    }
}

TEST_F(CodecTest, BasisFollowsTheInverseCosineTransformKernel) {
    // Over the first columns the accumulated angle is still accurate, so the
    // weights are (2/H) cos((pi/H)(m + 1/2 + H/2)(k + 1/2)) within fast_sin's error.
    for (uint32_t half : {128u, 1024u}) {
        for (uint32_t m = 0; m < 2 * half; ++m) {
            for (uint32_t k = 0; k < 8; ++k) {
                const double want =
                    2.0 / half * std::cos(PI / half * (m + 0.5 + half / 2.0) * (k + 0.5));
                ASSERT_NEAR(cosine_basis_weight(half, m, k), want, 0.0015 * 2.0 / half)
                    << "H " << half << " m " << m << " k " << k;
            }
        }
    }
}

TEST_F(CodecTest, BatchedTransformMatchesTheDirectProductBitForBit) {
    // Counts that fill a group of eight and leave remainders; spectra with
    // zeros, exact cancellations and an all-zero one (the sign of a zero sum counts).
    for (uint32_t half : {128u, 1024u}) {
        const std::vector<float> basis = reference_basis(half);
        for (uint32_t count : {1u, 8u, 11u}) {
            TestRandom random{half * 31 + count};
            std::vector<float> spectra(count * half);
            for (uint32_t i = 0; i < spectra.size(); ++i) {
                const int kind = random.between(0, 4);
                spectra[i] =
                    kind == 0 ? 0.0f : static_cast<float>(random.between(-5000, 5000)) / 37.0f;
            }
            std::fill(spectra.begin(), spectra.begin() + half, 0.0f);  // spectrum 0 is silent
            std::vector<float> signals(count * 2 * half, 123.0f);
            inverse_transform(half, spectra.data(), count, signals.data());
            for (uint32_t b = 0; b < count; ++b) {
                const std::vector<float> want =
                    reference_transform(basis, half, &spectra[b * half]);
                for (uint32_t m = 0; m < 2 * half; ++m) {
                    ASSERT_EQ(float_bits(signals[b * 2 * half + m]), float_bits(want[m]))
                        << "H " << half << " count " << count << " block " << b << " row " << m;
                }
            }
        }
    }
}

TEST_F(CodecTest, DecoderMatchesAPlainScalarDecoderBitForBit) {
    // 73 blocks of every type, so a run of batched blocks ends between a long
    // block and a transition and the overlap-add crosses it.
    std::vector<uint8_t> types = {1, 3};
    types.insert(types.end(), 62, 0);
    for (uint8_t t : {2, 1, 1, 3, 0, 2, 1, 3, 0}) types.push_back(t);
    const std::vector<uint8_t> packed = random_packed(types, 7);
    const uint32_t length = (static_cast<uint32_t>(types.size()) + 2) * 1024;
    std::vector<float> decoded(length, 0.0f);
    decode_sample(packed.data(), length, decoded.data());
    const std::vector<float> want =
        reference_decode(packed, reference_basis(1024), reference_basis(128));
    for (uint32_t i = 0; i < length; ++i) {
        ASSERT_EQ(float_bits(decoded[i]), float_bits(want[i])) << "sample " << i;
    }
}

// One long window's worth of coded bytes and gain deltas, decoded band by band.
struct WindowBytes {
    int8_t coded[856] = {};
    uint8_t gains[20] = {};
};

// The offset of band k in a long window.
uint32_t band_start(int k) {
    uint32_t p = 0;
    for (int i = 0; i < k; ++i) p += BAND_WIDTHS[i];
    return p;
}

// The noise values v of the coefficient generator from a seed, as signed bytes.
std::vector<int> noise_bytes(uint32_t& seed, uint32_t count) {
    std::vector<int> v;
    for (uint32_t i = 0; i < count; ++i) {
        v.push_back(static_cast<int8_t>((seed >> 16) & 0xFF));
        seed = seed * 1664525u + 1013904223u;
    }
    return v;
}

// Expected band values: the coded values plus f·v·100/127 noise, scaled to energy (A·w)^2.
void expect_band(const float* band, const std::vector<double>& shape, double amplitude) {
    double energy = 0.0;
    for (double x : shape) energy += x * x;
    const double scale = amplitude * shape.size() / std::sqrt(energy);
    for (size_t l = 0; l < shape.size(); ++l) {
        EXPECT_NEAR(band[l], shape[l] * scale, 2e-6 * amplitude * shape.size()) << "l " << l;
    }
}

TEST_F(CodecTest, BandsAreCodedShapesWithNoiseWhereSparseAndGainSetsEnergy) {
    WindowBytes w;
    // Band 0: nothing coded, pure noise at 2^(40·0.625 - 20) = 32.
    w.gains[0] = 40;
    // Band 1: half its bytes coded (density 0.5): no noise, the seed stays.
    const int dense[8] = {3, 0, -7, 0, 12, 0, 0, 1};
    for (int l = 0; l < 8; ++l) w.coded[band_start(1) + l] = static_cast<int8_t>(dense[l]);
    w.gains[1] = 32;
    // Band 8: one of 16 coded (density 1/16): noise weight (0.1 - 0.0625)^2,
    // added to the coded value too.
    w.coded[band_start(8) + 5] = 9;
    w.gains[8] = 36;
    BandDecoderState state{};
    state.coded = w.coded;
    state.gain_deltas = w.gains;
    float spectrum[1024];
    decode_window_spectrum(state, 1, spectrum);

    uint32_t seed = 0;
    const std::vector<int> v0 = noise_bytes(seed, 8);
    EXPECT_EQ(v0[0], 0);
    EXPECT_EQ(float_bits(spectrum[0]), float_bits(0.0f)) << "the first noise value from seed 0";
    std::vector<double> shape0(v0.begin(), v0.end());
    expect_band(spectrum, shape0, 32.0);

    expect_band(spectrum + band_start(1), std::vector<double>(dense, dense + 8), 1.0);
    for (int l = 0; l < 8; ++l) {
        if (dense[l] == 0) {
            EXPECT_EQ(spectrum[band_start(1) + l], 0.0f);
        }
    }

    // Bands 2 to 7 are empty (noise), so band 8's noise starts 48 draws on.
    noise_bytes(seed, 48);
    const std::vector<int> v8 = noise_bytes(seed, 16);
    std::vector<double> shape8;
    const double f = (0.1 - 0.0625) * (0.1 - 0.0625);
    for (int l = 0; l < 16; ++l) shape8.push_back((l == 5 ? 9.0 : 0.0) + v8[l] * f * 100.0 / 127.0);
    expect_band(spectrum + band_start(8), shape8, std::exp2(36 * 0.625 - 20));

    for (uint32_t c = 856; c < 1024; ++c) ASSERT_EQ(spectrum[c], 0.0f) << "above the last band";
}

TEST_F(CodecTest, GainStepsAreFiveEighthsOfAnOctaveAndWrapModulo256) {
    // Band 0 holds one coded value (density 1/8, no noise), so it decodes to
    // exactly A·8 times the value's sign, window after window.
    constexpr int WINDOWS = 5;
    WindowBytes w[WINDOWS];
    // Running gain 32, then 31 (255 is -1), 33, 27 (250 is -6), 37.
    const uint8_t deltas[WINDOWS] = {32, 255, 2, 250, 10};
    for (int j = 0; j < WINDOWS; ++j) {
        w[j].coded[3] = -5;
        w[j].gains[0] = deltas[j];
    }
    // Windows must be consecutive in the streams, as in a packed sample.
    std::vector<int8_t> coded;
    std::vector<uint8_t> gain_deltas;
    for (const WindowBytes& b : w) {
        coded.insert(coded.end(), b.coded, b.coded + 856);
        gain_deltas.insert(gain_deltas.end(), b.gains, b.gains + 20);
    }
    BandDecoderState state{};
    state.coded = coded.data();
    state.gain_deltas = gain_deltas.data();
    int running = 0;
    for (int j = 0; j < WINDOWS; ++j) {
        running = (running + deltas[j]) % 256;
        float spectrum[1024];
        decode_window_spectrum(state, 1, spectrum);
        EXPECT_EQ(state.gain[0], running);
        const double want = -8.0 * std::exp2(running * 0.625 - 20.0);
        EXPECT_NEAR(spectrum[3], want, 1e-6 * std::fabs(want)) << "window " << j;
        if (running == 32) {
            EXPECT_FLOAT_EQ(spectrum[3], -8.0f) << "gain 32 is unity";
        }
    }
}

TEST_F(CodecTest, SingleCoefficientDecodesToTheWindowedCosine) {
    struct Case {
        uint8_t type;
        uint32_t window;  // which short window holds the coefficient
        int band, offset;
    };
    for (const Case& cs : {Case{0, 0, 3, 2}, Case{1, 3, 8, 0}, Case{2, 0, 5, 7}}) {
        // Block 0 is empty (noise at gain 0, 2^-20); block 1 holds one coded
        // value at gain 48 (A = 1024) and nothing else.
        const uint32_t windows = cs.type == 1 ? 8 : 1;
        const uint32_t half = cs.type == 1 ? 128 : 1024;
        std::vector<uint8_t> packed = {1, 0, 0, cs.type};
        std::vector<uint8_t> coded(2 * 856, 0);
        std::vector<uint8_t> gains(20 + 20 * windows, 0);
        uint32_t c = 0;
        for (int k = 0; k < cs.band; ++k) c += BAND_WIDTHS[k] / windows;
        const uint32_t width = BAND_WIDTHS[cs.band] / windows;
        c += cs.offset;
        coded[856 + cs.window * 107 * (windows == 8) + c] = 100;
        gains[20 + 20 * cs.window + cs.band] = 48;
        if (cs.window + 1 < windows) gains[20 + 20 * (cs.window + 1) + cs.band] = 256 - 48;
        packed.insert(packed.end(), coded.begin(), coded.end());
        packed.insert(packed.end(), gains.begin(), gains.end());

        std::vector<float> out(4 * 1024, 0.0f);
        decode_sample(packed.data(), 4 * 1024, out.data());
        // Block 1's window w starts 1024 + offset + w·H, one hop earlier after the shift.
        const uint32_t start = (cs.type == 1 ? 448 + cs.window * half : 0);
        const double value = 1024.0 * width;
        const double peak = value * 2.0 / half;
        for (uint32_t t = 0; t < 4 * 1024; ++t) {
            double want = 0.0;
            if (t >= start && t < start + 2 * half) {
                const uint32_t m = t - start;
                const double x = m + 0.5;
                const double n = 2.0 * half;
                double window = std::sin(PI / 2 * std::pow(std::sin(PI * x / n), 2));
                if (cs.type == 2 && m >= 1024) {
                    window =
                        m < 1472 ? 1.0
                        : m < 1600
                            ? 1.0 - std::sin(PI / 2 * std::pow(std::sin(PI * (x - 1472) / 256), 2))
                            : 0.0;
                }
                want = window * value * 2.0 / half *
                       std::cos(PI / half * (m + 0.5 + half / 2.0) * (c + 0.5));
            }
            ASSERT_NEAR(out[t], want, 0.006 * peak) << "type " << int(cs.type) << " t " << t;
        }
    }
}

TEST_F(CodecTest, WindowsAreTheirClosedForms) {
    for (uint32_t a : {256u, 2048u}) {
        for (uint32_t m = 0; m < a; ++m) {
            const double x = m + 0.5;
            const double want = std::sin(PI / 2 * std::pow(std::sin(PI * x / a), 2));
            ASSERT_NEAR(sine_window(a, static_cast<float>(x)), want, 0.003) << a << " " << m;
            ASSERT_EQ(float_bits(block_window(m, a, a == 256 ? BLOCK_SHORT : BLOCK_LONG)),
                      float_bits(sine_window(a, static_cast<float>(x))));
        }
    }
}

TEST_F(CodecTest, TransitionWindowsJoinTheirNeighbours) {
    for (uint32_t m = 0; m < 2048; ++m) {
        const float long_w = block_window(m, 2048, BLOCK_LONG);
        const float to_short = block_window(m, 2048, BLOCK_LONG_TO_SHORT);
        const float to_long = block_window(m, 2048, BLOCK_SHORT_TO_LONG);
        // Long-to-short: the long rise, a flat top, then the complement of the
        // next short block's first rise, so the two add to one.
        if (m < 1024) {
            ASSERT_EQ(float_bits(to_short), float_bits(long_w));
        } else if (m < 1472) {
            ASSERT_EQ(to_short, 1.0f);
        } else if (m < 1600) {
            ASSERT_NEAR(to_short + block_window(m - 1472, 256, BLOCK_SHORT), 1.0, 1e-6) << m;
        } else {
            ASSERT_EQ(to_short, 0.0f);
        }
        // Short-to-long: silent, then the rise of a short window meeting the fall
        // of the previous block's last short window (power-complementary), flat,
        // then the long fall.
        if (m < 448) {
            ASSERT_EQ(to_long, 0.0f);
        } else if (m < 576) {
            const float fall = block_window(m - 448 + 128, 256, BLOCK_SHORT);
            ASSERT_NEAR(to_long * to_long + fall * fall, 1.0, 0.01) << m;
        } else if (m < 1024) {
            ASSERT_EQ(to_long, 1.0f);
        } else {
            ASSERT_EQ(float_bits(to_long), float_bits(long_w));
        }
        // Long windows overlap power-complementarily, hop by hop.
        if (m < 1024) {
            const float next = block_window(m + 1024, 2048, BLOCK_LONG);
            ASSERT_NEAR(long_w * long_w + next * next, 1.0, 0.01) << m;
        }
    }
}

}  // namespace
}  // namespace lf::test
