// The cookbook designs against their analytic responses, the clamps, the flat
// cases, the Linkwitz-Riley split and the three-band equaliser.
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "engine/dsp/biquad.h"
#include "engine/dsp/math.h"
#include "tests/filters/filters_test.h"

using namespace lf;
using namespace lf::test;

namespace {

const char* design_name(Design d) {
    static const char* names[] = {"Lowpass", "Highpass", "Bandpass", "BandpassQGain", "Notch",
                                  "Allpass", "Peaking",  "LowShelf", "HighShelf"};
    return names[static_cast<int>(d)];
}

BiquadCoeffs run_design(Design d, Vec4 f, Vec4 q, Vec4 a) {
    switch (d) {
        case Design::Lowpass:
            return design_lowpass(f, q);
        case Design::Highpass:
            return design_highpass(f, q);
        case Design::Bandpass:
            return design_bandpass(f, q);
        case Design::BandpassQGain:
            return design_bandpass_q_gain(f, q);
        case Design::Notch:
            return design_notch(f, q);
        case Design::Allpass:
            return design_allpass(f, q);
        case Design::Peaking:
            return design_peaking(f, q, a);
        case Design::LowShelf:
            return design_low_shelf(f, q, a);
        case Design::HighShelf:
            return design_high_shelf(f, q, a);
    }
    return {};
}

struct DesignCase {
    Design design;
    float f, q, a;
};
void PrintTo(const DesignCase& c, std::ostream* os) {
    *os << design_name(c.design) << " f=" << c.f << " q=" << c.q << " a=" << c.a;
}

class DesignResponse : public EngineMode, public ::testing::WithParamInterface<DesignCase> {};

// Against the cookbook evaluated in double precision over the same cosine and
// sine the design saw (fast_sin of w + π/2 and of w), the magnitude agrees to
// the rounding of the coefficients; against the exact cookbook, to within
// what the sine approximation itself moves: its 1.3 % slope error near zero
// narrows alpha at low frequencies, and notches shift a little off their centre.
TEST_P(DesignResponse, MatchesCookbook) {
    const DesignCase& dc = GetParam();
    // Four lanes, four centre frequencies: lane i of every coefficient is one filter.
    const float centres[4] = {dc.f, dc.f * 0.5f, dc.f * 2.0f, dc.f * 1.3f};
    const Vec4 f = Vec4::set(centres[0], centres[1], centres[2], centres[3]);
    BiquadCoeffs c = run_design(dc.design, f, Vec4(dc.q), Vec4(dc.a));
    Vec4 w = Vec4(float(2 * PI / RATE)) * f;
    Vec4 cos_w = fast_sin(w + Vec4(1.5707964f)), sin_w = fast_sin(w);
    for (int lane = 0; lane < 4; ++lane) {
        Section got = lane_of(c, lane);
        Section same_sine = cookbook(dc.design, dc.q, dc.a, cos_w.lane(lane), sin_w.lane(lane));
        Section exact = cookbook_at(dc.design, centres[lane], dc.q, dc.a);
        for (double probe : {30.0, 0.5 * centres[lane], 0.9 * centres[lane], 1.0 * centres[lane],
                             1.2 * centres[lane], 2.0 * centres[lane], 12000.0}) {
            double m = std::abs(response(got, probe));
            double m_same = std::abs(response(same_sine, probe));
            double m_exact = std::abs(response(exact, probe));
            // How far storing the reference's coefficients in single precision
            // moves its response: large near a notch zero or a pole close to z = 1.
            double sensitivity =
                std::abs(std::abs(response(rounded_to_float(same_sine), probe)) - m_same);
            double tol = 1e-4 * m_same + 1e-6 + 40 * sensitivity;
            EXPECT_NEAR(m, m_same, tol) << "lane " << lane << " at " << probe << " Hz";
            if (m_exact > 0.05) {
                EXPECT_NEAR(m, m_exact, 0.03 * m_exact)
                    << "lane " << lane << " at " << probe << " Hz";
            }
        }
    }
}

std::vector<DesignCase> design_cases() {
    std::vector<DesignCase> cases;
    for (Design d : {Design::Lowpass, Design::Highpass, Design::Bandpass, Design::BandpassQGain,
                     Design::Notch, Design::Allpass})
        for (float f : {250.0f, 3000.0f})
            for (float q : {0.70710677f, 4.0f}) cases.push_back({d, f, q, 1.0f});
    for (Design d : {Design::Peaking, Design::LowShelf, Design::HighShelf})
        for (float f : {250.0f, 3000.0f})
            for (float a : {0.5f, 2.5f}) cases.push_back({d, f, 0.9f, a});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllDesigns, DesignResponse, ::testing::ValuesIn(design_cases()),
                         [](const ::testing::TestParamInfo<DesignCase>& info) {
                             const DesignCase& c = info.param;
                             return std::string(design_name(c.design)) + "_" +
                                    std::to_string(int(c.f)) + "Hz_q" +
                                    std::to_string(int(c.q * 100)) + "_a" +
                                    std::to_string(int(c.a * 10));
                         });

using Filters = EngineMode;

// The pole-pair designs (except the all-pass) hold their cutoff inside
// [10, 20000] Hz; the all-pass, shelves and peaking take any frequency.
TEST_F(Filters, FrequencyClampOnlyWhereDesigned) {
    const Vec4 q(0.8f), a(1.7f);
    for (Design d : {Design::Lowpass, Design::Highpass, Design::Bandpass, Design::BandpassQGain,
                     Design::Notch}) {
        SCOPED_TRACE(design_name(d));
        EXPECT_TRUE(same_bits(run_design(d, Vec4(5.0f), q, a), run_design(d, Vec4(10.0f), q, a)));
        EXPECT_TRUE(same_bits(run_design(d, Vec4(0.0f), q, a), run_design(d, Vec4(10.0f), q, a)));
        EXPECT_TRUE(
            same_bits(run_design(d, Vec4(30000.0f), q, a), run_design(d, Vec4(20000.0f), q, a)));
        EXPECT_FALSE(same_bits(run_design(d, Vec4(10.5f), q, a), run_design(d, Vec4(10.0f), q, a)));
    }
    for (Design d : {Design::Allpass, Design::Peaking, Design::LowShelf, Design::HighShelf}) {
        SCOPED_TRACE(design_name(d));
        EXPECT_FALSE(same_bits(run_design(d, Vec4(5.0f), q, a), run_design(d, Vec4(10.0f), q, a)));
        EXPECT_FALSE(
            same_bits(run_design(d, Vec4(30000.0f), q, a), run_design(d, Vec4(20000.0f), q, a)));
    }
}

// Where the approximate cosine reaches 1, −2·c·k would put a pole on or past
// z = 1; a1 is held at −(1 + a2) instead. The cosine of w + π/2 reaches 1 only
// below about 1 Hz, which the all-pass takes unclamped; the other pole-pair
// designs must keep the bound across their whole lowest range as well.
TEST_F(Filters, PolePairA1Bound) {
    for (Design d : {Design::Lowpass, Design::Highpass, Design::Bandpass, Design::BandpassQGain,
                     Design::Notch, Design::Allpass}) {
        SCOPED_TRACE(design_name(d));
        int at_bound = 0;
        for (float f = 0.0f; f < 40.0f; f += 0.37f)
            for (float q : {0.1f, 0.70710677f, 3.0f, 30.0f}) {
                BiquadCoeffs c =
                    run_design(d, Vec4::set(f, f + 0.1f, f + 0.2f, f + 0.3f), Vec4(q), Vec4(1.0f));
                for (int lane = 0; lane < 4; ++lane) {
                    float a1 = c.a1.lane(lane), bound = -c.a2.lane(lane) - 1.0f;
                    ASSERT_GE(a1, bound) << "f " << f << " lane " << lane << " q " << q;
                    at_bound += a1 == bound;
                }
            }
        if (d == Design::Allpass) {
            EXPECT_GT(at_bound, 0) << "the sweep never reached the bound";
        }
    }
}

// Exact relations between coefficients that the designs must keep bit for bit.
TEST_F(Filters, CoefficientIdentities) {
    const Vec4 f = Vec4::set(37.0f, 440.0f, 2500.0f, 15000.0f);
    for (float q : {0.3f, 0.70710677f, 1.0f, 7.0f}) {
        BiquadCoeffs ap = design_allpass(f, Vec4(q));
        EXPECT_TRUE(same_bits(ap.b2, Vec4(1.0f)));
        EXPECT_TRUE(same_bits(ap.b0, ap.a2));
        EXPECT_TRUE(same_bits(ap.b1, ap.a1));

        BiquadCoeffs bp = design_bandpass(f, Vec4(q));
        EXPECT_TRUE(same_bits(bp.b1, Vec4::zero()));
        EXPECT_TRUE(same_bits(bp.b2, -bp.b0));  // −(k·alpha), the rounded product negated
        BiquadCoeffs bq = design_bandpass_q_gain(f, Vec4(q));
        EXPECT_TRUE(same_bits(bq.a1, bp.a1) && same_bits(bq.a2, bp.a2));
        EXPECT_TRUE(same_bits(bq.b2, Vec4(q) * bp.b2));

        BiquadCoeffs lp = design_lowpass(f, Vec4(q)), hp = design_highpass(f, Vec4(q));
        EXPECT_TRUE(same_bits(lp.b0, lp.b2) && same_bits(hp.b0, hp.b2));
        EXPECT_TRUE(same_bits(lp.b1, Vec4(2.0f) * lp.b0));
        EXPECT_TRUE(same_bits(hp.b1, Vec4(-2.0f) * hp.b0));
        EXPECT_TRUE(same_bits(lp.a1, hp.a1) && same_bits(lp.a2, hp.a2));

        BiquadCoeffs n = design_notch(f, Vec4(q));
        EXPECT_TRUE(same_bits(n.b0, n.b2));
        EXPECT_TRUE(same_bits(n.b1, n.a1));
    }
    EXPECT_TRUE(same_bits(design_bandpass_q_gain(f, Vec4(1.0f)), design_bandpass(f, Vec4(1.0f))));
}

// With A = 1 the peaking and shelf designs are the identity: b0 = 1 to
// rounding, b1 = a1 and b2 = a2 exactly.
TEST_F(Filters, UnityGainDesignsAreFlat) {
    const Vec4 f = Vec4::set(30.0f, 700.0f, 5000.0f, 16000.0f);
    for (float q : {0.5f, 0.70710677f, 4.0f})
        for (Design d : {Design::Peaking, Design::LowShelf, Design::HighShelf}) {
            SCOPED_TRACE(design_name(d));
            BiquadCoeffs c = run_design(d, f, Vec4(q), Vec4(1.0f));
            EXPECT_TRUE(same_bits(c.b1, c.a1));
            EXPECT_TRUE(same_bits(c.b2, c.a2));
            for (int lane = 0; lane < 4; ++lane) EXPECT_NEAR(c.b0.lane(lane), 1.0f, 3e-7f);
        }
}

// The Linkwitz-Riley pair. crossover_process must run each Butterworth section
// twice with its own memories: its impulse response has the square of the
// designed section's response. The two halves are −6 dB at the crossover and
// fall by 24 dB per octave beyond it, and their sum is an all-pass, flat to
// within what the approximate sine's 1.3 % error near zero leaves of the
// Butterworth identity s² + c² = 1.
TEST_F(Filters, CrossoverSumIsFlatAndSlopesAre24dB) {
    auto db = [](std::complex<double> h) { return 20 * std::log10(std::abs(h)); };
    for (float fc : {250.0f, 1000.0f, 4000.0f}) {
        SCOPED_TRACE(fc);
        CrossoverSplit split{};
        design_crossover(split, Vec4(fc));
        EXPECT_TRUE(same_bits(split.low, design_lowpass(Vec4(fc), Vec4(0.70710677f))));
        EXPECT_TRUE(same_bits(split.high, design_highpass(Vec4(fc), Vec4(0.70710677f))));
        Section lp = lane_of(split.low, 0), hp = lane_of(split.high, 0);
        auto low = [&](double f) { return response(lp, f) * response(lp, f); };
        auto high = [&](double f) { return response(hp, f) * response(hp, f); };

        std::vector<double> ir_low, ir_high;
        for (int n = 0; n < 8192; ++n) {
            CrossoverOutput o = crossover_process(split, Vec4(n == 0 ? 1.0f : 0.0f));
            ir_low.push_back(o.low.lane0());
            ir_high.push_back(o.high.lane0());
        }
        for (double f : {20.0, 100.0, 0.7 * fc, double(fc), 1.5 * fc, 5000.0, 15000.0}) {
            // Rounding toward −∞ biases every step's error one way, which adds
            // a little low-frequency noise to the impulse response.
            EXPECT_NEAR(std::abs(dtft(ir_low, f)), std::abs(low(f)), 5e-4) << f << " Hz";
            EXPECT_NEAR(std::abs(dtft(ir_high, f)), std::abs(high(f)), 5e-4) << f << " Hz";
            EXPECT_NEAR(std::abs(low(f) + high(f)), 1.0, 0.025) << f << " Hz";
        }
        EXPECT_NEAR(std::abs(low(fc)), 0.5, 0.015);
        EXPECT_NEAR(std::abs(high(fc)), 0.5, 0.015);
        // Octave pairs 48 to 72 dB down, below the frequencies where the
        // bilinear map steepens the low-pass towards Nyquist.
        if (fc * 8 < 5000) {
            EXPECT_NEAR(db(low(4 * fc)) - db(low(8 * fc)), 24.0, 1.0);
        }
        EXPECT_NEAR(db(high(fc / 4)) - db(high(fc / 8)), 24.0, 1.0);
    }
}

// The three-band equaliser is the first split's low band, the second split's
// low band of the first high band and that split's high band, each with its gain.
struct EqCase {
    float low, mid, high;
};
void PrintTo(const EqCase& c, std::ostream* os) {
    *os << "low=" << c.low << " mid=" << c.mid << " high=" << c.high;
}

class ThreeBandGains : public EngineMode, public ::testing::WithParamInterface<EqCase> {};

TEST_P(ThreeBandGains, ResponseIsTheGainWeightedBands) {
    const EqCase& g = GetParam();
    const float lower = 300.0f, upper = 3200.0f;
    ThreeBandEq eq{};
    three_band_eq_init(eq, {lower, upper, g.low, g.mid, g.high});
    CrossoverSplit first{}, second{};
    design_crossover(first, Vec4(lower));
    design_crossover(second, Vec4(upper));

    std::vector<double> impulse;
    for (int n = 0; n < 16384; ++n)
        impulse.push_back(three_band_eq_process(eq, Vec4(n == 0 ? 1.0f : 0.0f)).lane(2));
    Section l1 = lane_of(first.low, 0), h1 = lane_of(first.high, 0);
    Section l2 = lane_of(second.low, 0), h2 = lane_of(second.high, 0);
    for (double f : {25.0, 150.0, 300.0, 980.0, 3200.0, 7000.0, 16000.0}) {
        auto sq = [f](const Section& s) { return response(s, f) * response(s, f); };
        std::complex<double> expected = double(g.low) * sq(l1) + double(g.mid) * sq(h1) * sq(l2) +
                                        double(g.high) * sq(h1) * sq(h2);
        EXPECT_NEAR(std::abs(dtft(impulse, f)), std::abs(expected), 1e-3 * (1 + std::abs(expected)))
            << f << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Gains, ThreeBandGains,
                         ::testing::Values(EqCase{1, 1, 1}, EqCase{1, 0, 0}, EqCase{0, 1, 1},
                                           EqCase{0, 1, 0}, EqCase{2.5f, 0.5f, 1.25f},
                                           EqCase{0.1f, 1, 3}));

// Gains (1, 0, 0) give exactly the first split's low output; gains (0, 1, 1)
// exactly the second split's two outputs of the first split's high output.
TEST_F(Filters, ThreeBandEqSelectsBands) {
    ThreeBandEq only_low{}, no_low{};
    three_band_eq_init(only_low, {180.0f, 2500.0f, 1.0f, 0.0f, 0.0f});
    three_band_eq_init(no_low, {180.0f, 2500.0f, 0.0f, 1.0f, 1.0f});
    CrossoverSplit a{}, b1{}, b2{};
    design_crossover(a, Vec4(180.0f));
    design_crossover(b1, Vec4(180.0f));
    design_crossover(b2, Vec4(2500.0f));
    uint32_t seed = 12345;
    for (int n = 0; n < 4000; ++n) {
        const float v = lcg_noise(seed);
        Vec4 x = Vec4::set(v, -v, 0.5f * v, 1.0f);
        Vec4 y_low = three_band_eq_process(only_low, x);
        Vec4 y_rest = three_band_eq_process(no_low, x);
        CrossoverOutput ra = crossover_process(a, x);
        CrossoverOutput rb = crossover_process(b2, crossover_process(b1, x).high);
        for (int lane = 0; lane < 4; ++lane) {
            ASSERT_EQ(y_low.lane(lane), ra.low.lane(lane));
            ASSERT_EQ(y_rest.lane(lane), (rb.low + rb.high).lane(lane));
        }
    }
}

}  // namespace
