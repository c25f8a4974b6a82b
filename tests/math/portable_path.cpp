#include "tests/math/portable_path.h"

#include <cstring>

#include "engine/dsp/math.h"

#if LUMENFROST_X86
#error "portable_path.cpp must be built without the engine's instruction-set flags"
#endif

namespace probe {

void apply(Fn fn, const float in[4], float out[4]) {
    using namespace lf;
    Vec4 x = Vec4::load(in);
    Vec4 y;
    switch (fn) {
        case Fn::exp2: y = fast_exp2(x); break;
        case Fn::log2: y = fast_log2(x); break;
        case Fn::sin: y = fast_sin(x); break;
        case Fn::gain: y = unit_to_gain(x); break;
        case Fn::cutoff: y = unit_to_cutoff(x); break;
        case Fn::q: y = unit_to_q(x); break;
        case Fn::floor: y = floor(x); break;
        case Fn::round_even: y = round_even(x); break;
        case Fn::to_int_bits: y = from_bits(to_int(x)); break;
    }
    y.store(out);
}

void noise_hash(const uint32_t counter[4], const uint32_t step[4], float out[4]) {
    using namespace lf;
    Int4 c, s;
    std::memcpy(c.l, counter, 16);
    std::memcpy(s.l, step, 16);
    (to_float(aes_round(c, s)) * Vec4(4.656613e-10f)).store(out);
}

}  // namespace probe
