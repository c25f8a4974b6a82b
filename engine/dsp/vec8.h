// Vec8: two Vec4s side by side in one eight-lane register.
//
// Much of a frame is independent work done twice: the two angles of a
// frequency shifter, the down and up shifter of a band-shifter stage, four
// more automation curves. Lane i of a Vec8 operation is exactly the Vec4
// operation on lane i (the same instruction at twice the width, rounding once
// in the thread's mode), so pairing two Vec4 computations into one Vec8 gives
// the same bits in half the instructions. Only the operations the paired code
// needs are here; each has the semantics of its Vec4 namesake.
//
// On x86-64 the lanes are an AVX register; the portable fallback is two Vec4s.
#pragma once

#include "engine/dsp/vec4.h"

namespace lf {
inline namespace LF_ABI {

#if LUMENFROST_X86

struct Int8 {
    __m256i v;
    Int8() = default;
    explicit Int8(__m256i x) : v(x) {}
    Int8(int32_t a) : v(_mm256_set1_epi32(a)) {}
};

inline Int8 operator+(Int8 a, Int8 b) {
    return Int8(_mm256_add_epi32(a.v, b.v));
}
inline Int8 operator-(Int8 a, Int8 b) {
    return Int8(_mm256_sub_epi32(a.v, b.v));
}
inline Int8 operator&(Int8 a, Int8 b) {
    return Int8(_mm256_and_si256(a.v, b.v));
}
inline Int8 shift_left(Int8 a, int n) {
    return Int8(_mm256_slli_epi32(a.v, n));
}
inline Int8 shift_right_logical(Int8 a, int n) {
    return Int8(_mm256_srli_epi32(a.v, n));
}

struct Vec8 {
    __m256 v;

    Vec8() = default;
    explicit Vec8(__m256 x) : v(x) {}
    // Broadcast; opaque to constant folding, like Vec4's.
    Vec8(float a) : v(_mm256_set1_ps(a)) { __asm__("" : "+x"(v)); }
    // (lo, hi): lanes 0-3 from lo, lanes 4-7 from hi.
    static Vec8 join(Vec4 lo, Vec4 hi) {
        return Vec8(_mm256_insertf128_ps(_mm256_castps128_ps256(lo.v), hi.v, 1));
    }
    static Vec8 zero() { return Vec8(_mm256_setzero_ps()); }
    // Eight consecutive floats, lanes 0-7.
    static Vec8 load(const float* p) { return Vec8(_mm256_loadu_ps(p)); }
    Vec4 low() const { return Vec4(_mm256_castps256_ps128(v)); }
    Vec4 high() const { return Vec4(_mm256_extractf128_ps(v, 1)); }
    float lane(int i) const {
        alignas(32) float t[8];
        _mm256_store_ps(t, v);
        return t[i];
    }
};

inline Vec8 operator+(Vec8 a, Vec8 b) {
    return Vec8(_mm256_add_ps(a.v, b.v));
}
inline Vec8 operator-(Vec8 a, Vec8 b) {
    return Vec8(_mm256_sub_ps(a.v, b.v));
}
inline Vec8 operator*(Vec8 a, Vec8 b) {
    return Vec8(_mm256_mul_ps(a.v, b.v));
}
inline Vec8 operator/(Vec8 a, Vec8 b) {
    return Vec8(_mm256_div_ps(a.v, b.v));
}
inline Vec8 operator-(Vec8 a) {
    return Vec8(_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f)));
}

inline Vec8 fma(Vec8 a, Vec8 b, Vec8 c) {
    return Vec8(_mm256_fmadd_ps(a.v, b.v, c.v));
}
inline Vec8 fms(Vec8 a, Vec8 b, Vec8 c) {
    return Vec8(_mm256_fmsub_ps(a.v, b.v, c.v));
}
inline Vec8 fnma(Vec8 a, Vec8 b, Vec8 c) {
    return Vec8(_mm256_fnmadd_ps(a.v, b.v, c.v));
}
inline Vec8 fnms(Vec8 a, Vec8 b, Vec8 c) {
    return Vec8(_mm256_fnmsub_ps(a.v, b.v, c.v));
}

inline Vec8 min(Vec8 a, Vec8 b) {
    return Vec8(_mm256_min_ps(a.v, b.v));
}
inline Vec8 max(Vec8 a, Vec8 b) {
    return Vec8(_mm256_max_ps(a.v, b.v));
}
inline Vec8 abs(Vec8 a) {
    return Vec8(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v));
}
inline Vec8 floor(Vec8 a) {
    return Vec8(_mm256_round_ps(a.v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}
inline Vec8 round_even(Vec8 a) {
    return Vec8(_mm256_round_ps(a.v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

inline Int8 to_int(Vec8 a) {
    return Int8(_mm256_cvtps_epi32(a.v));
}
inline Vec8 to_float(Int8 a) {
    return Vec8(_mm256_cvtepi32_ps(a.v));
}
inline Int8 bits(Vec8 a) {
    return Int8(_mm256_castps_si256(a.v));
}
inline Vec8 from_bits(Int8 a) {
    return Vec8(_mm256_castsi256_ps(a.v));
}

// The predicates of the SSE comparisons: ordered, signalling, false for NaN.
inline Vec8 operator<(Vec8 a, Vec8 b) {
    return Vec8(_mm256_cmp_ps(a.v, b.v, _CMP_LT_OS));
}
inline Vec8 operator<=(Vec8 a, Vec8 b) {
    return Vec8(_mm256_cmp_ps(a.v, b.v, _CMP_LE_OS));
}
inline Vec8 operator>(Vec8 a, Vec8 b) {
    return Vec8(_mm256_cmp_ps(b.v, a.v, _CMP_LT_OS));
}
inline Vec8 operator>=(Vec8 a, Vec8 b) {
    return Vec8(_mm256_cmp_ps(b.v, a.v, _CMP_LE_OS));
}
inline Vec8 select(Vec8 mask, Vec8 a, Vec8 b) {
    return Vec8(_mm256_blendv_ps(b.v, a.v, mask.v));
}

// Lane i = table[index lane i] (indices already masked).
inline Vec8 gather(const float* table, Int8 index) {
    return Vec8(_mm256_i32gather_ps(table, index.v, 4));
}

// Shuffles and blends act within each half, the Vec4 operation on both.
template <int I0, int I1, int I2, int I3>
inline Vec8 shuffle(Vec8 a) {
    return Vec8(_mm256_permute_ps(a.v, _MM_SHUFFLE(I3, I2, I1, I0)));
}
template <int I>
inline Vec8 with_lane(Vec8 a, Vec8 b) {
    return Vec8(_mm256_blend_ps(a.v, b.v, (1 << I) | (1 << (I + 4))));
}

#else  // portable fallback: two Vec4s

struct Int8 {
    Int4 lo, hi;
    Int8() = default;
    Int8(Int4 l, Int4 h) : lo(l), hi(h) {}
    Int8(int32_t a) : lo(a), hi(a) {}
};

inline Int8 operator+(Int8 a, Int8 b) {
    return {a.lo + b.lo, a.hi + b.hi};
}
inline Int8 operator-(Int8 a, Int8 b) {
    return {a.lo - b.lo, a.hi - b.hi};
}
inline Int8 operator&(Int8 a, Int8 b) {
    return {a.lo & b.lo, a.hi & b.hi};
}
inline Int8 shift_left(Int8 a, int n) {
    return {shift_left(a.lo, n), shift_left(a.hi, n)};
}
inline Int8 shift_right_logical(Int8 a, int n) {
    return {shift_right_logical(a.lo, n), shift_right_logical(a.hi, n)};
}

struct Vec8 {
    Vec4 lo, hi;
    Vec8() = default;
    Vec8(float a) : lo(a), hi(a) {}
    static Vec8 join(Vec4 l, Vec4 h) {
        Vec8 r;
        r.lo = l, r.hi = h;
        return r;
    }
    static Vec8 zero() { return Vec8(0.0f); }
    static Vec8 load(const float* p) { return join(Vec4::load(p), Vec4::load(p + 4)); }
    Vec4 low() const { return lo; }
    Vec4 high() const { return hi; }
    float lane(int i) const { return i < 4 ? lo.lane(i) : hi.lane(i - 4); }
};

#define LF_PAIR1(f)                          \
    inline Vec8 f(Vec8 a) {                  \
        return Vec8::join(f(a.lo), f(a.hi)); \
    }
#define LF_PAIR2(f)                                      \
    inline Vec8 f(Vec8 a, Vec8 b) {                      \
        return Vec8::join(f(a.lo, b.lo), f(a.hi, b.hi)); \
    }
#define LF_PAIR3(f)                                                  \
    inline Vec8 f(Vec8 a, Vec8 b, Vec8 c) {                          \
        return Vec8::join(f(a.lo, b.lo, c.lo), f(a.hi, b.hi, c.hi)); \
    }
LF_PAIR2(operator+)
LF_PAIR2(operator-)
LF_PAIR2(operator*)
LF_PAIR2(operator/)
LF_PAIR1(operator-)
LF_PAIR3(fma)
LF_PAIR3(fms)
LF_PAIR3(fnma)
LF_PAIR3(fnms)
LF_PAIR2(min)
LF_PAIR2(max)
LF_PAIR1(abs)
LF_PAIR1(floor)
LF_PAIR1(round_even)
LF_PAIR2(operator<)
LF_PAIR2(operator<=)
LF_PAIR2(operator>)
LF_PAIR2(operator>=)
LF_PAIR3(select)
#undef LF_PAIR1
#undef LF_PAIR2
#undef LF_PAIR3

inline Int8 to_int(Vec8 a) {
    return {to_int(a.lo), to_int(a.hi)};
}
inline Vec8 to_float(Int8 a) {
    return Vec8::join(to_float(a.lo), to_float(a.hi));
}
inline Int8 bits(Vec8 a) {
    return {bits(a.lo), bits(a.hi)};
}
inline Vec8 from_bits(Int8 a) {
    return Vec8::join(from_bits(a.lo), from_bits(a.hi));
}
inline Vec8 gather(const float* table, Int8 index) {
    return Vec8::join(gather(table, index.lo), gather(table, index.hi));
}
template <int I0, int I1, int I2, int I3>
inline Vec8 shuffle(Vec8 a) {
    return Vec8::join(shuffle<I0, I1, I2, I3>(a.lo), shuffle<I0, I1, I2, I3>(a.hi));
}
template <int I>
inline Vec8 with_lane(Vec8 a, Vec8 b) {
    return Vec8::join(with_lane<I>(a.lo, b.lo), with_lane<I>(a.hi, b.hi));
}

#endif

// (a0, a1, a0, a1) in each half.
inline Vec8 dup_low(Vec8 a) {
    return shuffle<0, 1, 0, 1>(a);
}

// A four-lane pattern at the width of `like`: itself for a Vec4, in both
// halves for a Vec8. Lets one template serve both widths.
inline Vec4 lanes_like(Vec4, Vec4 pattern) { return pattern; }
inline Vec8 lanes_like(Vec8, Vec4 pattern) { return Vec8::join(pattern, pattern); }

}  // namespace LF_ABI
}  // namespace lf
