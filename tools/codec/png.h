// Palette PNG images for the codec report's spectrograms, written by libpng.
#pragma once

#include <cstdint>
#include <vector>

namespace codec {

struct Rgb {
    uint8_t r, g, b;
};

// Pixels are palette indices, row by row from the top; at most 256 colours.
std::vector<uint8_t> png_bytes(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<Rgb>& palette);

}  // namespace codec
