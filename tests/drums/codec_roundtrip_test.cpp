// The encoder against the engine's own decoder: transforms, round trips of
// simple signals, noise filling, gain coding and the checked-in samples.
#include <gtest/gtest.h>
#include <ostream>

#include <cmath>
#include <numeric>

#include "engine/dsp/vec4.h"
#include "engine/startup/codec.h"
#include "tests/drums/unoptimised_encoder.h"
#include "tools/codec/encoder.h"
#include "tools/codec/lapped.h"
#include "tools/codec/report.h"
#include "tools/drums/kit.h"
#include "tools/drums/wav.h"

namespace {

constexpr double PI = 3.14159265358979323846;

std::vector<uint8_t> repeat(std::initializer_list<std::pair<uint8_t, int>> runs) {
    std::vector<uint8_t> types;
    for (auto [type, count] : runs) types.insert(types.end(), count, type);
    return types;
}

double energy(const std::vector<float>& x, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i) e += static_cast<double>(x[i]) * x[i];
    return e;
}

double db(double ratio) {
    return 10.0 * std::log10(ratio);
}

// The coefficients of one window of a decoded signal, by the exact forward transform.
std::vector<double> window_coeffs(const std::vector<float>& signal,
                                  const std::vector<uint8_t>& types, size_t window) {
    std::vector<codec::Window> plan = codec::plan_windows(types);
    std::vector<double> x(signal.begin(), signal.end()), c;
    codec::forward(plan[window], x, c);
    return c;
}

// --- The lapped transform --------------------------------------------------

TEST(LappedTransform, Dct4MatchesTheDirectSum) {
    for (size_t n : {4u, 16u, 128u}) {
        std::vector<double> v(n), fast;
        for (size_t i = 0; i < n; ++i) v[i] = std::sin(1.3 * i + 0.2) + 0.1 * i;
        codec::dct4(v, fast);
        for (size_t k = 0; k < n; ++k) {
            double direct = 0;
            for (size_t i = 0; i < n; ++i)
                direct += v[i] * std::cos(PI / n * (i + 0.5) * (k + 0.5));
            EXPECT_NEAR(fast[k], direct, 1e-9) << "n " << n << " k " << k;
        }
    }
}

// Forward transform, then an exact inverse with the decoder's windows: the
// signal comes back wherever two windows overlap, also across the
// long-to-short edge whose window is not power-complementary.
TEST(LappedTransform, ReconstructsEveryLayoutExactly) {
    for (int sample = 1; sample <= 7; ++sample) {
        std::vector<uint8_t> types = codec::sample_block_types(sample);
        std::vector<codec::Window> plan = codec::plan_windows(types);
        std::vector<double> x((types.size() - 1) * 1024), y(x.size(), 0.0);
        uint32_t r = 7;
        for (double& v : x) v = static_cast<int32_t>(r = r * 1664525u + 1013904223u) / 2147483648.0;
        std::vector<std::vector<double>> spectra(plan.size());
        for (size_t w = 0; w < plan.size(); ++w) codec::forward(plan[w], x, spectra[w]);
        codec::synthesize_ideal(plan, spectra, y);
        double worst = 0;
        for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs(y[i] - x[i]));
        EXPECT_LT(worst, 1e-9) << "sample " << sample;
    }
}

// --- Round trips through the engine's decoder -------------------------------

struct ToneCase {
    double hz;
    uint8_t type;  // every block of this type (long or short)
};
void PrintTo(const ToneCase& c, std::ostream* os) {
    *os << c.hz << " Hz, block type " << int(c.type);
}

class ToneRoundTrip : public ::testing::TestWithParam<ToneCase> {};

// A steady tone keeps its energy (within the gain quantiser's 1.88 dB) and
// its pitch (a Hann-windowed probe at the tone beats probes a major third away).
TEST_P(ToneRoundTrip, KeepsEnergyAndPitch) {
    ToneCase c = GetParam();
    std::vector<uint8_t> types(10, c.type);
    std::vector<float> x(9 * 1024, 0.0f);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(0.5 * std::sin(2 * PI * c.hz * i / 44100.0));
    std::vector<float> y = codec::decode_with_engine(codec::encode(x, types));
    ASSERT_EQ(y.size(), 12u * 1024);
    EXPECT_NEAR(db(energy(y, 2048, 7168) / energy(x, 2048, 7168)), 0.0, 2.0);
    auto probe = [&](double hz) {
        double re = 0, im = 0;
        for (size_t i = 2048; i < 7168; ++i) {
            double v = y[i] * (0.5 - 0.5 * std::cos(2 * PI * (i - 2048) / 5120.0));
            re += v * std::cos(2 * PI * hz * i / 44100.0);
            im += v * std::sin(2 * PI * hz * i / 44100.0);
        }
        return re * re + im * im;
    };
    double at = probe(c.hz);
    EXPECT_GT(at, 100 * probe(c.hz * 1.26));
    EXPECT_GT(at, 100 * probe(c.hz / 1.26));
}

INSTANTIATE_TEST_SUITE_P(Tones, ToneRoundTrip,
                         ::testing::Values(ToneCase{110, 0}, ToneCase{1000, 0}, ToneCase{6000, 0},
                                           ToneCase{15000, 0}, ToneCase{1000, 1},
                                           ToneCase{6000, 1}));

class ClickRoundTrip : public ::testing::TestWithParam<int> {};

// A click in the short blocks stays where it was, keeps its energy and
// leaves the silence before it (beyond the short window it shares) quiet.
TEST_P(ClickRoundTrip, KeepsEnergyAndPositionWithoutPreEcho) {
    int at = GetParam();
    std::vector<uint8_t> types = repeat({{1, 3}, {3, 1}, {0, 3}});
    std::vector<float> x(6 * 1024, 0.0f);
    x[at] = 0.8f;
    x[at + 1] = -0.4f;
    std::vector<float> y = codec::decode_with_engine(codec::encode(x, types));
    size_t peak = 0;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(y[i]) > std::fabs(y[peak])) peak = i;
    EXPECT_NEAR(static_cast<double>(peak), at, 1.0);
    EXPECT_NEAR(db(energy(y, 0, x.size()) / energy(x, 0, x.size())), 0.0, 2.0);
    double before = 0;
    for (int i = 0; i < at - 256; ++i)
        before = std::max(before, static_cast<double>(std::fabs(y[i])));
    EXPECT_LT(20 * std::log10(before / std::fabs(y[peak]) + 1e-30), -30.0);
}

INSTANTIATE_TEST_SUITE_P(Positions, ClickRoundTrip, ::testing::Values(300, 700, 1100, 1500));

// --- Noise filling ---------------------------------------------------------

// A hand-made packed sample: B blocks of the given types, every byte zero.
struct Packed {
    std::vector<uint8_t> types, bytes;
    explicit Packed(std::vector<uint8_t> t)
        : types(std::move(t)), bytes(codec::packed_size(types), 0) {
        bytes[0] = static_cast<uint8_t>(types.size() - 1);
        std::copy(types.begin(), types.end(), bytes.begin() + 2);
    }
    // Byte offsets of band k of the window-th window in stream order.
    size_t coef(size_t window, int band) const {
        size_t at = 2 + types.size(), w = 0;
        for (uint8_t t : types) {
            int count = t == 1 ? 8 : 1;
            for (int j = 0; j < count; ++j, ++w) {
                int p = 0;
                for (int k = 0; k < band; ++k) p += lf::BAND_WIDTHS[k] / count;
                if (w == window) return at + p;
                at += 856 / count;
            }
        }
        return 0;
    }
    size_t gain(size_t window, int band) const {
        return 2 + types.size() + 856 * types.size() + 20 * window + band;
    }
};

// The decoder's noise for a band of w values, `skip` draws into the sample.
std::vector<double> predicted_noise(size_t skip, int w) {
    uint32_t seed = 0;
    for (size_t i = 0; i < skip; ++i) seed = codec::noise_advance(seed);
    std::vector<double> v(w);
    for (int l = 0; l < w; ++l, seed = codec::noise_advance(seed)) v[l] = codec::noise_value(seed);
    return v;
}

double correlation(const double* a, const std::vector<double>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

struct NoiseCase {
    int band;
    int gain;
};
void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << "band " << c.band << ", gain " << c.gain;
}

class NoiseBand : public ::testing::TestWithParam<NoiseCase> {};

// A band coded all zero decodes to the seeded noise, scaled to energy
// (A w)^2 with A = 2^(0.625 g - 20): the encoder's model of the decoder. (The
// decoder's approximate sine lets about -30 dB of the top band leak out.)
TEST_P(NoiseBand, DecodesToTheSeededNoiseAtTheCodedGain) {
    NoiseCase c = GetParam();
    Packed p(std::vector<uint8_t>(5, 0));
    p.bytes[p.gain(0, c.band)] = static_cast<uint8_t>(c.gain);  // then held by zero deltas
    std::vector<float> y = codec::decode_with_engine(p.bytes);
    std::vector<double> coeffs = window_coeffs(y, p.types, 2);
    int offset = 0;
    for (int k = 0; k < c.band; ++k) offset += lf::BAND_WIDTHS[k];
    int w = lf::BAND_WIDTHS[c.band];
    double e = 0, rest = 0;
    for (int i = 0; i < 1024; ++i)
        (i >= offset && i < offset + w ? e : rest) += coeffs[i] * coeffs[i];
    double a = std::exp2(0.625 * c.gain - 20.0);
    EXPECT_NEAR(db(e / (a * w * a * w)), 0.0, 0.1);
    EXPECT_LT(db(rest / e), -25.0);
    // Every band of every window before is all zero, so each drew its width.
    EXPECT_GT(correlation(coeffs.data() + offset, predicted_noise(2 * 856 + offset, w)), 0.995);
}

INSTANTIATE_TEST_SUITE_P(Bands, NoiseBand,
                         ::testing::Values(NoiseCase{0, 32}, NoiseCase{7, 40}, NoiseCase{12, 50},
                                           NoiseCase{19, 45}));

// One coded value in ten is exactly density 0.1; rounded toward minus
// infinity it is below 0.1f, so the decoder fills the band and the seed moves
// on by its width. The band after it shows where the seed stood.
TEST(NoiseBand, ExactTenthIsFilledAndAdvancesTheSeed) {
    ASSERT_TRUE(codec::noise_filled(1, 10));
    ASSERT_FALSE(codec::noise_filled(2, 10));
    Packed p(std::vector<uint8_t>(3, 1));
    size_t window = 9;                  // the second window of block 1
    p.bytes[p.coef(window, 16)] = 100;  // band 16: 10 values, one coded
    p.bytes[p.gain(window, 16)] = 40;
    p.bytes[p.gain(window, 17)] = 40;  // band 17: 15 values, all noise
    std::vector<float> y = codec::decode_with_engine(p.bytes);
    std::vector<double> coeffs = window_coeffs(y, p.types, window);
    int offset = 0;
    for (int k = 0; k < 17; ++k) offset += lf::BAND_WIDTHS[k] / 8;
    size_t drawn_before = window * 107 + offset;  // every earlier band drew its width
    EXPECT_GT(correlation(coeffs.data() + offset, predicted_noise(drawn_before, 15)), 0.999);
    EXPECT_LT(
        std::fabs(correlation(coeffs.data() + offset, predicted_noise(drawn_before - 10, 15))),
        0.9);
}

// --- Gain coding --------------------------------------------------------------

// Loud, silent, loud: the gains fall and rise by deltas taken modulo 256.
// The running sums of the bytes must follow the gain index of each band's
// energy measured afresh (exactly in the loud bands; the refinement after
// decoding may move a quiet band by one step), and the decoder must restore
// those energies.
TEST(GainCoding, DeltasWrapBothWays) {
    std::vector<uint8_t> types(12, 0);
    std::vector<float> x(11 * 1024, 0.0f);
    for (size_t i = 0; i < x.size(); ++i) {
        bool loud = i < 3 * 1024 || i >= 7 * 1024;
        x[i] = loud ? static_cast<float>(0.7 * std::sin(2 * PI * 440.0 * i / 44100.0)) : 0.0f;
    }
    std::vector<uint8_t> packed = codec::encode(x, types);
    std::vector<codec::Window> plan = codec::plan_windows(types);
    std::vector<double> xd(x.begin(), x.end()), c;
    uint8_t running[20] = {};
    bool rose = false, fell = false;
    for (size_t w = 0; w < plan.size(); ++w) {
        codec::forward(plan[w], xd, c);
        double e[20] = {}, top = 0;
        for (int k = 0, p = 0; k < 20; p += lf::BAND_WIDTHS[k], ++k) {
            for (int l = 0; l < lf::BAND_WIDTHS[k]; ++l) e[k] += c[p + l] * c[p + l];
            top = std::max(top, e[k]);
        }
        for (int k = 0; k < 20; ++k) {
            uint8_t delta = packed[codec::packed_size(types) - 20 * (plan.size() - w) + k];
            rose = rose || (delta != 0 && delta < 128);
            fell = fell || delta >= 128;
            running[k] = static_cast<uint8_t>(running[k] + delta);
            int expected = codec::gain_index(std::sqrt(e[k]) / lf::BAND_WIDTHS[k]);
            if (e[k] > 1e-3 * top) {
                EXPECT_EQ(running[k], expected) << "window " << w << " band " << k;
            } else {
                EXPECT_NEAR(running[k], expected, 1) << "window " << w << " band " << k;
            }
        }
    }
    EXPECT_TRUE(rose);
    EXPECT_TRUE(fell);
    std::vector<float> y = codec::decode_with_engine(packed);
    for (size_t at : {1024u, 8 * 1024u})
        EXPECT_NEAR(db(energy(y, at, at + 1024) / energy(x, at, at + 1024)), 0.0, 2.0);
    EXPECT_LT(energy(y, 4 * 1024 + 512, 5 * 1024), 1e-6 * energy(x, 1024, 1536));
}

// The last window's second half has no partner to cancel its aliasing: a
// signal reaching past its middle cannot be carried and is refused.
TEST(Encoder, RefusesASignalLongerThanItsBlocksCarry) {
    EXPECT_EQ(codec::carried_length(repeat({{0, 4}})), 3u * 1024);
    EXPECT_EQ(codec::carried_length(repeat({{0, 3}, {2, 1}, {1, 1}})), 3u * 1024 + 1472);
    for (int sample = 1; sample <= 7; ++sample) {
        std::vector<uint8_t> types = codec::sample_block_types(sample);
        size_t n = codec::carried_length(types);
        EXPECT_NO_THROW(codec::encode(std::vector<float>(n, 0.0f), types));
        EXPECT_THROW(codec::encode(std::vector<float>(n + 1, 0.0f), types), std::invalid_argument);
    }
}

TEST(GainCoding, IndexRoundsInOctavesAndClamps) {
    for (int g = 0; g <= codec::MAX_GAIN; ++g) {
        double a = std::exp2(0.625 * g - 20.0);
        EXPECT_EQ(codec::gain_index(a), g);
        EXPECT_EQ(codec::gain_index(a * std::exp2(0.3)), g);   // just under half a step up
        EXPECT_EQ(codec::gain_index(a * std::exp2(-0.3)), g);  // and down
    }
    EXPECT_EQ(codec::gain_index(0.0), 0);
    EXPECT_EQ(codec::gain_index(1e-30), 0);
    EXPECT_EQ(codec::gain_index(1e60), codec::MAX_GAIN);
}

// --- The checked-in samples -------------------------------------------------------

// Block types and sizes as the voices and the decoder's storage expect them,
// written out independently of the engine's layout table.
struct Layout {
    int sample;
    size_t bytes;
    std::vector<uint8_t> types;
};

std::vector<Layout> expected_layouts() {
    return {
        {1, 15191, repeat({{1, 2}, {3, 1}, {0, 14}})},
        {2, 26592, repeat({{1, 1}, {3, 1}, {0, 26}, {2, 1}, {1, 1}})},
        {3, 52931, repeat({{1, 1}, {3, 1}, {0, 34}, {2, 1}, {1, 20}})},
        {4, 49991, repeat({{0, 57}})},
        {5, 90473, repeat({{1, 1}, {3, 1}, {0, 101}})},
        {6, 57485, repeat({{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}})},
        {7, 57485, repeat({{1, 2}, {3, 1}, {0, 16}, {2, 1}, {1, 39}})},
    };
}

std::string content(const std::string& rel) {
    return std::string(LUMENFROST_SOURCE_DIR) + "/content/" + rel;
}

TEST(CheckedInSamples, HaveTheTableBlockTypesAndSizes) {
    for (const Layout& l : expected_layouts()) {
        std::vector<uint8_t> b =
            drums::read_file(content("samples/sample" + std::to_string(l.sample) + ".bin"));
        ASSERT_EQ(b.size(), l.bytes) << "sample " << l.sample;
        EXPECT_EQ(static_cast<size_t>(b[0] | (b[1] << 8)) + 1, l.types.size());
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 2, b.begin() + 2 + l.types.size()), l.types);
        EXPECT_EQ(codec::sample_block_types(l.sample), l.types);
        EXPECT_EQ(codec::packed_size(l.types), l.bytes);
    }
}

// The packed files are the recording of the track: synthesis and encoding
// from the recipes must give them back byte for byte, so that a drift of the
// tools is caught instead of silently changing the music.
TEST(CheckedInSamples, AreReproducedByteForByteFromTheRecipes) {
    // The encoder listens through the engine's decoder; the portable build
    // decodes without flush-to-zero, so only the SIMD build reproduces the files.
    if (!LUMENFROST_X86) GTEST_SKIP() << "the recording of record is made by the SIMD build";
    std::vector<drums::Recording> kit = drums::render_kit(content("drums"));
    ASSERT_EQ(kit.size(), 7u);
    for (const drums::Recording& rec : kit) {
        std::vector<uint8_t> fresh =
            codec::encode(rec.frames, codec::sample_block_types(rec.sample));
        std::vector<uint8_t> stored =
            drums::read_file(content("samples/sample" + std::to_string(rec.sample) + ".bin"));
        EXPECT_TRUE(fresh == stored)
            << "sample " << rec.sample << " differs: run the drum_samples target and listen";
    }
}

// The coded bytes are the encoder's arithmetic, not the optimiser's: with
// products fused into multiply-adds in one build and not in another, the
// coefficients move by an ulp, and wherever two codings of a band are equally
// good that ulp picks one. The library's encoder and a copy built without
// optimisation must agree byte for byte on every recording of the kit.
TEST(CheckedInSamples, EncodeTheSameOptimisedOrNot) {
    std::vector<drums::Recording> kit = drums::render_kit(content("drums"));
    ASSERT_EQ(kit.size(), 7u);
    for (const drums::Recording& rec : kit) {
        std::vector<uint8_t> types = codec::sample_block_types(rec.sample);
        EXPECT_TRUE(codec::encode(rec.frames, types) == unoptimised::encode(rec.frames, types))
            << "sample " << rec.sample;
    }
}

// What the track hears: each decoded sample stays close to its recording in
// band energy wherever a band is within 30 dB of its window's loudest.
TEST(CheckedInSamples, DecodeCloseToTheirRecordings) {
    std::vector<drums::Recording> kit = drums::render_kit(content("drums"));
    for (const drums::Recording& rec : kit) {
        std::vector<uint8_t> types = codec::sample_block_types(rec.sample);
        std::vector<float> y = codec::decode_with_engine(
            drums::read_file(content("samples/sample" + std::to_string(rec.sample) + ".bin")));
        codec::Figures f = codec::measure(rec.frames, y, types);
        EXPECT_GT(f.snr_db, 12.0) << "sample " << rec.sample;
        EXPECT_LE(f.band_error_max_db, 2.0) << "sample " << rec.sample;
        if (f.onsets > 0) {
            EXPECT_LT(f.pre_echo_db, -30.0) << "sample " << rec.sample;
        }
    }
}

}  // namespace
