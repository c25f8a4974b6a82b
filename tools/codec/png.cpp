#include "tools/codec/png.h"

#include <array>

namespace codec {

namespace {

struct BitWriter {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int count = 0;
    void put(uint32_t value, int bits) {  // least significant bit first
        for (int i = 0; i < bits; ++i) {
            acc |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                count = 0;
            }
        }
    }
    void put_code(uint32_t code, int bits) {  // Huffman codes go most significant bit first
        for (int i = bits - 1; i >= 0; --i) put((code >> i) & 1u, 1);
    }
    void flush() {
        if (count > 0) out.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        count = 0;
    }
};

// The fixed literal/length code of deflate.
void put_symbol(BitWriter& bw, int sym) {
    if (sym < 144)
        bw.put_code(0x30 + sym, 8);
    else if (sym < 256)
        bw.put_code(0x190 + sym - 144, 9);
    else if (sym < 280)
        bw.put_code(sym - 256, 7);
    else
        bw.put_code(0xC0 + sym - 280, 8);
}

const int LEN_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int LEN_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int DIST_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                           33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void put_match(BitWriter& bw, int length, int distance) {
    int l = 28;
    while (LEN_BASE[l] > length) --l;
    put_symbol(bw, 257 + l);
    bw.put(static_cast<uint32_t>(length - LEN_BASE[l]), LEN_EXTRA[l]);
    int d = 29;
    while (DIST_BASE[d] > distance) --d;
    bw.put_code(static_cast<uint32_t>(d), 5);
    bw.put(static_cast<uint32_t>(distance - DIST_BASE[d]), DIST_EXTRA[d]);
}

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_be32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    put_be32(png, static_cast<uint32_t>(data.size()));
    size_t at = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put_be32(png, crc32(png.data() + at, png.size() - at));
}

}  // namespace

std::vector<uint8_t> deflate_fixed(const std::vector<uint8_t>& data) {
    BitWriter bw;
    bw.put(1, 1);  // final block
    bw.put(1, 2);  // fixed Huffman codes
    constexpr int WINDOW = 32768, MAX_LEN = 258;
    std::vector<int> last(1 << 15, -1);
    size_t n = data.size(), i = 0;
    auto hash = [&](size_t at) {
        return ((data[at] << 10) ^ (data[at + 1] << 5) ^ data[at + 2]) & 0x7FFF;
    };
    while (i < n) {
        int best = 0, distance = 0;
        if (i + 3 <= n) {
            int h = hash(i);
            int cand = last[h];
            last[h] = static_cast<int>(i);
            if (cand >= 0 && static_cast<int>(i) - cand <= WINDOW) {
                int len = 0;
                while (len < MAX_LEN && i + len < n && data[cand + len] == data[i + len]) ++len;
                if (len >= 3) {
                    best = len;
                    distance = static_cast<int>(i) - cand;
                }
            }
        }
        if (best >= 3) {
            put_match(bw, best, distance);
            for (size_t k = 1; k < static_cast<size_t>(best) && i + k + 3 <= n; ++k)
                last[hash(i + k)] = static_cast<int>(i + k);
            i += best;
        } else {
            put_symbol(bw, data[i]);
            ++i;
        }
    }
    put_symbol(bw, 256);
    bw.flush();
    return bw.out;
}

std::vector<uint8_t> png_bytes(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<Rgb>& palette) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (width + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), pixels.begin() + static_cast<long>(y) * width,
                   pixels.begin() + static_cast<long>(y + 1) * width);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    std::vector<uint8_t> body = deflate_fixed(raw);
    z.insert(z.end(), body.begin(), body.end());
    uint32_t a = 1, b = 0;  // Adler-32 of the raw data
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_be32(header, static_cast<uint32_t>(width));
    put_be32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 3, 0, 0, 0});  // 8-bit palette, no interlace
    put_chunk(png, "IHDR", header);
    std::vector<uint8_t> plte;
    for (const Rgb& c : palette) plte.insert(plte.end(), {c.r, c.g, c.b});
    put_chunk(png, "PLTE", plte);
    put_chunk(png, "IDAT", z);
    put_chunk(png, "IEND", {});
    return png;
}

}  // namespace codec
