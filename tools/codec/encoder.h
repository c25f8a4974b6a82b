// The encoder of the drum-sample codec.
//
// Per window and band it codes a gain (0.625-octave steps: the decoder
// rescales the band to energy (A w)^2, A = 2^(0.625 g - 20)) and a shape of
// signed bytes scaled to their full range. The decoder adds noise to every
// band with fewer than one coded value in ten, from a seed that runs through
// the whole sample; the encoder follows that seed, subtracts the noise it
// knows will come from the shape it codes, and for each band keeps whichever
// of "code the shape" and "leave it all to the noise" lands closer to the
// source.
//
// The decoder's inverse transform uses its own approximate sine, so a little
// of every band leaks into the others (about -60 dB). After the first pass
// the encoder decodes with the engine itself, measures each band, and moves a
// gain by one step where the band that actually comes out is then closer in
// energy to the source: analysis by synthesis, one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

constexpr int BANDS = 20;
constexpr int MAX_GAIN = 236;  // 0.625 g - 20 must stay below 128 for the decoder's exp2

struct EncodeStats {
    int shape_bands = 0;    // bands coded with a shape (noise may still be added)
    int noise_bands = 0;    // bands left entirely to the noise fill
    int silent_bands = 0;   // bands with no energy at all (coded as noise at the lowest gain)
    int refined_gains = 0;  // gains moved by a step after decoding with the engine
};

// The block types of codec sample 1..7 of the track, in time order.
std::vector<uint8_t> sample_block_types(int sample);
// Block types for a recording of any length (content of another shape): the
// fewest blocks that carry it, eight short windows first for the attack
// (short, short-to-long, then long blocks), or one long block for the
// shortest. Throws std::invalid_argument past MAX_SAMPLE_BLOCKS blocks.
std::vector<uint8_t> free_block_types(size_t frames);
// The block types a packed sample holds (empty if its head is cut short).
std::vector<uint8_t> packed_block_types(const std::vector<uint8_t>& packed);
// Packed size of a block-type sequence.
uint32_t packed_size(const std::vector<uint8_t>& types);

// The longest signal the block types carry: up to the middle of the last
// window, beyond which no following window cancels the aliasing.
//
// A single long block has no following window: the signal's first frames
// fall in the falling half of its one window, where the weights are near 1,
// and their alias mirrors about frame 512 to where the weights fall to 0. A
// click of at most ONE_BLOCK_CLICK_FRAMES comes back with that faint echo
// (14 dB below it for the example's tick, by `drumcodec report`): the one
// signal a one-block sample carries.
constexpr size_t ONE_BLOCK_CLICK_FRAMES = 256;
size_t carried_length(const std::vector<uint8_t>& types);

// Encodes a mono signal (frames from 0) with the given block types. Throws
// std::invalid_argument for a signal longer than carried_length.
std::vector<uint8_t> encode(const std::vector<float>& signal, const std::vector<uint8_t>& types,
                            EncodeStats* stats = nullptr);

// Decodes a packed sample with the engine's decoder (bases built once, in the
// engine's floating-point mode); returns all (B + 2) * 1024 floats.
std::vector<float> decode_with_engine(const std::vector<uint8_t>& packed);

// The gain index whose amplitude 2^(0.625 g - 20) is nearest in octaves to
// `amplitude` (the square root of the band's energy over its width), clamped to [0, MAX_GAIN].
int gain_index(double amplitude);

// The decoder's noise stream: the signed byte it draws next from `seed`, and
// the seed after the draw.
inline int8_t noise_value(uint32_t seed) {
    return static_cast<int8_t>((seed >> 16) & 0xFF);
}
inline uint32_t noise_advance(uint32_t seed) {
    return seed * 1664525u + 1013904223u;
}
// Whether the decoder fills a band of w values with z non-zero ones: z / w,
// rounded toward minus infinity in single precision, below 0.1f. An exact
// tenth (z = 1 of 10) rounds to just below 0.1f and is filled.
inline bool noise_filled(int z, int w) {
    return 10 * z <= w;
}

}  // namespace codec
