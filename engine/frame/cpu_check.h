// Refuses, politely, to run on an x86-64 processor that lacks an instruction
// set the engine is built for. Header-only and free of those instructions, so
// it can run first thing in main().
//
// The engine is written for SSE4.1, FMA, AES-NI and AVX2. A build configured
// on a machine with AVX-512 (LUMENFROST_ISA=auto, the default, or avx512) lets
// the compiler use it too: the same operations in the same order, with twice
// as many vector registers, so the bits stay the same and the render is a few
// per cent faster. Such a build then needs AVX-512 wherever it runs.
#pragma once

#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#if defined(LUMENFROST_AVX512)
inline constexpr bool ENGINE_USES_AVX512 = true;
#else
inline constexpr bool ENGINE_USES_AVX512 = false;
#endif

// What is missing, given CPUID leaf 1 ECX, leaf 7 EBX and the OS's XCR0;
// nullptr when nothing is. With avx512, also the AVX-512 subsets the compiler
// may use (foundation, DQ, BW, VL) and the OS's saving of the mask and upper
// vector registers.
inline const char* engine_missing_cpu_features_from(unsigned leaf1_ecx, unsigned leaf7_ebx,
                                                    unsigned xcr0,
                                                    bool avx512 = ENGINE_USES_AVX512) {
    const bool fma = leaf1_ecx & (1u << 12);
    const bool sse41 = leaf1_ecx & (1u << 19);
    const bool aes = leaf1_ecx & (1u << 25);
    const bool osxsave = leaf1_ecx & (1u << 27);
    const bool avx = leaf1_ecx & (1u << 28);
    const bool avx2 = leaf7_ebx & (1u << 5);
    const bool ymm_enabled = osxsave && (xcr0 & 6u) == 6u;
    if (!fma && !aes) return "FMA and AES-NI";
    if (!fma) return "FMA";
    if (!aes) return "AES-NI";
    if (!sse41) return "SSE4.1";
    if (!avx || !avx2 || !ymm_enabled) return "AVX2";
    if (avx512) {
        constexpr unsigned SUBSETS = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);
        const bool zmm_enabled = (xcr0 & 0xE6u) == 0xE6u;
        if ((leaf7_ebx & SUBSETS) != SUBSETS || !zmm_enabled) return "AVX-512";
    }
    return nullptr;
}

// Returns nullptr when this processor has what the engine needs, else a short
// description of what is missing.
inline const char* engine_missing_cpu_features(bool avx512 = ENGINE_USES_AVX512) {
#if defined(__x86_64__) && !defined(LUMENFROST_PORTABLE)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return "CPUID";
    const unsigned leaf1_ecx = c;
    unsigned xcr0 = 0;
    if (leaf1_ecx & (1u << 27)) {
        unsigned hi;
        __asm__("xgetbv" : "=a"(xcr0), "=d"(hi) : "c"(0));
    }
    unsigned leaf7_ebx = 0;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        leaf7_ebx = b;
    }
    return engine_missing_cpu_features_from(leaf1_ecx, leaf7_ebx, xcr0, avx512);
#else
    (void)avx512;
    return nullptr;
#endif
}

// What the programs add when the missing piece is one the build chose.
inline const char* engine_missing_cpu_hint(const char* missing) {
    if (ENGINE_USES_AVX512 && missing && std::strcmp(missing, "AVX-512") == 0) {
        return "This build was configured to use AVX-512 (the machine that built it has it); "
               "configure with -DLUMENFROST_ISA=avx2 for a build that runs without.\n";
    }
    return "";
}

// The first step of every program that renders or plays: when this processor cannot run the engine,
// says so on stderr ("PROGRAM: this processor lacks X, which the engine needs;
// it cannot TASK here.", then the build's hint) and returns false.
inline bool engine_runs_here(const char* program, const char* task) {
    const char* missing = engine_missing_cpu_features();
    if (!missing) return true;
    std::fprintf(stderr,
                 "%s: this processor lacks %s, which the engine needs; it cannot %s here.\n",
                 program, missing, task);
    std::fputs(engine_missing_cpu_hint(missing), stderr);
    return false;
}
