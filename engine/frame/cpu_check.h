// Refuses, politely, to run on an x86-64 processor that lacks an instruction
// set the engine is built for. Header-only and free of those instructions, so
// it can run first thing in main().
#pragma once

#if defined(__x86_64__)
#include <cpuid.h>
#endif

// Returns nullptr when the processor has what the engine needs, else a short
// list of what is missing.
inline const char* engine_missing_cpu_features() {
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return "CPUID";
    const bool sse41 = c & (1u << 19);
    const bool fma = c & (1u << 12);
    const bool aes = c & (1u << 25);
    const bool osxsave = c & (1u << 27);
    const bool avx = c & (1u << 28);
    bool ymm_enabled = false;
    if (osxsave) {
        unsigned lo, hi;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        ymm_enabled = (lo & 6u) == 6u;
    }
    bool avx2 = false;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        avx2 = b & (1u << 5);
    }
    if (!fma && !aes) return "FMA and AES-NI";
    if (!fma) return "FMA";
    if (!aes) return "AES-NI";
    if (!sse41) return "SSE4.1";
    if (!avx || !avx2 || !ymm_enabled) return "AVX2";
#endif
    return nullptr;
}
