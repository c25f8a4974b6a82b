#include "engine/dsp/math.h"

namespace lf {
inline namespace LF_ABI {

Vec4 ConstVec[CONST_COUNT];

void fill_const_vec() {
    static const float values[CONST_COUNT] = {
        0.0f,          -0.0f,         0.0009765625f,  1.0f,          2.0f,        0.5f,
        4.0f,          0.225f,        0.70710677f,    3.1415927f,    6.2831855f,  0.31830987f,
        0.63661975f,   1.5707964f,    0.00015465324f, 0.0013395292f, 0.00961804f, 0.055503406f,
        0.2402265f,    0.6931472f,    0.41098154f,    0.4021555f,    0.5775502f,  0.9617878f,
        2.88539f,      3.4028235e38f, -3.4028235e38f, 0.083333336f,  3.0313597f,  0.1660964f,
        0.015625f,     0.0052083335f, 0.0078125f,     256.0f,        0.0078125f,  FRAME_SECONDS,
        0.0058049886f,
    };
    for (int i = 0; i < CONST_COUNT; ++i) ConstVec[i] = Vec4(values[i]);
}

void noise_init(NoiseGen& noise_gen) {
    // Bytes 0F 1E 2D 3C 4B 5A 69 78 87 96 A5 B4 C3 D2 E1 F0 as little-endian lanes.
    noise_gen.step = Int4::set(0x3C2D1E0F, 0x78695A4B, static_cast<int32_t>(0xB4A59687u),
                               static_cast<int32_t>(0xF0E1D2C3u));
    noise_gen.counter = Int4(0);
}

}  // namespace LF_ABI
}  // namespace lf
