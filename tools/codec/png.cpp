#include "tools/codec/png.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>

namespace codec {

namespace {

void append_bytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void no_flush(png_structp) {}

}  // namespace

std::vector<uint8_t> png_bytes(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<Rgb>& palette) {
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height) ||
        palette.empty() || palette.size() > 256) {
        throw std::invalid_argument("png_bytes: the pixels do not fit the size or the palette");
    }
    // Everything that owns memory exists before libpng may jump back here.
    std::vector<png_color> colours;
    for (const Rgb& c : palette) colours.push_back({c.r, c.g, c.b});
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::runtime_error("png_bytes: libpng could not start");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png_bytes: libpng failed to encode the image");
    }
    png_set_write_fn(png, &out, append_bytes, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, pixels.data() + size_t(y) * size_t(width));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace codec
