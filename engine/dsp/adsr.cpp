// Arithmetic runs in Vec4 lanes, even where one lane would do, so that the
// literals stay opaque to the optimiser and every operation rounds at run time
// in the engine's mode.
#include "engine/dsp/adsr.h"

#include <bit>
#include <cmath>
#include <limits>

#include "engine/dsp/math.h"
#include "engine/dsp/memo.h"

namespace lf {

namespace {

// A decay or release multiplies the level by the same ratio, 2^b, on every
// frame, and b depends on the shape alone: kept by shape, the division and
// the exponential run once per shape instead of once per note and frame.
// One table per rendering thread: a cache, never in a result, and no
// thread ever reads a slot another is writing.
thread_local MemoTable<16> decay_ratios;
thread_local MemoTable<16> release_ratios;

}  // namespace

void adsr_step(const EnvShape& shape, NoteState note, float& level) {
    const float age = note.lane(2);
    const float since_off = note.lane(3);
    Vec4 l(level);
    if (age < shape.attack_s) {
        // L + ((1 − L)·(1/44100)) / (attack − age): the remaining distance to 1
        // spread evenly over the frames left in the attack, so the ramp is a
        // straight line to 1 from wherever a retrigger finds the level.
        Vec4 step = (Vec4(1.0f) - l) * Vec4(FRAME_SECONDS);
        l = l + step / (Vec4(shape.attack_s) - broadcast<2>(note));
    } else {
        // A constant ratio per frame: b octaves of amplitude. Where b is at
        // most 0 (or −∞), 2^b is a finite number >= +0, and a level of ±0
        // times it is the same zero: released and decayed notes, which sit at
        // exactly 0 once their level has fallen below the smallest float,
        // return early with their level as it is. (A positive release time,
        // or a positive decay time with a finite, falling decay, keeps b there.)
        if (since_off >= 0.0f) {
            if (level == 0.0f && shape.release_s > 0.0f) return;
            // −log2(1000)/44100/release: −60 dB over the release time.
            const float ratio = release_ratios.get(std::bit_cast<uint32_t>(shape.release_s), [&] {
                return fast_exp2(Vec4(-0.0002259815f) / Vec4(shape.release_s)).lane0();
            });
            level = (l * Vec4(ratio)).lane0();
            return;
        }
        if (age < shape.decay_s) {
            if (level == 0.0f && shape.decay_s > 0.0f && shape.decay_db <= 0.0f &&
                shape.decay_db >= -std::numeric_limits<float>::max()) {
                return;
            }
            // decay_dB·log2(10)/20/44100/decay time.
            const float ratio = decay_ratios.get(memo_key(shape.decay_db, shape.decay_s), [&] {
                return fast_exp2(Vec4(shape.decay_db) * Vec4(3.7663583e-06f) / Vec4(shape.decay_s))
                    .lane0();
            });
            level = (l * Vec4(ratio)).lane0();
            return;
        }
        // Sustain multiplies by fast_exp2(0), which is exactly 1: a level
        // that is zero or a finite normal number stays as it is.
        const float size = std::abs(level);
        if (size == 0.0f || (size >= std::numeric_limits<float>::min() &&
                             size <= std::numeric_limits<float>::max())) {
            return;
        }
        l = l * fast_exp2(Vec4::zero());
    }
    level = l.lane0();
}

}  // namespace lf
