// Resonator-bank processing, feedback cascade and saturator, checked against
// the same signal graphs built from double-precision sections.
#include "engine/dsp/cascade.h"
#include "engine/dsp/saturation.h"

#include <cmath>
#include <ostream>
#include <vector>

#include "tests/filters/filters_test.h"

namespace lf::test {
namespace {

// A cookbook design with its coefficients rounded to float once, so that the
// engine and the model filter with the same numbers.
Section design(Design d, double f, double q) {
    return rounded_to_float(cookbook_at(d, f, q));
}

// Four sections, one per lane, as one engine record.
BiquadCoeffs lanes(const Section s[4]) {
    auto v = [&](double Section::*field) {
        return Vec4::set(static_cast<float>(s[0].*field), static_cast<float>(s[1].*field),
                         static_cast<float>(s[2].*field), static_cast<float>(s[3].*field));
    };
    return {v(&Section::b0), v(&Section::b1), v(&Section::b2), v(&Section::a1), v(&Section::a2)};
}

double input(int n, int channel) {
    return channel == 0 ? 0.6 * std::sin(0.05 * n) + 0.3 * std::sin(0.71 * n)
                        : 0.5 * std::sin(0.13 * n + 1.0) - 0.2 * std::sin(1.9 * n);
}

// ----------------------------------------------------------------------------
// Resonator bank

struct BankShape {
    uint32_t edge_stages, depth, band_count;
};

std::ostream& operator<<(std::ostream& os, const BankShape& b) {
    return os << "edges=" << b.edge_stages << " depth=" << b.depth << " bands=" << b.band_count;
}

class Bank : public EngineMode, public ::testing::WithParamInterface<BankShape> {};

TEST_P(Bank, MatchesEdgesPlusParallelBandsOnTheResidual) {
    const BankShape shape = GetParam();
    static ResonatorBank bank;
    bank = ResonatorBank{};
    bank.params.depth = shape.depth;
    bank.params.band_count = shape.band_count;
    bank.params.edge_stages = shape.edge_stages;
    const float gain[4] = {1.5f, 0.75f, -0.5f, 2.0f};
    bank.params.band_gain = Vec4::set(gain[0], gain[1], gain[2], gain[3]);

    const Section hp = design(Design::Highpass, 3000.0, 0.8),
                  lp = design(Design::Lowpass, 300.0, 0.6);
    const Section edge[4] = {hp, hp, lp, lp};
    bank.edge = lanes(edge);
    std::vector<Section> bands;
    for (uint32_t b = 0; b < shape.band_count; ++b) {
        bands.push_back(design(Design::Bandpass, 350.0 * std::pow(1.3, b), 3.0));
    }
    for (uint32_t m = 0; m < (shape.band_count + 1) / 2; ++m) {
        const Section zero{};
        const Section odd = 2 * m + 1 < shape.band_count ? bands[2 * m + 1] : zero;
        const Section slot[4] = {bands[2 * m], bands[2 * m], odd, odd};
        bank.band[m] = lanes(slot);
    }

    // The model: per channel, edge chains, the residual through each band's
    // chain, band b scaled by the gain of the lane pair it sits in.
    struct Channel {
        std::vector<SectionModel> hp, lp;
        std::vector<std::vector<SectionModel>> band;
    } ch[2];
    for (auto& c : ch) {
        c.hp.assign(shape.edge_stages, SectionModel{hp});
        c.lp.assign(shape.edge_stages, SectionModel{lp});
        for (const Section& s : bands) c.band.emplace_back(shape.depth, SectionModel{s});
    }

    double peak = 0.0;
    for (int n = 0; n < 2000; ++n) {
        Vec4 x = Vec4::set(static_cast<float>(input(n, 0)), static_cast<float>(input(n, 1)), 7.0f,
                           -7.0f);
        const float x0 = x.lane(0), x1 = x.lane(1);
        Vec4 y = biquad_bank_process(bank, x);
        // The caller's input now reads (x0, x1, x0, x1).
        ASSERT_EQ(x.lane(2), x0);
        ASSERT_EQ(x.lane(3), x1);
        for (int k = 0; k < 2; ++k) {
            Channel& c = ch[k];
            double in = k == 0 ? x0 : x1, high = in, low = in;
            for (SectionModel& s : c.hp) high = s.step(high);
            for (SectionModel& s : c.lp) low = s.step(low);
            double outside = high + low, residual = in - outside, acc = 0.0;
            for (uint32_t b = 0; b < bands.size(); ++b) {
                double v = residual;
                for (SectionModel& s : c.band[b]) v = s.step(v);
                acc += gain[(b % 2) * 2 + k] * v;
            }
            double expected = acc + outside;
            peak = std::max(peak, std::fabs(expected));
            ASSERT_NEAR(y.lane(k), expected, 2e-4) << "frame " << n << " channel " << k;
        }
    }
    EXPECT_GT(peak, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Bank,
                         ::testing::Values(BankShape{0, 1, 0}, BankShape{0, 2, 3},
                                           BankShape{1, 1, 4}, BankShape{2, 3, 7},
                                           BankShape{4, 2, 12}));

TEST_F(EngineMode, BankWithoutEdgesOrBandsDoublesTheInput) {
    static ResonatorBank bank;
    bank = ResonatorBank{};
    Vec4 x = Vec4::set(0.3f, -0.7f, 9.0f, 9.0f);
    Vec4 y = biquad_bank_process(bank, x);
    EXPECT_EQ(y.lane(0), 0.6f);
    EXPECT_EQ(y.lane(1), -1.4f);
    EXPECT_EQ(x.lane(2), 0.3f);
    EXPECT_EQ(x.lane(3), -0.7f);
    // Bands with zero gain add nothing: still the two (unfiltered) edge parts.
    bank.params.band_count = 5;
    bank.params.depth = 2;
    const Section s = design(Design::Bandpass, 1000.0, 2.0);
    const Section slot[4] = {s, s, s, s};
    for (int m = 0; m < 3; ++m) bank.band[m] = lanes(slot);
    for (int n = 0; n < 50; ++n) {
        x = Vec4::set(static_cast<float>(input(n, 0)), static_cast<float>(input(n, 1)), 0, 0);
        const float x0 = x.lane(0);
        ASSERT_EQ(biquad_bank_process(bank, x).lane(0), x0 + x0);
    }
}

// ----------------------------------------------------------------------------
// Feedback cascade

class Cascade : public EngineMode, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(Cascade, MatchesSectionsInAFeedbackLoop) {
    const uint32_t sections = GetParam();
    static FeedbackCascade fc;
    fc = FeedbackCascade{};
    const Section ap = design(Design::Allpass, 700.0, 0.7);
    const Section all[4] = {ap, ap, ap, ap};
    fc.coeffs = lanes(all);
    fc.sections = sections;
    fc.feedback = 0.45f;
    fc.gain = 0.8f;
    std::vector<SectionModel> model(sections, SectionModel{ap});
    double loop = 0.0;
    for (int n = 0; n < 3000; ++n) {
        float x = static_cast<float>(input(n, 0));
        Vec4 y = feedback_cascade_process(fc, Vec4(x));
        double u = x + 0.45 * loop;
        for (SectionModel& s : model) u = s.step(u);
        loop = u;
        ASSERT_NEAR(y.lane0(), 0.8 * loop, 2e-4 * (1 + sections / 8)) << "frame " << n;
        ASSERT_EQ(y.lane(3), y.lane0());
    }
}

INSTANTIATE_TEST_SUITE_P(Sections, Cascade, ::testing::Values(0u, 1u, 6u, 8u, 32u, 128u));

TEST_F(EngineMode, CascadeWithoutSectionsOrFeedbackIsAGain) {
    static FeedbackCascade fc;
    fc = FeedbackCascade{};
    fc.gain = 0.37f;
    for (int n = 0; n < 10; ++n) {
        float x = static_cast<float>(input(n, 1));
        ASSERT_EQ(feedback_cascade_process(fc, Vec4(x)).lane0(), 0.37f * x);
    }
}

// ----------------------------------------------------------------------------
// Saturator

double curve(double u) {
    return (u + std::sin(u)) / (u * u + 1.0);
}

TEST_F(EngineMode, SaturatorCurveWithoutCompensation) {
    Saturator sat{};
    Vec4 x(1.0f);
    Vec4 y = saturate_process(sat, x, Vec4(1.0f), Vec4(0.0f));
    // (1 + sin 1)/2 = 0.9207; fast_sin(1) is 0.0007 high, which gives 0.9211.
    EXPECT_NEAR(y.lane0(), 0.9207, 0.5e-3);
    EXPECT_EQ(x.lane0(), y.lane0());  // the input is rewritten with the result
    x = Vec4(0.0f);
    EXPECT_EQ(saturate_process(sat, x, Vec4(1.0f), Vec4(0.0f)).lane0(), 0.0f);
    // Per lane drive, over a dense range: within the sine's error (about 0.001).
    for (int i = -400; i <= 400; ++i) {
        float v = 0.01f * static_cast<float>(i);
        x = Vec4::set(v, v, v, v);
        y = saturate_process(sat, x, Vec4::set(1.0f, 0.5f, 2.0f, 3.0f), Vec4(0.0f));
        const double drive[4] = {1.0, 0.5, 2.0, 3.0};
        for (int k = 0; k < 4; ++k) {
            double u = static_cast<double>(v) * drive[k];
            ASSERT_NEAR(y.lane(k), curve(u), 1.1e-3 / (u * u + 1.0) + 1e-6) << v << " lane " << k;
        }
    }
}

TEST_F(EngineMode, SaturatorIsOddWithEqualFollowers) {
    Saturator a{}, b{};
    for (int n = 0; n < 2000; ++n) {
        float v = static_cast<float>(input(n, 0));
        Vec4 xa(v), xb(-v);
        float ya = saturate_process(a, xa, Vec4(2.5f), Vec4(0.7f)).lane0();
        float yb = saturate_process(b, xb, Vec4(2.5f), Vec4(0.7f)).lane0();
        // Rounding toward −∞ is not symmetric, so only nearly.
        ASSERT_NEAR(yb, -ya, 1e-5) << n;
    }
}

TEST_F(EngineMode, SaturatorWithFullCompensationKeepsTheInputLevel) {
    Saturator sat{};
    const float level[4] = {0.1f, 0.5f, 0.9f, 2.0f};
    double in_sum[4] = {}, out_sum[4] = {};
    for (int n = 0; n < 60000; ++n) {
        double s = std::sin(2.0 * PI * 441.0 * n / 44100.0);
        Vec4 x = Vec4::set(static_cast<float>(level[0] * s), static_cast<float>(level[1] * s),
                           static_cast<float>(level[2] * s), static_cast<float>(level[3] * s));
        Vec4 in = x;
        Vec4 y = saturate_process(sat, x, Vec4(3.0f), Vec4(1.0f));
        if (n >= 50000) {
            for (int k = 0; k < 4; ++k) {
                in_sum[k] += std::fabs(in.lane(k));
                out_sum[k] += std::fabs(y.lane(k));
            }
        }
    }
    // Mean magnitudes over the last 100 periods agree within a few percent
    // (the followers' ripple modulates the gain slightly).
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(out_sum[k] / in_sum[k], 1.0, 0.03) << "lane " << k;
}

}  // namespace
}  // namespace lf::test
