// The processor check that both programs run before touching the engine.
#include <gtest/gtest.h>

#include "engine/frame/cpu_check.h"

namespace {
constexpr unsigned FMA = 1u << 12, SSE41 = 1u << 19, AES = 1u << 25, OSXSAVE = 1u << 27,
                   AVX = 1u << 28, AVX2 = 1u << 5, YMM = 6u;
constexpr unsigned ALL_ECX = FMA | SSE41 | AES | OSXSAVE | AVX;
}  // namespace

TEST(CpuCheck, NamesWhatIsMissing) {
    EXPECT_EQ(engine_missing_cpu_features_from(ALL_ECX, AVX2, YMM), nullptr);
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~FMA, AVX2, YMM), "FMA");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~AES, AVX2, YMM), "AES-NI");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~(AES | FMA), AVX2, YMM),
                 "FMA and AES-NI");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, 0, YMM), "AVX2");
    // AVX2 present but the operating system does not save the wide registers.
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, AVX2, 2u), "AVX2");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~SSE41, AVX2, YMM), "SSE4.1");
}

TEST(CpuCheck, ThisMachineRunsTheEngine) { EXPECT_EQ(engine_missing_cpu_features(), nullptr); }
