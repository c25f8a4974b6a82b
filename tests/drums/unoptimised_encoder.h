// The encoder built a second time without optimisation, in a namespace of its
// own: the same source must give the same bytes whatever the compiler does
// with it (no vectorising, no fusing of products it was not told to fuse).
#pragma once

#include <cstdint>
#include <vector>

namespace unoptimised {

std::vector<uint8_t> encode(const std::vector<float>& signal, const std::vector<uint8_t>& types);

}  // namespace unoptimised
