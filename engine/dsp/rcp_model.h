// The reciprocal estimate as a known function.
//
// The processor's estimate (rcpps) is a 12-bit table lookup, and the table is
// not the same on every processor family: the track depends on it through the
// curves' inverse lengths, the wavetables' 1/h and the soft clip, so each
// family renders its own track. Both known families share one shape. For a
// normal x = ±1.m · 2^(E−127) with 1 <= E <= 252,
//
//     estimate(x) = sign(x) | (253 − E) << 23 | T[m >> shift] << 11
//
// a result in [0.5, 1) times a power of two; E = 0 (zero or denormal) gives
// ±inf, E >= 253 and ±inf give ±0, a NaN comes back with its quiet bit set, and
// the control register changes nothing. The families differ only in T:
//   intel     11 index bits, T[i] = round(4096 · (4095 − 2i) / (4097 + 2i)),
//             1/x at the middle of the input's interval at 12 fraction bits;
//   amd_zen4  12 index bits, a measured table (rcp_table_amd_zen4.h, written
//             by tools/rcp from the instruction itself).
//
// rcp_estimate (vec4.h's vocabulary) is the one function the engine calls; the
// build chooses what it is (LUMENFROST_RCP_MODEL): the instruction itself, or
// one of the models, which reproduce the family's track on any processor. The
// portable build always uses a model: it has no instruction.
#pragma once

#include <array>
#include <cstdint>

#include "engine/dsp/rcp_family.h"
#include "engine/dsp/rcp_table_amd_zen4.h"
#include "engine/dsp/vec4.h"

#define LUMENFROST_RCP_NATIVE 0
#define LUMENFROST_RCP_INTEL 1
#define LUMENFROST_RCP_AMD_ZEN4 2

#ifndef LUMENFROST_RCP_MODEL
#if LUMENFROST_X86
#define LUMENFROST_RCP_MODEL LUMENFROST_RCP_NATIVE
#else
#define LUMENFROST_RCP_MODEL LUMENFROST_RCP_INTEL
#endif
#endif

#if LUMENFROST_RCP_MODEL == LUMENFROST_RCP_NATIVE && !LUMENFROST_X86
#error "the portable build has no reciprocal instruction: choose a model (intel or amd_zen4)"
#endif

namespace lf {

// A family's table, already shifted into place (T[i] << 11), and its index shift.
struct RcpTable {
    const uint32_t* mantissa;
    int index_shift;
};

namespace detail {

constexpr std::array<uint32_t, 2048> make_rcp_intel_table() {
    std::array<uint32_t, 2048> t{};
    for (int64_t i = 0; i < 2048; ++i) {
        // round(n / d) in integers: no tie can occur, d is odd and n even.
        const int64_t n = 4096 * (4095 - 2 * i), d = 4097 + 2 * i;
        t[static_cast<size_t>(i)] = static_cast<uint32_t>((2 * n + d) / (2 * d)) << 11;
    }
    return t;
}

constexpr std::array<uint32_t, 4096> make_rcp_amd_zen4_table() {
    std::array<uint32_t, 4096> t{};
    for (size_t i = 0; i < 4096; ++i) t[i] = uint32_t{RCP_AMD_ZEN4_T[i]} << 11;
    return t;
}

inline constexpr std::array<uint32_t, 2048> RCP_INTEL_MANTISSA = make_rcp_intel_table();
inline constexpr std::array<uint32_t, 4096> RCP_AMD_ZEN4_MANTISSA = make_rcp_amd_zen4_table();

}  // namespace detail

inline constexpr RcpTable RCP_INTEL{detail::RCP_INTEL_MANTISSA.data(), 12};
inline constexpr RcpTable RCP_AMD_ZEN4{detail::RCP_AMD_ZEN4_MANTISSA.data(), 11};

// One input's estimate under a family's table, on the bits.
constexpr uint32_t rcp_model_bits(uint32_t x, RcpTable table) {
    const uint32_t sign = x & 0x80000000u, e = (x >> 23) & 0xFFu, m = x & 0x7FFFFFu;
    if (e == 0xFFu && m != 0) return x | 0x400000u;  // NaN, made quiet
    if (e == 0) return sign | 0x7F800000u;           // zero or denormal: ±inf
    if (e >= 253) return sign;                       // too large, or ±inf: ±0
    return sign | (253u - e) << 23 | table.mantissa[m >> table.index_shift];
}

inline namespace LF_ABI {

// Four lanes at once: the same function, branch-free, with one gather.
inline Vec4 rcp_model(Vec4 a, RcpTable table) {
#if LUMENFROST_X86 && defined(__AVX2__)
    const __m128i x = _mm_castps_si128(a.v);
    const __m128i sign = _mm_and_si128(x, _mm_set1_epi32(INT32_MIN));
    const __m128i e = _mm_srli_epi32(_mm_slli_epi32(x, 1), 24);
    const __m128i index =
        _mm_srli_epi32(_mm_and_si128(x, _mm_set1_epi32(0x7FFFFF)), table.index_shift);
    const __m128i t = _mm_i32gather_epi32(reinterpret_cast<const int*>(table.mantissa), index, 4);
    __m128i mag = _mm_or_si128(_mm_slli_epi32(_mm_sub_epi32(_mm_set1_epi32(253), e), 23), t);
    mag = _mm_blendv_epi8(mag, _mm_set1_epi32(0x7F800000), _mm_cmpeq_epi32(e, _mm_setzero_si128()));
    mag = _mm_andnot_si128(_mm_cmpgt_epi32(e, _mm_set1_epi32(252)), mag);
    const __m128i nan =
        _mm_cmpgt_epi32(_mm_and_si128(x, _mm_set1_epi32(0x7FFFFFFF)), _mm_set1_epi32(0x7F800000));
    const __m128i r =
        _mm_blendv_epi8(_mm_or_si128(sign, mag), _mm_or_si128(x, _mm_set1_epi32(0x400000)), nan);
    return Vec4(_mm_castsi128_ps(r));
#else
    const Int4 x = bits(a);
    return from_bits(Int4::set(static_cast<int32_t>(rcp_model_bits(x.ulane(0), table)),
                               static_cast<int32_t>(rcp_model_bits(x.ulane(1), table)),
                               static_cast<int32_t>(rcp_model_bits(x.ulane(2), table)),
                               static_cast<int32_t>(rcp_model_bits(x.ulane(3), table))));
#endif
}

inline Vec4 rcp_estimate_intel(Vec4 a) {
    return rcp_model(a, RCP_INTEL);
}
inline Vec4 rcp_estimate_amd_zen4(Vec4 a) {
    return rcp_model(a, RCP_AMD_ZEN4);
}

// The estimate every unit uses (relative error <= 1.5 · 2^-12, no refinement).
inline Vec4 rcp_estimate(Vec4 a) {
#if LUMENFROST_RCP_MODEL == LUMENFROST_RCP_INTEL
    return rcp_estimate_intel(a);
#elif LUMENFROST_RCP_MODEL == LUMENFROST_RCP_AMD_ZEN4
    return rcp_estimate_amd_zen4(a);
#else
    return rcp_instruction(a);
#endif
}

// Which family an estimate function is: it is compared with each model over
// every mantissa of the binade [1, 2) (2^23 inputs, a few milliseconds). The
// hash of its 2^23 results names it when it matches none.
struct RcpFingerprint {
    RcpFamily family;
    uint64_t hash;
};
RcpFingerprint fingerprint_rcp(Vec4 (*estimate)(Vec4));

}  // namespace LF_ABI

}  // namespace lf
