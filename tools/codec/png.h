// A small PNG writer (8-bit palette images) with its own deflate: LZ77 over a
// hash of three bytes, coded with the fixed Huffman tables. Enough for the
// report's spectrograms without a library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace codec {

struct Rgb {
    uint8_t r, g, b;
};

// Pixels are palette indices, row by row from the top.
std::vector<uint8_t> png_bytes(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<Rgb>& palette);

// The deflate stream of `data` (raw, without the zlib header), exposed for tests.
std::vector<uint8_t> deflate_fixed(const std::vector<uint8_t>& data);

}  // namespace codec
