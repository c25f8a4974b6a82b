// Resonator bank tuning: band frequencies against the equal-tempered major
// scale, each band's response in double precision (peak at its frequency,
// width from its Q), the skipped band above 22050 Hz, and the edge filters.
#include <cmath>
#include <complex>

#include "engine/startup/resonator_bank.h"
#include "tests/startup/startup_test.h"

namespace lf::test {
namespace {

constexpr double PI = 3.14159265358979323846;

const ResonatorBankParams BANK_A = {6, 1.304f, 1, 20, 35, 0.0f, Vec4(1.7f), 0.70710677f, 6};
const ResonatorBankParams BANK_B = {6, 1.05f, 2, 14, 24, 0.0f, Vec4(3.496f), 0.70710677f, 6};

// Semitones of the major scale in the order of its degrees (seventh before sixth).
constexpr int DEGREE_SEMITONES[7] = {0, 2, 4, 5, 7, 11, 9};

double scale_hz(const ResonatorBankParams& p, uint32_t band) {
    const uint32_t step = p.first_step + band;
    const int semitones =
        p.transpose + 12 * static_cast<int>(step / 7) + DEGREE_SEMITONES[step % 7];
    return 65.406395 * std::exp2(semitones / 12.0);
}

// |H(e^jw)| of lane `lane` of a section at f Hz.
double magnitude(const BiquadCoeffs& c, int lane, double f) {
    const std::complex<double> z1 = std::polar(1.0, -2 * PI * f / 44100), z2 = z1 * z1;
    const std::complex<double> num =
        double(c.b0.lane(lane)) + double(c.b1.lane(lane)) * z1 + double(c.b2.lane(lane)) * z2;
    const std::complex<double> den =
        1.0 + double(c.a1.lane(lane)) * z1 + double(c.a2.lane(lane)) * z2;
    return std::abs(num / den);
}

// Lanes first_lane and first_lane + 1 of every coefficient, bit for bit.
bool lanes_equal(const BiquadCoeffs& a, const BiquadCoeffs& b, int first_lane) {
    for (auto field : {&BiquadCoeffs::b0, &BiquadCoeffs::b1, &BiquadCoeffs::b2, &BiquadCoeffs::a1,
                       &BiquadCoeffs::a2}) {
        for (int l = first_lane; l < first_lane + 2; ++l) {
            if (float_bits((a.*field).lane(l)) != float_bits((b.*field).lane(l))) return false;
        }
    }
    return true;
}

bool lanes_zero(const BiquadCoeffs& c, int first_lane) {
    const Vec4 z = Vec4::zero();
    return lanes_equal(c, BiquadCoeffs{z, z, z, z, z}, first_lane);
}

// A bank built afresh (static: it is too large for the stack).
const ResonatorBank& built(const ResonatorBankParams& p) {
    static ResonatorBank bank;
    bank = ResonatorBank{};
    build_resonator_bank(bank, p);
    return bank;
}

class ResonatorBankTest : public StartupTest {};

TEST_F(ResonatorBankTest, BandsFollowTheTransposedMajorScale) {
    for (const ResonatorBankParams* p : {&BANK_A, &BANK_B}) {
        for (uint32_t k = 0; k < p->band_count; ++k) {
            const double want = scale_hz(*p, k);
            ASSERT_NEAR(resonator_band_hz(*p, k).lane0(), want, 1e-5 * want) << k;
        }
    }
    EXPECT_NEAR(resonator_band_hz(BANK_A, 0).lane0(), 622.3, 0.05);
    EXPECT_NEAR(resonator_band_hz(BANK_A, 33).lane0(), 17739.7, 0.1);
    EXPECT_NEAR(resonator_band_hz(BANK_A, 34).lane0(), 22350.6, 0.1);
    EXPECT_NEAR(resonator_band_hz(BANK_B, 0).lane0(), 370.0, 0.05);
    EXPECT_NEAR(resonator_band_hz(BANK_B, 23).lane0(), 3729.3, 0.1);
}

TEST_F(ResonatorBankTest, EachBandPeaksAtItsNoteWithItsWidth) {
    for (const ResonatorBankParams* p : {&BANK_A, &BANK_B}) {
        const ResonatorBank& bank = built(*p);
        for (uint32_t k = 0; k < p->band_count; ++k) {
            const double f = scale_hz(*p, k);
            if (f >= 22050) continue;
            const BiquadCoeffs& slot = bank.band[k / 2];
            const int lane = (k & 1) ? 2 : 0;
            // Q = 1 / sinh(g ln 2), g = (bandwidth/24)·w / sin w.
            const double w = 2 * PI * f / 44100;
            const double g = p->bandwidth / 24.0 * w / std::sin(w);
            const double q = 1 / std::sinh(g * std::log(2.0));
            for (int l : {lane, lane + 1}) {
                // Scan an octave around f for the peak and the half-power points.
                double peak_hz = 0, peak = 0, low_hz = 0, high_hz = 0;
                for (int i = -4000; i <= 4000; ++i) {
                    const double x = f * std::exp2(i / 8000.0);
                    const double m = magnitude(slot, l, x);
                    if (m > peak) peak = m, peak_hz = x;
                }
                for (int i = -4000; i <= 4000; ++i) {
                    const double x = f * std::exp2(i / 8000.0);
                    if (magnitude(slot, l, x) >= peak * std::sqrt(0.5)) {
                        if (low_hz == 0) low_hz = x;
                        high_hz = x;
                    }
                }
                EXPECT_NEAR(peak, 1.0, 0.01) << "band " << k << " lane " << l;
                EXPECT_NEAR(peak_hz / f, 1.0, 0.01) << "band " << k << " lane " << l;
                // The cookbook's band-pass spans BW octaves between its half-power
                // points, 1/Q = 2 sinh((ln 2 / 2)·BW·w / sin w): here about
                // bandwidth/24 octaves.
                const double octaves =
                    2 / std::log(2.0) * std::asinh(1 / (2 * q)) * std::sin(w) / w;
                EXPECT_NEAR(std::log2(high_hz / low_hz) / octaves, 1.0, 0.05)
                    << "band " << k << " lane " << l;
            }
        }
    }
}

TEST_F(ResonatorBankTest, BandsAboveHalfTheRateStaySilentButSetTheUpperEdge) {
    const ResonatorBank& bank = built(BANK_A);
    // The 35th band (22350.6 Hz) would sit in slot 17, lanes 0 and 1; there is
    // no 36th band for lanes 2 and 3.
    EXPECT_TRUE(lanes_zero(bank.band[17], 0));
    EXPECT_TRUE(lanes_zero(bank.band[17], 2));
    EXPECT_FALSE(lanes_zero(bank.band[16], 2));
    for (int slot = 18; slot < 28; ++slot) EXPECT_TRUE(lanes_zero(bank.band[slot], 0)) << slot;
    // The upper edge is designed at 22350.6 Hz, which the high-pass clamps to 20000.
    const Vec4 edge_q(0.70710677f);
    EXPECT_TRUE(lanes_equal(bank.edge, design_highpass(Vec4(20000.0f), edge_q), 0));
    // The lower edge sits on the first band (edge spread 0).
    EXPECT_TRUE(lanes_equal(bank.edge, design_lowpass(resonator_band_hz(BANK_A, 0), edge_q), 2));
    // The parameters are copied in unchanged.
    EXPECT_EQ(bank.params.band_count, 35u);
    EXPECT_EQ(bank.params.depth, 1u);
    EXPECT_EQ(bank.params.edge_stages, 6u);
    EXPECT_TRUE(same_bits(bank.params.band_gain, Vec4(1.7f)));
}

TEST_F(ResonatorBankTest, EdgesOfBankBSitOnItsOutermostBands) {
    const ResonatorBank& bank = built(BANK_B);
    // Low-pass at about 370 Hz in lanes 2 and 3, high-pass at about 3729 Hz in 0 and 1.
    for (int lane : {2, 3}) {
        EXPECT_NEAR(magnitude(bank.edge, lane, 370.0), std::sqrt(0.5), 0.02);
        EXPECT_NEAR(magnitude(bank.edge, lane, 20.0), 1.0, 0.01);
    }
    for (int lane : {0, 1}) {
        EXPECT_NEAR(magnitude(bank.edge, lane, 3729.3), std::sqrt(0.5), 0.02);
        EXPECT_NEAR(magnitude(bank.edge, lane, 20000.0), 1.0, 0.02);
    }
    EXPECT_FALSE(lanes_zero(bank.band[11], 2)) << "24 bands fill 12 slots";
    EXPECT_TRUE(lanes_zero(bank.band[12], 0));
}

}  // namespace
}  // namespace lf::test
