// Eight lanes must be two Vec4s exactly: every Vec8 operation, and the math
// functions built on them, against the Vec4 operation on each half, bit for
// bit, over ordinary values and the awkward ones (signed zeros, denormals,
// infinities, NaN, ties, huge and tiny magnitudes).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/dsp/math.h"
#include "engine/dsp/vec8.h"
#include "tests/engine_mode.h"

using namespace lf;
using namespace lf::test;

using Vec8Mode = EngineMode;

namespace {

// Operands: the special values, then random floats of every magnitude and sign.
std::vector<float> operands() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> v = {0.0f,    -0.0f,    1.0f,   -1.0f,   0.5f,    -0.5f,   1.5f,
                            2.5f,    -2.5f,    1e-40f, -1e-40f, inf,     -inf,    std::nanf(""),
                            3.4e38f, -3.4e38f, 1e-30f, 127.0f,  -127.0f, -126.5f, 6.2831855f};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-40, 40);
    while (v.size() < 4096) v.push_back(std::ldexp(unit(rng), exponent(rng)));
    return v;
}

Vec4 quad(const std::vector<float>& v, size_t i) {
    return Vec4::set(v[i % v.size()], v[(i + 1) % v.size()], v[(i + 2) % v.size()],
                     v[(i + 3) % v.size()]);
}

// Lane i of the Vec8 result equals lane i of the Vec4 result on the matching half.
void expect_halves(Vec8 wide, Vec4 lo, Vec4 hi, const char* what, size_t at) {
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(float_bits(wide.lane(i)), float_bits(lo.lane(i)))
            << what << " lane " << i << " at " << at;
        ASSERT_EQ(float_bits(wide.lane(i + 4)), float_bits(hi.lane(i)))
            << what << " lane " << i + 4 << " at " << at;
    }
}

}  // namespace

TEST_F(Vec8Mode, JoinAndHalvesRoundTrip) {
    Vec4 a = Vec4::set(1.0f, -2.0f, 3.0f, -0.0f);
    Vec4 b = Vec4::set(5.0f, 6.0f, -7.0f, 8.0f);
    Vec8 w = Vec8::join(a, b);
    expect_halves(w, a, b, "join", 0);
    expect_halves(Vec8::join(w.low(), w.high()), a, b, "halves", 0);
    expect_halves(Vec8(2.5f), Vec4(2.5f), Vec4(2.5f), "broadcast", 0);
    expect_halves(Vec8::zero(), Vec4::zero(), Vec4::zero(), "zero", 0);
}

TEST_F(Vec8Mode, EveryOperationIsTheVec4OperationOnEachHalf) {
    const std::vector<float> v = operands();
    for (size_t i = 0; i < v.size(); i += 3) {
        const Vec4 a0 = quad(v, i), a1 = quad(v, i + 4);
        const Vec4 b0 = quad(v, i + 101), b1 = quad(v, i + 105);
        const Vec4 c0 = quad(v, i + 2003), c1 = quad(v, i + 2007);
        const Vec8 a = Vec8::join(a0, a1), b = Vec8::join(b0, b1), c = Vec8::join(c0, c1);
        expect_halves(a + b, a0 + b0, a1 + b1, "+", i);
        expect_halves(a - b, a0 - b0, a1 - b1, "-", i);
        expect_halves(a * b, a0 * b0, a1 * b1, "*", i);
        expect_halves(a / b, a0 / b0, a1 / b1, "/", i);
        expect_halves(-a, -a0, -a1, "negate", i);
        expect_halves(fma(a, b, c), fma(a0, b0, c0), fma(a1, b1, c1), "fma", i);
        expect_halves(fms(a, b, c), fms(a0, b0, c0), fms(a1, b1, c1), "fms", i);
        expect_halves(fnma(a, b, c), fnma(a0, b0, c0), fnma(a1, b1, c1), "fnma", i);
        expect_halves(fnms(a, b, c), fnms(a0, b0, c0), fnms(a1, b1, c1), "fnms", i);
        expect_halves(min(a, b), min(a0, b0), min(a1, b1), "min", i);
        expect_halves(max(a, b), max(a0, b0), max(a1, b1), "max", i);
        expect_halves(abs(a), abs(a0), abs(a1), "abs", i);
        expect_halves(floor(a), floor(a0), floor(a1), "floor", i);
        expect_halves(round_even(a), round_even(a0), round_even(a1), "round_even", i);
        // Against b, and against max(a, b), which equals a in about half the lanes.
        const Vec8 m = max(a, b);
        const Vec4 m0 = max(a0, b0), m1 = max(a1, b1);
        expect_halves(a < b, a0 < b0, a1 < b1, "<", i);
        expect_halves(a <= b, a0 <= b0, a1 <= b1, "<=", i);
        expect_halves(a > b, a0 > b0, a1 > b1, ">", i);
        expect_halves(a >= b, a0 >= b0, a1 >= b1, ">=", i);
        expect_halves(a < m, a0 < m0, a1 < m1, "< ties", i);
        expect_halves(a <= m, a0 <= m0, a1 <= m1, "<= ties", i);
        expect_halves(m > a, m0 > a0, m1 > a1, "> ties", i);
        expect_halves(m >= a, m0 >= a0, m1 >= a1, ">= ties", i);
        expect_halves(select(a < b, a, c), select(a0 < b0, a0, c0), select(a1 < b1, a1, c1),
                      "select", i);
        // Integer lanes through their bit patterns; conversions of values that fit.
        const Vec8 small = min(max(a, Vec8(-1e9f)), Vec8(1e9f));
        const Vec4 s0 = min(max(a0, Vec4(-1e9f)), Vec4(1e9f));
        const Vec4 s1 = min(max(a1, Vec4(-1e9f)), Vec4(1e9f));
        expect_halves(to_float(to_int(small)), to_float(to_int(s0)), to_float(to_int(s1)), "to_int",
                      i);
        expect_halves(from_bits(shift_left(bits(a), 3) + bits(b)),
                      from_bits(shift_left(bits(a0), 3) + bits(b0)),
                      from_bits(shift_left(bits(a1), 3) + bits(b1)), "int add", i);
        expect_halves(from_bits(shift_right_logical(bits(a), 5) - (bits(b) & Int8(0x7FFF))),
                      from_bits(shift_right_logical(bits(a0), 5) - (bits(b0) & Int4(0x7FFF))),
                      from_bits(shift_right_logical(bits(a1), 5) - (bits(b1) & Int4(0x7FFF))),
                      "int sub", i);
    }
}

TEST_F(Vec8Mode, MathFunctionsMatchTheirVec4Forms) {
    const std::vector<float> v = operands();
    for (size_t i = 0; i < v.size(); i += 2) {
        // Each function within its stated domain: exp2 below 128, log2 of normal
        // or non-positive values, sin of any finite angle.
        const Vec4 a0 = quad(v, i), a1 = quad(v, i + 4);
        const Vec4 e0 = min(a0, Vec4(127.0f)), e1 = min(a1, Vec4(127.0f));
        expect_halves(fast_exp2(Vec8::join(e0, e1)), fast_exp2(e0), fast_exp2(e1), "exp2", i);
        expect_halves(fast_log2(Vec8::join(a0, a1)), fast_log2(a0), fast_log2(a1), "log2", i);
        const Vec4 f0 = min(max(a0, Vec4(-1e6f)), Vec4(1e6f));
        const Vec4 f1 = min(max(a1, Vec4(-1e6f)), Vec4(1e6f));
        expect_halves(fast_sin(Vec8::join(f0, f1)), fast_sin(f0), fast_sin(f1), "sin", i);
    }
}

// The in-half shuffles, the in-half lane blend and the load of eight floats.
TEST_F(Vec8Mode, ShufflesBlendsAndLoadActOnEachHalf) {
    const std::vector<float> v = operands();
    for (size_t i = 0; i + 8 <= v.size(); i += 5) {
        const Vec4 a0 = quad(v, i), a1 = quad(v, i + 4);
        const Vec4 b0 = quad(v, i + 57), b1 = quad(v, i + 61);
        const Vec8 a = Vec8::join(a0, a1), b = Vec8::join(b0, b1);
        expect_halves(Vec8::load(&v[i]), a0, a1, "load", i);
        expect_halves(shuffle<2, 3, 2, 3>(a), shuffle<2, 3, 2, 3>(a0), shuffle<2, 3, 2, 3>(a1),
                      "shuffle 2323", i);
        expect_halves(shuffle<3, 0, 2, 1>(a), shuffle<3, 0, 2, 1>(a0), shuffle<3, 0, 2, 1>(a1),
                      "shuffle 3021", i);
        expect_halves(dup_low(a), dup_low(a0), dup_low(a1), "dup_low", i);
        expect_halves(with_lane<0>(a, b), with_lane<0>(a0, b0), with_lane<0>(a1, b1), "with_lane 0",
                      i);
        expect_halves(with_lane<1>(a, b), with_lane<1>(a0, b0), with_lane<1>(a1, b1), "with_lane 1",
                      i);
        expect_halves(with_lane<3>(a, b), with_lane<3>(a0, b0), with_lane<3>(a1, b1), "with_lane 3",
                      i);
    }
}

// The table gather reads each half's four entries as the Vec4 gather does,
// and a four-lane pattern repeats in both halves.
TEST_F(Vec8Mode, GatherAndPatternsActOnEachHalf) {
    const std::vector<float> table = operands();
    std::mt19937 rng(11);
    std::uniform_int_distribution<int32_t> entry(0, 4095);
    for (int round = 0; round < 500; ++round) {
        int32_t i[8];
        for (int32_t& k : i) k = entry(rng);
        const Int4 lo = Int4::set(i[0], i[1], i[2], i[3]), hi = Int4::set(i[4], i[5], i[6], i[7]);
        const Vec8 both = gather(table.data(), bits(Vec8::join(from_bits(lo), from_bits(hi))));
        expect_halves(both, gather(table.data(), lo), gather(table.data(), hi), "gather", round);
    }
    const Vec4 pattern = Vec4::set(0.0f, -0.0f, 1.0f, 2.5f);
    expect_halves(lanes_like(Vec8::zero(), pattern), pattern, pattern, "lanes_like", 0);
}
