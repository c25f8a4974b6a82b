// The reciprocal-estimate models: their rule, their special inputs, and, where
// the running processor is of a modelled family, the instruction itself.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/dsp/rcp_model.h"
#include "tests/engine_mode.h"

using namespace lf;
using namespace lf::test;

namespace {

float from_u32(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// The instruction's family on this processor, for the checks that need it.
RcpFamily processor_family() {
    static const RcpFamily family = fingerprint_rcp(rcp_instruction).family;
    return family;
}

RcpTable table_of(RcpFamily family) {
    return family == RcpFamily::intel ? RCP_INTEL : RCP_AMD_ZEN4;
}

// An estimate that is neither family: the amd_zen4 table with one entry moved.
Vec4 almost_amd_zen4(Vec4 a) {
    static const std::array<uint32_t, 4096> table = [] {
        std::array<uint32_t, 4096> t{};
        for (size_t i = 0; i < t.size(); ++i) t[i] = RCP_AMD_ZEN4.mantissa[i];
        t[2000] += 1u << 11;
        return t;
    }();
    return rcp_model(a, RcpTable{table.data(), 11});
}
Vec4 exact_division(Vec4 a) {
    return Vec4(1.0f) / a;
}

class RcpModel : public EngineMode, public ::testing::WithParamInterface<RcpFamily> {};

}  // namespace

// Intel's table is 1/x at the middle of each input interval, rounded to 12
// fraction bits: computed here in double precision, apart from the integer rule.
TEST(RcpModelRule, IntelTableIsTheMidpointReciprocal) {
    for (uint32_t i = 0; i < 2048; ++i) {
        const double mid = 1.0 + (2.0 * i + 1.0) / 4096.0;
        const auto expected = static_cast<uint32_t>(std::nearbyint((2.0 / mid - 1.0) * 4096.0));
        ASSERT_EQ(RCP_INTEL.mantissa[i] >> 11, expected) << i;
    }
    EXPECT_EQ(float_bits(rcp_estimate_intel(Vec4(1.0f)).lane0()), 0x3F7FF000u);
    EXPECT_EQ(float_bits(rcp_estimate_intel(Vec4(2.0f)).lane0()), 0x3EFFF000u);
}

// Both tables are estimates of 1/x: within 1.5 · 2^-12 over every index, and
// falling with it.
TEST_P(RcpModel, TableIsAMonotoneEstimate) {
    const RcpTable table = table_of(GetParam());
    const uint32_t entries = 1u << (23 - table.index_shift);
    for (uint32_t i = 0; i < entries; ++i) {
        for (uint32_t end : {0u, (1u << table.index_shift) - 1}) {
            const uint32_t m = i << table.index_shift | end;
            const float x = from_u32(0x3F800000u | m);
            const float r = rcp_model(Vec4(x), table).lane0();
            EXPECT_LE(std::fabs(static_cast<double>(r) * x - 1.0), 1.5 * std::ldexp(1.0, -12)) << x;
        }
        if (i > 0) {
            ASSERT_LE(table.mantissa[i], table.mantissa[i - 1]) << i;
        }
    }
}

// The four lanes, branch-free, against the scalar rule on every kind of input;
// the control register changes nothing.
TEST_P(RcpModel, LanesFollowTheRuleOnSpecialInputs) {
    const RcpTable table = table_of(GetParam());
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              -1e-40f,
                              inf,
                              -inf,
                              std::numeric_limits<float>::quiet_NaN(),
                              from_u32(0x7F800001u),
                              from_u32(0xFFA00000u),
                              from_u32(0x7E7FFFFFu),
                              from_u32(0x7E800000u),
                              from_u32(0x00800000u),
                              from_u32(0x80800000u),
                              3.0f,
                              -0.75f,
                              std::numeric_limits<float>::max()};
    for (float x : specials) {
        const uint32_t expected = rcp_model_bits(float_bits(x), table);
        EXPECT_EQ(float_bits(rcp_model(Vec4::set(1.0f, x, 2.0f, x), table).lane(1)), expected) << x;
    }
    EXPECT_EQ(rcp_model_bits(0x00000000u, table), 0x7F800000u);  // +0 -> +inf
    EXPECT_EQ(rcp_model_bits(0x807FFFFFu, table), 0xFF800000u);  // -denormal -> -inf
    EXPECT_EQ(rcp_model_bits(0x7E800000u, table), 0x00000000u);  // E = 253 flushes
    EXPECT_EQ(rcp_model_bits(0xFF800000u, table), 0x80000000u);  // -inf -> -0
    EXPECT_EQ(rcp_model_bits(0x7F800001u, table), 0x7FC00001u);  // NaN made quiet
    EXPECT_EQ(rcp_model_bits(0x7E7FFFFFu, table) >> 23, 1u);     // E = 252: smallest normal
}

// The fingerprint names each model, and nothing else: a simulated instruction
// with one entry moved, or an exact division, is of no known family.
TEST(RcpFingerprint, NamesEachModelAndNothingElse) {
    EXPECT_EQ(fingerprint_rcp(rcp_estimate_intel).family, RcpFamily::intel);
    EXPECT_EQ(fingerprint_rcp(rcp_estimate_amd_zen4).family, RcpFamily::amd_zen4);
    const RcpFingerprint near = fingerprint_rcp(almost_amd_zen4);
    EXPECT_EQ(near.family, RcpFamily::none);
    EXPECT_NE(near.hash, fingerprint_rcp(rcp_estimate_amd_zen4).hash);
    EXPECT_EQ(fingerprint_rcp(exact_division).family, RcpFamily::none);
}

#if LUMENFROST_X86
// On a processor of a modelled family, the model is the instruction: every
// mantissa at the exponents that reach each branch of the rule, both signs, in
// the engine's mode and the default one. (`rcp_probe compare` checks all 2^32.)
TEST_P(RcpModel, EqualsTheInstructionOfItsFamily) {
    if (processor_family() != GetParam())
        GTEST_SKIP() << "this processor's estimate is " << rcp_family_name(processor_family());
    const RcpTable table = table_of(GetParam());
    for (int mode = 0; mode < 2; ++mode) {
        if (mode == 1) write_fp_control(saved_);
        for (uint32_t e : {0u, 1u, 126u, 127u, 128u, 252u, 253u, 254u, 255u}) {
            for (uint32_t sign : {0u, 0x80000000u}) {
                uint64_t differences = 0;
                for (uint32_t m = 0; m < (1u << 23); m += 4) {
                    const uint32_t base = sign | e << 23 | m;
                    const Vec4 x = from_bits(
                        Int4::set(static_cast<int32_t>(base), static_cast<int32_t>(base + 1),
                                  static_cast<int32_t>(base + 2), static_cast<int32_t>(base + 3)));
                    differences += !all_zero(bits(rcp_instruction(x)) ^ bits(rcp_model(x, table)));
                }
                EXPECT_EQ(differences, 0u)
                    << "exponent " << e << " sign " << (sign >> 31) << " mode " << mode;
            }
        }
    }
}
#endif

namespace lf {
// The test log names a family, not its bytes.
void PrintTo(RcpFamily family, std::ostream* os) {
    *os << rcp_family_name(family);
}
}  // namespace lf

INSTANTIATE_TEST_SUITE_P(Families, RcpModel,
                         ::testing::Values(RcpFamily::intel, RcpFamily::amd_zen4),
                         [](const auto& info) { return std::string(rcp_family_name(info.param)); });
