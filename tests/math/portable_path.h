// The portable Vec4 path, compiled without SSE4.1/FMA/AES, behind a plain
// interface: each function applies one primitive to four floats.
#pragma once

#include <cstdint>

namespace probe {

enum class Fn { exp2, log2, sin, gain, cutoff, q, floor, round_even, to_int_bits };

void apply(Fn fn, const float in[4], float out[4]);
// One noise hash of the portable path: AES round of `counter` keyed by `step`,
// converted to floats in [-1, 1).
void noise_hash(const uint32_t counter[4], const uint32_t step[4], float out[4]);

}  // namespace probe
