// Compiled at -O0 (see CMakeLists.txt). The encoder's sources are included
// whole with their namespace renamed, so that this copy and the library's
// optimised one live side by side in the test program.
#define codec codec_unoptimised
#include "tools/codec/encoder.cpp"
#include "tools/codec/lapped.cpp"
#undef codec

#include "tests/drums/unoptimised_encoder.h"

namespace unoptimised {

std::vector<uint8_t> encode(const std::vector<float>& signal, const std::vector<uint8_t>& types) {
    return codec_unoptimised::encode(signal, types);
}

}  // namespace unoptimised
