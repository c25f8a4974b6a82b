// The floating-point mode switch and, for processors without AES-NI, a
// software AES round.
#include "engine/dsp/vec4.h"

#include <cfenv>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace lf {

// The asm volatile statements with a memory clobber keep every float
// operation on its side of the switch. On x86-64 the control word is MXCSR for
// both builds: plain floats compute in the same SSE unit as the vectors.
#if defined(__x86_64__)

__attribute__((noinline)) uint32_t read_fp_control() {
    __asm__ volatile("" ::: "memory");
    uint32_t word = _mm_getcsr();
    __asm__ volatile("" ::: "memory");
    return word;
}

__attribute__((noinline)) void write_fp_control(uint32_t word) {
    __asm__ volatile("" ::: "memory");
    _mm_setcsr(word);
    __asm__ volatile("" ::: "memory");
}

#elif defined(__aarch64__)

// FPCR holds the rounding mode (RMode, bits 22-23) and flush-to-zero (FZ, bit 24).
__attribute__((noinline)) uint32_t read_fp_control() {
    uint64_t word;
    __asm__ volatile("mrs %0, fpcr" : "=r"(word)::"memory");
    return static_cast<uint32_t>(word);
}

__attribute__((noinline)) void write_fp_control(uint32_t word) {
    const uint64_t w = word;
    __asm__ volatile("msr fpcr, %0" ::"r"(w) : "memory");
}

#else

// Elsewhere only the rounding direction can be set: denormals are kept, so
// such a build may part from the track wherever a result is that small.
uint32_t read_fp_control() {
    return static_cast<uint32_t>(std::fegetround());
}
void write_fp_control(uint32_t word) {
    std::fesetround(static_cast<int>(word));
}

#endif

// Flush-to-zero and rounding toward -inf. The rounding direction goes through
// <cfenv> in the portable build (it sets the same field), flush-to-zero through
// the platform's own control word.
__attribute__((noinline)) void set_engine_fp_mode() {
#if !LUMENFROST_X86
    std::fesetround(FE_DOWNWARD);
#endif
#if defined(__x86_64__)
    uint32_t word = read_fp_control();
    word |= 0x8000u;   // flush-to-zero
    word &= ~0x6000u;  // rounding control ...
    word |= 0x2000u;   // ... toward negative infinity
    write_fp_control(word);
#elif defined(__aarch64__)
    write_fp_control(read_fp_control() | (1u << 24));  // FZ
#endif
}

// Software AES round (FIPS-197: SubBytes, ShiftRows, MixColumns, AddRoundKey).
namespace {

uint8_t sbox(uint8_t x) {
    // Multiplicative inverse in GF(2^8), then the affine map.
    uint8_t inv = 0;
    if (x) {
        // x^254 by square-and-multiply.
        auto mul = [](uint8_t a, uint8_t b) {
            uint8_t p = 0;
            for (int i = 0; i < 8; ++i) {
                if (b & 1) p ^= a;
                bool hi = a & 0x80;
                a = static_cast<uint8_t>(a << 1);
                if (hi) a ^= 0x1B;
                b >>= 1;
            }
            return p;
        };
        uint8_t result = 1, base = x;
        for (int e = 254; e; e >>= 1) {
            if (e & 1) result = mul(result, base);
            base = mul(base, base);
        }
        inv = result;
    }
    auto rotl = [](uint8_t v, int n) { return static_cast<uint8_t>((v << n) | (v >> (8 - n))); };
    return static_cast<uint8_t>(inv ^ rotl(inv, 1) ^ rotl(inv, 2) ^ rotl(inv, 3) ^ rotl(inv, 4) ^
                                0x63);
}

uint8_t xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

}  // namespace

void aes_round_bytes(const uint8_t in[16], const uint8_t k[16], uint8_t s[16]) {
    uint8_t t[16];
    for (int i = 0; i < 16; ++i) s[i] = in[i];
    // ShiftRows (column-major state: byte index = 4 * column + row) and SubBytes.
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * c + r] = sbox(s[4 * ((c + r) % 4) + r]);
    // MixColumns.
    for (int c = 0; c < 4; ++c) {
        uint8_t* a = t + 4 * c;
        uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
        s[4 * c + 0] = static_cast<uint8_t>(xtime(a0) ^ xtime(a1) ^ a1 ^ a2 ^ a3);
        s[4 * c + 1] = static_cast<uint8_t>(a0 ^ xtime(a1) ^ xtime(a2) ^ a2 ^ a3);
        s[4 * c + 2] = static_cast<uint8_t>(a0 ^ a1 ^ xtime(a2) ^ xtime(a3) ^ a3);
        s[4 * c + 3] = static_cast<uint8_t>(xtime(a0) ^ a0 ^ a1 ^ a2 ^ xtime(a3));
    }
    for (int i = 0; i < 16; ++i) s[i] ^= k[i];
}

}  // namespace lf
