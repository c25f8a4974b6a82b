// The packed score: per note list a count and four zigzag-coded delta streams
// (note numbers and velocities as bytes, starts and durations as 32-bit words),
// per curve a count, plain time deltas and absolute values and shapes. The
// deltas are of running sums that start at 0 for each list, so a list of
// repeated notes packs into runs of zero bytes.
#include "tools/score/score.h"

namespace score {

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> score_pack(const Score& score) {
    std::vector<uint8_t> out;
    for (const TrackPart& part : score.tracks) {
        const auto& notes = part.notes;
        put_u32(out, static_cast<uint32_t>(notes.size()));
        // Each stream is the zigzag of (value - previous value), previous = 0 first.
        int32_t prev = 0;
        for (const Note& n : notes) {
            out.push_back(static_cast<uint8_t>(zigzag_encode(n.number - prev)));
            prev = n.number;
        }
        prev = 0;
        for (const Note& n : notes) {
            out.push_back(static_cast<uint8_t>(zigzag_encode(n.velocity - prev)));
            prev = n.velocity;
        }
        prev = 0;
        for (const Note& n : notes) {
            put_u32(out, zigzag_encode(n.on - prev));
            prev = n.on;
        }
        prev = 0;
        for (const Note& n : notes) {
            put_u32(out, zigzag_encode(n.duration - prev));
            prev = n.duration;
        }
    }
    // A spare curve that a free score leaves out: one breakpoint at 0 (the
    // engine builds every curve and holds its last breakpoint).
    const std::vector<Breakpoint> held_zero(1);
    for (const CurvePart& part : score.curves) {
        const bool left_out = score.profile == Profile::free && part.declared.line == 0;
        const auto& points = left_out && part.points.empty() ? held_zero : part.points;
        put_u32(out, static_cast<uint32_t>(points.size()));
        int32_t prev = 0;
        for (const Breakpoint& b : points) {
            put_u32(out, static_cast<uint32_t>(b.time - prev));
            prev = b.time;
        }
        for (const Breakpoint& b : points) put_u32(out, static_cast<uint32_t>(b.value));
        for (const Breakpoint& b : points) put_u32(out, static_cast<uint32_t>(b.shape));
    }
    return out;
}

}  // namespace score
