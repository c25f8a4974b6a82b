// Frequency shifting by the analytic signal.
//
// Two chains of four all-pass sections, each section (a − z⁻²)/(1 − a·z⁻²),
// turn the input into two signals of equal magnitude whose phases differ by a
// quarter turn over most of the audio band (path A is taken one frame late to
// line the two up). Multiplying that pair by the cosine and sine of a running
// phase and adding keeps only one sideband: every component moves by the
// shift frequency, up or down with its sign, instead of splitting in two as
// ring modulation would. The shifted signal then runs through a delay whose
// feedback returns into the line after the shift: the repeats keep the
// shifted pitch and only fade, they are not shifted again.
//
// Much of this is the same work twice on independent data: path A and path B
// of one shifter see the same input, its left and right angles differ only by
// the offset, and the down and up shifter of a band-shifter stage see the same
// high band. Such pairs run in the two halves of a Vec8, whose lanes do
// exactly the Vec4 operations of the plain form (same instruction, same
// rounding, same operands per lane), so every output and every state update
// keeps its bits in fewer instructions. The records keep their layout: halves
// are joined on loading and split on storing.
#include "engine/dsp/shifter.h"

#include "engine/dsp/math.h"
#include "engine/dsp/vec8.h"

namespace lf {

namespace {

constexpr float PATH_A[4] = {0.4794f, 0.876218f, 0.976598f, 0.997499f};
constexpr float PATH_B[4] = {0.161758f, 0.733029f, 0.94535f, 0.990599f};

// Section i of both paths in one row: path A's coefficient in lanes 0-3, path
// B's in lanes 4-7 (copies of the digits above, no arithmetic).
struct PathRows {
    float row[4][8];
};
constexpr PathRows pair_paths() {
    PathRows p{};
    for (int i = 0; i < 4; ++i) {
        for (int lane = 0; lane < 4; ++lane) {
            p.row[i][lane] = PATH_A[i];
            p.row[i][lane + 4] = PATH_B[i];
        }
    }
    return p;
}
alignas(32) constexpr PathRows PATHS_AB = pair_paths();

// (0, 0, π/2, π/2) in each half: sines in lanes 0-1, cosines in lanes 2-3.
alignas(32) constexpr float QUARTER[8] = {0.0f, 0.0f, 1.5707964f, 1.5707964f,
                                          0.0f, 0.0f, 1.5707964f, 1.5707964f};

// Four sections in series: y = a·u + m1, m1 = m2, m2 = a·y − u. Lanes 0-3 run
// the sections whose memories are `lo`, lanes 4-7 those in `hi`; coeff(i) is
// section i's coefficient in each half. m1 = m2 only moves values, so it is a
// copy of each half's memory and never enters the register.
template <typename Coeff>
inline Vec8 allpass_chain(AllpassMemory (&lo)[4], AllpassMemory (&hi)[4], Coeff coeff, Vec8 u) {
    for (int i = 0; i < 4; ++i) {
        Vec8 a = coeff(i);
        Vec8 y = fma(a, u, Vec8::join(lo[i].m1, hi[i].m1));
        lo[i].m1 = lo[i].m2;
        hi[i].m1 = hi[i].m2;
        Vec8 m2 = fms(a, y, u);
        lo[i].m2 = m2.low();
        hi[i].m2 = m2.high();
        u = y;
    }
    return u;
}

// Lanes (s2, s3, s2, s3)·dA + (s0, s1, s0, s1)·yB: cosine times one path plus
// sine times the other, for the angle whose sines and cosines s holds (in
// each half of a Vec8).
template <typename V>
inline V rotate(V s, V d_a, V y_b) {
    return fma(dup_low(s), y_b, shuffle<2, 3, 2, 3>(s) * d_a);
}

// The delay read of delay_read_linear with its slot found in integers. The
// plain read takes floor(index + d) in floats, lane 0, as the slot; for a lane-0
// delay d0 with 0 <= d0 < 2^23 that is index + floor(d0) exactly: with
// n = floor(d0) and k = index + n (below 2^24, so a float), k <= index + d0 < k + 1,
// and the sum rounded toward −∞ (the engine's mode) lands in [k, index + d0],
// whose floor is k. So the slot is known as soon as the index is, without the
// float round trip, and the read no longer waits on it. Each lane's fraction
// is still p − floor(p) of the rounded sum, as in the plain read. Other delays
// (negative, huge, NaN) take the plain read.
inline bool whole_frames_known(Vec4 delay_frames, int32_t& whole) {
    const float d0 = delay_frames.lane0();
    whole = to_int(floor(delay_frames).lane0());
    return d0 >= 0.0f && d0 < 8388608.0f;
}

// The shifted signal v into the line, the repeat w read delay_frames back and
// returned into the newest slot: v + feedback·w there. Returns w. With
// WHOLE_KNOWN, `whole` is floor(delay_frames lane 0) (whole_frames_known).
template <bool WHOLE_KNOWN>
inline Vec4 delay_loop(DelayRing& ring, Vec4 v, Vec4 delay_frames, int32_t whole, Vec4 feedback) {
    delay_push(ring, v);
    Vec4 w;
    if constexpr (WHOLE_KNOWN) {
        Vec4 p = Vec4(static_cast<float>(ring.index)) + delay_frames;
        int32_t i = ring.index + whole;
        delay_prefetch(ring, i);
        Vec4 a = ring.slot[i & RING_MASK];
        Vec4 b = ring.slot[(i + 1) & RING_MASK];
        // a + f·(b − a)
        w = fma(p - floor(p), b - a, a);
    } else {
        w = delay_read_linear(ring, delay_frames);
    }
    ring.slot[ring.index] = fma(feedback, w, v);
    return w;
}

// Parameters of two shifters run side by side: lanes 0-3 for the first,
// lanes 4-7 for the second. delay_frames is 44.1·delay in milliseconds.
struct ShifterPairParams {
    Vec8 shift_hz;
    Vec8 phase_offset;
    Vec8 right_offset;
    Vec8 delay_frames;
    Vec8 feedback;
    Vec8 wet;
};

// Two shifters fed the same x: each half computes exactly freq_shift_process
// of its shifter. Returns both outputs (first in lanes 0-3). whole_first and
// whole_second as for delay_loop.
// With SAME_ANGLES the right offset is +0 in every lane: turns + (+0) is turns
// itself, bit for bit (−0 + +0 stays −0 when rounding toward −∞), so the right
// angle's sines are the left one's and the right lane of v is the left rotation's.
template <bool WHOLE_KNOWN, bool SAME_ANGLES>
inline Vec8 freq_shift_pair(FreqShifter& first, FreqShifter& second, Vec4 x,
                            const ShifterPairParams& params, int32_t whole_first,
                            int32_t whole_second) {
    // phase = phase + shift·(1/44100), wrapped into [0, 1).
    Vec8 phase = fma(params.shift_hz, Vec8(FRAME_SECONDS), Vec8::join(first.phase, second.phase));
    phase = phase - floor(phase);
    first.phase = phase.low();
    second.phase = phase.high();

    const Vec8 u = Vec8::join(x, x);
    Vec8 y_a = allpass_chain(
        first.path_a, second.path_a, [](int i) { return Vec8(PATH_A[i]); }, u);
    Vec8 d_a = Vec8::join(first.previous_a, second.previous_a);
    first.previous_a = y_a.low();
    second.previous_a = y_a.high();
    Vec8 y_b = allpass_chain(
        first.path_b, second.path_b, [](int i) { return Vec8(PATH_B[i]); }, u);

    // The left and right angles of both shifters, as in freq_shift_process.
    const Vec8 two_pi(6.2831855f);
    const Vec8 quarter = Vec8::load(QUARTER);
    Vec8 turns = phase + params.phase_offset;
    Vec8 s_left = fast_sin(fma(two_pi, turns, quarter));
    Vec8 v = rotate(s_left, d_a, y_b);
    if constexpr (!SAME_ANGLES) {
        Vec8 s_right = fast_sin(fma(two_pi, turns + params.right_offset, quarter));
        v = with_lane<1>(v, rotate(s_right, d_a, y_b));
    }

    Vec4 w_first = delay_loop<WHOLE_KNOWN>(first.ring, v.low(), params.delay_frames.low(),
                                           whole_first, params.feedback.low());
    Vec4 w_second = delay_loop<WHOLE_KNOWN>(second.ring, v.high(), params.delay_frames.high(),
                                            whole_second, params.feedback.high());
    return fma(params.wet, Vec8::join(w_first, w_second), d_a);
}

template <bool WHOLE_KNOWN>
inline Vec4 single_shift(FreqShifter& shifter, Vec4 x, const FreqShiftParams& params,
                         Vec4 delay_frames, int32_t whole) {
    // phase = phase + shift·(1/44100), wrapped into [0, 1).
    Vec4 phase = fma(params.shift_hz, Vec4(FRAME_SECONDS), shifter.phase);
    phase = phase - floor(phase);
    shifter.phase = phase;

    // Path A in lanes 0-3, path B in lanes 4-7, both on x.
    Vec8 y = allpass_chain(
        shifter.path_a, shifter.path_b, [](int i) { return Vec8::load(PATHS_AB.row[i]); },
        Vec8::join(x, x));
    Vec4 y_a = y.low();
    Vec4 y_b = y.high();
    Vec4 d_a = shifter.previous_a;
    shifter.previous_a = y_a;

    // angle = 2π·(phase + offset [+ right offset]) + (0, 0, π/2, π/2): sines in
    // lanes 0-1, cosines in lanes 2-3; the left angle in the low half, the
    // right one in the high half. The right channel (lane 1) takes its
    // rotation from the angle with the extra offset.
    Vec4 turns = phase + params.phase_offset;
    Vec8 s = fast_sin(
        fma(Vec8(6.2831855f), Vec8::join(turns, turns + params.right_offset), Vec8::load(QUARTER)));
    Vec4 v = with_lane<1>(rotate(s.low(), d_a, y_b), rotate(s.high(), d_a, y_b));

    // The repeat feeds back into the line.
    Vec4 w = delay_loop<WHOLE_KNOWN>(shifter.ring, v, delay_frames, whole, params.feedback);
    return fma(params.wet, w, d_a);
}

template <bool WHOLE_KNOWN, bool SAME_ANGLES>
inline Vec4 band_stages(BandShifter& shifter, Vec4 high, uint32_t stages,
                        const ShifterPairParams& down_up, int32_t whole_down, int32_t whole_up) {
    for (uint32_t k = 0; k < stages; ++k) {
        Vec8 shifted = freq_shift_pair<WHOLE_KNOWN, SAME_ANGLES>(shifter.shifter[2 * k],
                                                                 shifter.shifter[2 * k + 1], high,
                                                                 down_up, whole_down, whole_up);
        high = shifted.low() - shifted.high();
    }
    return high;
}

}  // namespace

Vec4 freq_shift_process(FreqShifter& shifter, Vec4 x, const FreqShiftParams& params) {
    // Delay in milliseconds: 44.1 frames each.
    const Vec4 delay_frames = Vec4(44.1f) * params.delay_ms;
    int32_t whole;
    if (whole_frames_known(delay_frames, whole)) {
        return single_shift<true>(shifter, x, params, delay_frames, whole);
    }
    return single_shift<false>(shifter, x, params, delay_frames, whole);
}

Vec4 band_shift_process(BandShifter& shifter, Vec4 x, const BandShiftParams& params) {
    // Designed again only when the crossover frequency changes.
    if (!design_inputs_repeat(shifter.split_inputs, params.crossover_hz, Vec4::zero())) {
        design_crossover(shifter.split, params.crossover_hz);
    }
    // Every stage's delay read starts from its ring's index, which lies apart
    // from the rest of the shifter: ask for all of them now, so the later
    // stages find theirs at hand. Hints only.
    for (uint32_t k = 0; k < 2 * params.stages; ++k) {
        __builtin_prefetch(&shifter.shifter[k].ring.index);
    }
    CrossoverOutput bands = crossover_process(shifter.split, x);

    // Each stage shifts the high band down and up in two shifters with their own
    // delays and keeps the difference: the unshifted (dry) parts cancel. The
    // down shifter runs in lanes 0-3, the up shifter in lanes 4-7.
    const Vec4 base_delay_ms = params.base_delay_ms;
    const ShifterPairParams down_up{
        Vec8::join(-params.shift_hz, params.shift_hz),
        Vec8::zero(),
        Vec8::join(params.right_offset, params.right_offset),
        Vec8(44.1f) * Vec8::join(base_delay_ms, base_delay_ms * params.delay_ratio),
        Vec8::zero(),
        Vec8(1.0f),
    };
    int32_t whole_down, whole_up;
    const bool known = whole_frames_known(down_up.delay_frames.low(), whole_down) &&
                       whole_frames_known(down_up.delay_frames.high(), whole_up);
    const bool same_angles = all_zero(bits(params.right_offset));
    Vec4 high;
    if (known && same_angles)
        high = band_stages<true, true>(shifter, bands.high, params.stages, down_up, whole_down,
                                       whole_up);
    else if (known)
        high = band_stages<true, false>(shifter, bands.high, params.stages, down_up, whole_down,
                                        whole_up);
    else
        high = band_stages<false, false>(shifter, bands.high, params.stages, down_up, 0, 0);
    // low + wet·high
    return fma(params.wet, high, bands.low);
}

}  // namespace lf
