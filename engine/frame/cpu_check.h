// Refuses, politely, to run on an x86-64 processor that lacks an instruction
// set the engine is built for. Header-only and free of those instructions, so
// it can run first thing in main().
#pragma once

#if defined(__x86_64__)
#include <cpuid.h>
#endif

// What is missing, given CPUID leaf 1 ECX, leaf 7 EBX and the OS's XCR0;
// nullptr when nothing is.
inline const char* engine_missing_cpu_features_from(unsigned leaf1_ecx, unsigned leaf7_ebx,
                                                    unsigned xcr0) {
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
    return nullptr;
}

// Returns nullptr when this processor has what the engine needs, else a short
// description of what is missing.
inline const char* engine_missing_cpu_features() {
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
    return engine_missing_cpu_features_from(leaf1_ecx, leaf7_ebx, xcr0);
#else
    return nullptr;
#endif
}
