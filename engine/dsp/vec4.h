// Vec4: four single-precision lanes, the value type of every DSP unit.
//
// The vocabulary is deliberately small and every operation rounds exactly once
// in the thread's current rounding mode (the engine runs with flush-to-zero and
// rounding toward negative infinity). Products are never fused implicitly:
// where a formula fuses a product into a sum, the code says fma / fms / fnma /
// fnms. Build with -ffp-contract=off so the compiler neither adds nor removes one.
//
// Literals: a float turned into a Vec4 passes through an empty asm barrier, so
// the optimiser cannot fold two constants into one (it would fold in
// round-to-nearest, while the engine rounds down at run time: 1/1.002 and
// 0.01 * 100 come out one ulp apart). All constant arithmetic therefore happens
// at run time, in the engine's mode.
//
// On x86-64 the lanes are an SSE register and the instructions are SSE4.1, FMA
// and AES-NI. Elsewhere a portable fallback computes the same formulas with
// plain floats and a model of the reciprocal estimate (rcp_model.h): it renders
// the same bits as the SIMD build with that model.
#pragma once

#include <cstdint>

#if defined(__x86_64__) && defined(__FMA__) && defined(__AES__) && defined(__SSE4_1__)
#define LUMENFROST_X86 1
#include <immintrin.h>
#else
#define LUMENFROST_X86 0
#include <cmath>
#include <cstring>
#endif

// The SIMD and the portable Vec4 live in different inline namespaces, so a test
// can build both into one program and compare them.
#if LUMENFROST_X86
#define LF_ABI simd
#else
#define LF_ABI portable
#endif

namespace lf {

// The thread's SIMD control word, and the engine's mode: flush-to-zero and
// rounding toward -inf, all other bits kept. Out of line (vec4.cpp) and fenced,
// so that no float work is scheduled across the switch.
uint32_t read_fp_control();
void write_fp_control(uint32_t word);
void set_engine_fp_mode();

// The same AES round in plain byte arithmetic: the fallback's noise hash, and
// an independent check of the instruction.
void aes_round_bytes(const uint8_t in[16], const uint8_t key[16], uint8_t out[16]);

inline namespace LF_ABI {

#if LUMENFROST_X86

// Four 32-bit integer lanes: indices, bit patterns, the noise counter.
struct Int4 {
    __m128i v;
    Int4() = default;
    explicit Int4(__m128i x) : v(x) {}
    Int4(int32_t a) : v(_mm_set1_epi32(a)) {}
    static Int4 set(int32_t a, int32_t b, int32_t c, int32_t d) {
        return Int4(_mm_setr_epi32(a, b, c, d));
    }
    int32_t lane(int i) const {
        alignas(16) int32_t t[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(t), v);
        return t[i];
    }
    uint32_t ulane(int i) const { return static_cast<uint32_t>(lane(i)); }
};

inline Int4 operator+(Int4 a, Int4 b) { return Int4(_mm_add_epi32(a.v, b.v)); }
inline Int4 operator-(Int4 a, Int4 b) { return Int4(_mm_sub_epi32(a.v, b.v)); }
inline Int4 operator&(Int4 a, Int4 b) { return Int4(_mm_and_si128(a.v, b.v)); }
inline Int4 operator|(Int4 a, Int4 b) { return Int4(_mm_or_si128(a.v, b.v)); }
inline Int4 operator^(Int4 a, Int4 b) { return Int4(_mm_xor_si128(a.v, b.v)); }
// True when every bit of every lane is zero.
inline bool all_zero(Int4 a) { return _mm_testz_si128(a.v, a.v) != 0; }
inline Int4 shift_left(Int4 a, int n) { return Int4(_mm_slli_epi32(a.v, n)); }
inline Int4 shift_right_logical(Int4 a, int n) { return Int4(_mm_srli_epi32(a.v, n)); }

// One AES encryption round: ShiftRows, SubBytes, MixColumns, xor round key.
inline Int4 aes_round(Int4 state, Int4 round_key) {
    return Int4(_mm_aesenc_si128(state.v, round_key.v));
}

struct Vec4 {
    __m128 v;

    Vec4() = default;
    explicit Vec4(__m128 x) : v(x) {}
    // Broadcast; opaque to constant folding (see the file comment).
    Vec4(float a) : v(_mm_set1_ps(a)) { __asm__("" : "+x"(v)); }
    static Vec4 set(float a, float b, float c, float d) {
        __m128 x = _mm_setr_ps(a, b, c, d);
        __asm__("" : "+x"(x));
        return Vec4(x);
    }
    static Vec4 zero() { return Vec4(_mm_setzero_ps()); }
    static Vec4 load(const float* p) { return Vec4(_mm_loadu_ps(p)); }
    void store(float* p) const { _mm_storeu_ps(p, v); }

    float lane0() const { return _mm_cvtss_f32(v); }
    float lane(int i) const {
        alignas(16) float t[4];
        _mm_store_ps(t, v);
        return t[i];
    }
};

inline Vec4 operator+(Vec4 a, Vec4 b) { return Vec4(_mm_add_ps(a.v, b.v)); }
inline Vec4 operator-(Vec4 a, Vec4 b) { return Vec4(_mm_sub_ps(a.v, b.v)); }
inline Vec4 operator*(Vec4 a, Vec4 b) { return Vec4(_mm_mul_ps(a.v, b.v)); }
inline Vec4 operator/(Vec4 a, Vec4 b) { return Vec4(_mm_div_ps(a.v, b.v)); }
// Negation flips the sign bit: exact, and -(a*b) negates the rounded product.
inline Vec4 operator-(Vec4 a) { return Vec4(_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))); }
inline Vec4& operator+=(Vec4& a, Vec4 b) { return a = a + b; }
inline Vec4& operator-=(Vec4& a, Vec4 b) { return a = a - b; }
inline Vec4& operator*=(Vec4& a, Vec4 b) { return a = a * b; }

// Fused forms, one rounding each:
//   fma(a, b, c) = a*b + c      fms(a, b, c) = a*b - c
//   fnma(a, b, c) = c - a*b     fnms(a, b, c) = -(a*b) - c
inline Vec4 fma(Vec4 a, Vec4 b, Vec4 c) { return Vec4(_mm_fmadd_ps(a.v, b.v, c.v)); }
inline Vec4 fms(Vec4 a, Vec4 b, Vec4 c) { return Vec4(_mm_fmsub_ps(a.v, b.v, c.v)); }
inline Vec4 fnma(Vec4 a, Vec4 b, Vec4 c) { return Vec4(_mm_fnmadd_ps(a.v, b.v, c.v)); }
inline Vec4 fnms(Vec4 a, Vec4 b, Vec4 c) { return Vec4(_mm_fnmsub_ps(a.v, b.v, c.v)); }

// The processor's own reciprocal estimate, a different function on each processor
// family: the engine calls rcp_estimate (rcp_model.h), which the build maps to
// this instruction or to an exact model of one family.
inline Vec4 rcp_instruction(Vec4 a) { return Vec4(_mm_rcp_ps(a.v)); }
inline Vec4 sqrt(Vec4 a) { return Vec4(_mm_sqrt_ps(a.v)); }
// min/max return the second operand where both are zero or one is NaN: pass
// the operands in the order the formula writes them.
inline Vec4 min(Vec4 a, Vec4 b) { return Vec4(_mm_min_ps(a.v, b.v)); }
inline Vec4 max(Vec4 a, Vec4 b) { return Vec4(_mm_max_ps(a.v, b.v)); }
inline Vec4 abs(Vec4 a) { return Vec4(_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)); }
// Explicit roundings, independent of the rounding mode.
inline Vec4 floor(Vec4 a) { return Vec4(_mm_round_ps(a.v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC)); }
inline Vec4 round_even(Vec4 a) {
    return Vec4(_mm_round_ps(a.v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

// Conversions. to_int follows the current rounding mode: in the engine's mode
// it acts as floor (a C cast would truncate, which is wrong for negatives).
inline Int4 to_int(Vec4 a) { return Int4(_mm_cvtps_epi32(a.v)); }
inline Vec4 to_float(Int4 a) { return Vec4(_mm_cvtepi32_ps(a.v)); }
inline Int4 bits(Vec4 a) { return Int4(_mm_castps_si128(a.v)); }
inline Vec4 from_bits(Int4 a) { return Vec4(_mm_castsi128_ps(a.v)); }
// Scalar conversion in the current rounding mode (floor in the engine).
inline int32_t to_int(float a) { return _mm_cvtss_si32(_mm_set_ss(a)); }

// Comparisons give all-ones lanes where true; select(m, a, b) takes a there, b elsewhere.
inline Vec4 operator<(Vec4 a, Vec4 b) { return Vec4(_mm_cmplt_ps(a.v, b.v)); }
inline Vec4 operator<=(Vec4 a, Vec4 b) { return Vec4(_mm_cmple_ps(a.v, b.v)); }
inline Vec4 operator>(Vec4 a, Vec4 b) { return Vec4(_mm_cmpgt_ps(a.v, b.v)); }
inline Vec4 operator>=(Vec4 a, Vec4 b) { return Vec4(_mm_cmpge_ps(a.v, b.v)); }
inline Vec4 select(Vec4 mask, Vec4 a, Vec4 b) { return Vec4(_mm_blendv_ps(b.v, a.v, mask.v)); }

// Lane shuffles: result lane i = a[Ii].
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffle(Vec4 a) {
    return Vec4(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(I3, I2, I1, I0)));
}
// Result (a[I0], a[I1], b[I2], b[I3]).
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffle2(Vec4 a, Vec4 b) {
    return Vec4(_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(I3, I2, I1, I0)));
}
// Lane I of a in all four lanes.
template <int I>
inline Vec4 broadcast(Vec4 a) { return shuffle<I, I, I, I>(a); }
// a with lane I replaced by lane I of b.
template <int I>
inline Vec4 with_lane(Vec4 a, Vec4 b) { return Vec4(_mm_blend_ps(a.v, b.v, 1 << I)); }

// Lane i = table[index lane i]: one four-lane gather (indices already masked).
inline Vec4 gather(const float* table, Int4 index) {
#if defined(__AVX2__)
    return Vec4(_mm_i32gather_ps(table, index.v, 4));
#else
    return Vec4(_mm_setr_ps(table[index.lane(0)], table[index.lane(1)], table[index.lane(2)],
                            table[index.lane(3)]));
#endif
}

#else  // portable fallback

struct Int4 {
    int32_t l[4];
    Int4() = default;
    Int4(int32_t a) : l{a, a, a, a} {}
    static Int4 set(int32_t a, int32_t b, int32_t c, int32_t d) {
        Int4 r;
        r.l[0] = a, r.l[1] = b, r.l[2] = c, r.l[3] = d;
        return r;
    }
    int32_t lane(int i) const { return l[i]; }
    uint32_t ulane(int i) const { return static_cast<uint32_t>(l[i]); }
};

#define LF_INT_LANES(expr)                    \
    Int4 r;                                   \
    for (int i = 0; i < 4; ++i) r.l[i] = expr; \
    return r

inline Int4 operator+(Int4 a, Int4 b) {
    LF_INT_LANES(static_cast<int32_t>(static_cast<uint32_t>(a.l[i]) + static_cast<uint32_t>(b.l[i])));
}
inline Int4 operator-(Int4 a, Int4 b) {
    LF_INT_LANES(static_cast<int32_t>(static_cast<uint32_t>(a.l[i]) - static_cast<uint32_t>(b.l[i])));
}
inline Int4 operator&(Int4 a, Int4 b) { LF_INT_LANES(a.l[i] & b.l[i]); }
inline Int4 operator|(Int4 a, Int4 b) { LF_INT_LANES(a.l[i] | b.l[i]); }
inline Int4 operator^(Int4 a, Int4 b) { LF_INT_LANES(a.l[i] ^ b.l[i]); }
inline bool all_zero(Int4 a) { return (a.l[0] | a.l[1] | a.l[2] | a.l[3]) == 0; }
inline Int4 shift_left(Int4 a, int n) {
    LF_INT_LANES(static_cast<int32_t>(static_cast<uint32_t>(a.l[i]) << n));
}
inline Int4 shift_right_logical(Int4 a, int n) {
    LF_INT_LANES(static_cast<int32_t>(static_cast<uint32_t>(a.l[i]) >> n));
}

// Software AES round.
inline Int4 aes_round(Int4 state, Int4 round_key) {
    Int4 r;
    aes_round_bytes(reinterpret_cast<const uint8_t*>(state.l),
                    reinterpret_cast<const uint8_t*>(round_key.l), reinterpret_cast<uint8_t*>(r.l));
    return r;
}

struct Vec4 {
    float l[4];
    Vec4() = default;
    Vec4(float a) : l{a, a, a, a} {}
    static Vec4 set(float a, float b, float c, float d) {
        Vec4 r;
        r.l[0] = a, r.l[1] = b, r.l[2] = c, r.l[3] = d;
        return r;
    }
    static Vec4 zero() { return Vec4(0.0f); }
    static Vec4 load(const float* p) { return set(p[0], p[1], p[2], p[3]); }
    void store(float* p) const { std::memcpy(p, l, sizeof l); }
    float lane0() const { return l[0]; }
    float lane(int i) const { return l[i]; }
};

#define LF_LANES(expr)                        \
    Vec4 r;                                   \
    for (int i = 0; i < 4; ++i) r.l[i] = expr; \
    return r

inline float lf_mask_bits(bool b) {
    uint32_t u = b ? 0xFFFFFFFFu : 0u;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}
inline bool lf_mask_set(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return (u >> 31) != 0;
}

inline Vec4 operator+(Vec4 a, Vec4 b) { LF_LANES(a.l[i] + b.l[i]); }
inline Vec4 operator-(Vec4 a, Vec4 b) { LF_LANES(a.l[i] - b.l[i]); }
inline Vec4 operator*(Vec4 a, Vec4 b) { LF_LANES(a.l[i] * b.l[i]); }
inline Vec4 operator/(Vec4 a, Vec4 b) { LF_LANES(a.l[i] / b.l[i]); }
inline Vec4 operator-(Vec4 a) { LF_LANES(-a.l[i]); }
inline Vec4& operator+=(Vec4& a, Vec4 b) { return a = a + b; }
inline Vec4& operator-=(Vec4& a, Vec4 b) { return a = a - b; }
inline Vec4& operator*=(Vec4& a, Vec4 b) { return a = a * b; }
inline Vec4 fma(Vec4 a, Vec4 b, Vec4 c) { LF_LANES(std::fmaf(a.l[i], b.l[i], c.l[i])); }
inline Vec4 fms(Vec4 a, Vec4 b, Vec4 c) { LF_LANES(std::fmaf(a.l[i], b.l[i], -c.l[i])); }
inline Vec4 fnma(Vec4 a, Vec4 b, Vec4 c) { LF_LANES(std::fmaf(-a.l[i], b.l[i], c.l[i])); }
inline Vec4 fnms(Vec4 a, Vec4 b, Vec4 c) { LF_LANES(std::fmaf(-a.l[i], b.l[i], -c.l[i])); }
inline Vec4 sqrt(Vec4 a) { LF_LANES(std::sqrt(a.l[i])); }
inline Vec4 min(Vec4 a, Vec4 b) { LF_LANES(a.l[i] < b.l[i] ? a.l[i] : b.l[i]); }
inline Vec4 max(Vec4 a, Vec4 b) { LF_LANES(a.l[i] > b.l[i] ? a.l[i] : b.l[i]); }
inline Vec4 abs(Vec4 a) { LF_LANES(std::fabs(a.l[i])); }
inline Vec4 floor(Vec4 a) { LF_LANES(std::floor(a.l[i])); }
inline float lf_round_even(float x) {
    float f = std::floor(x), d = x - f;
    if (d > 0.5f || (d == 0.5f && std::fmod(f, 2.0f) != 0.0f)) f += 1.0f;
    return std::copysign(f, x);  // -0.5 rounds to -0, as the instruction does
}
inline Vec4 round_even(Vec4 a) { LF_LANES(lf_round_even(a.l[i])); }
inline Int4 to_int(Vec4 a) { LF_INT_LANES(static_cast<int32_t>(std::lrint(a.l[i]))); }
inline Vec4 to_float(Int4 a) { LF_LANES(static_cast<float>(a.l[i])); }
inline Int4 bits(Vec4 a) {
    Int4 r;
    std::memcpy(r.l, a.l, 16);
    return r;
}
inline Vec4 from_bits(Int4 a) {
    Vec4 r;
    std::memcpy(r.l, a.l, 16);
    return r;
}
inline int32_t to_int(float a) { return static_cast<int32_t>(std::lrint(a)); }
inline Vec4 operator<(Vec4 a, Vec4 b) { LF_LANES(lf_mask_bits(a.l[i] < b.l[i])); }
inline Vec4 operator<=(Vec4 a, Vec4 b) { LF_LANES(lf_mask_bits(a.l[i] <= b.l[i])); }
inline Vec4 operator>(Vec4 a, Vec4 b) { LF_LANES(lf_mask_bits(a.l[i] > b.l[i])); }
inline Vec4 operator>=(Vec4 a, Vec4 b) { LF_LANES(lf_mask_bits(a.l[i] >= b.l[i])); }
inline Vec4 select(Vec4 m, Vec4 a, Vec4 b) { LF_LANES(lf_mask_set(m.l[i]) ? a.l[i] : b.l[i]); }
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffle(Vec4 a) { return Vec4::set(a.l[I0], a.l[I1], a.l[I2], a.l[I3]); }
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffle2(Vec4 a, Vec4 b) { return Vec4::set(a.l[I0], a.l[I1], b.l[I2], b.l[I3]); }
template <int I>
inline Vec4 broadcast(Vec4 a) { return Vec4(a.l[I]); }
template <int I>
inline Vec4 with_lane(Vec4 a, Vec4 b) {
    a.l[I] = b.l[I];
    return a;
}
inline Vec4 gather(const float* table, Int4 index) { LF_LANES(table[index.l[i]]); }
#undef LF_LANES
#undef LF_INT_LANES
#endif

// Lane 0 broadcast and a few shorthands that keep formulas short.
inline Vec4 splat0(Vec4 a) { return broadcast<0>(a); }

// (a0, a1, a0, a1): a stereo pair copied into lanes 2 and 3.
inline Vec4 dup_low(Vec4 a) { return shuffle<0, 1, 0, 1>(a); }
// (a2, a3, a0, a1): the two lane pairs swapped.
inline Vec4 swap_pairs(Vec4 a) { return shuffle<2, 3, 0, 1>(a); }

// True when the four lanes hold the same bits.
inline bool lanes_equal(Vec4 a) {
    const Int4 b = bits(a);
    return (b.lane(0) == b.lane(1)) & (b.lane(0) == b.lane(2)) & (b.lane(0) == b.lane(3));
}

}  // namespace LF_ABI
}  // namespace lf

// rcp_estimate, the one reciprocal estimate of the engine.
#include "engine/dsp/rcp_model.h"
