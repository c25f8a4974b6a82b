// The processor check that both programs run before touching the engine.
#include <gtest/gtest.h>

#include "engine/frame/cpu_check.h"

#if defined(__x86_64__)
#include <cpuid.h>

namespace {
// The feature bits as the compiler's <cpuid.h> names them, not as the check
// under test writes them, so a wrong bit position fails here.
constexpr unsigned FMA = bit_FMA, SSE41 = bit_SSE4_1, AES = bit_AES, OSXSAVE = bit_OSXSAVE,
                   AVX = bit_AVX, AVX2 = bit_AVX2, YMM = 6u;
constexpr unsigned ALL_ECX = FMA | SSE41 | AES | OSXSAVE | AVX;
// AVX-512 foundation, DQ, BW and VL in leaf 7 EBX; opmask and upper vector
// registers saved by the OS (XCR0 bits 5 to 7).
constexpr unsigned F512 = bit_AVX512F, DQ512 = bit_AVX512DQ, BW512 = bit_AVX512BW,
                   VL512 = bit_AVX512VL;
constexpr unsigned ALL512 = F512 | DQ512 | BW512 | VL512, ZMM = YMM | 0xE0u;
}  // namespace

TEST(CpuCheck, NamesWhatIsMissing) {
    EXPECT_EQ(engine_missing_cpu_features_from(ALL_ECX, AVX2, YMM, false), nullptr);
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~FMA, AVX2, YMM, false), "FMA");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~AES, AVX2, YMM, false), "AES-NI");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~(AES | FMA), AVX2, YMM, false),
                 "FMA and AES-NI");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, 0, YMM, false), "AVX2");
    // AVX2 present but the operating system does not save the wide registers.
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, AVX2, 2u, false), "AVX2");
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX & ~SSE41, AVX2, YMM, false), "SSE4.1");
}

TEST(CpuCheck, AnAvx512BuildAlsoNeedsEveryAvx512SubsetItUses) {
    EXPECT_EQ(engine_missing_cpu_features_from(ALL_ECX, AVX2 | ALL512, ZMM, true), nullptr);
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, AVX2, YMM, true), "AVX-512");
    for (unsigned subset : {F512, DQ512, BW512, VL512}) {
        EXPECT_STREQ(
            engine_missing_cpu_features_from(ALL_ECX, AVX2 | (ALL512 & ~subset), ZMM, true),
            "AVX-512")
            << subset;
    }
    // The processor has it, but the OS does not save the mask or upper registers.
    for (unsigned state : {0x20u, 0x40u, 0x80u}) {
        EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, AVX2 | ALL512, ZMM & ~state, true),
                     "AVX-512")
            << state;
    }
    // The older sets are named first.
    EXPECT_STREQ(engine_missing_cpu_features_from(ALL_ECX, ALL512, ZMM, true), "AVX2");
    // Only the programs of an AVX-512 build point at the other build.
    EXPECT_STREQ(engine_missing_cpu_hint("AVX2"), "");
    EXPECT_EQ(engine_missing_cpu_hint("AVX-512")[0] != '\0', ENGINE_USES_AVX512);
}

#endif  // __x86_64__

TEST(CpuCheck, ThisMachineRunsTheEngine) {
    EXPECT_EQ(engine_missing_cpu_features(), nullptr);
}
