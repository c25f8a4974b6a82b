// The bundle reader on arbitrary bytes: the score layout with every stream
// check, and a packed sample (the first byte picks which of the seven, so
// the gain walk sees inputs of the right size too).
#include <cstdint>
#include <vector>

#include "engine/data/bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    lf::bundle::Findings findings;
    lf::bundle::Score score;
    lf::bundle::parse_score(bytes, "score.bin", score, findings);
    for (const lf::bundle::Curve& curve : score.curves) (void)lf::bundle::curve_time_ticks(curve);
    for (const lf::bundle::NoteList& list : score.note_lists)
        (void)lf::bundle::note_end_ticks(list);
    if (size > 0) {
        const int sample = 1 + data[0] % lf::PACKED_SAMPLE_COUNT;
        // A sample of the expected size whose head and gains come from the input.
        std::vector<uint8_t> packed(lf::TRACK_SAMPLE_LAYOUTS[sample - 1].bytes);
        for (size_t i = 0; i < packed.size(); ++i) packed[i] = data[(i + 1) % size];
        lf::bundle::check_sample(packed, "sample", findings);
        lf::bundle::check_sample(std::vector<uint8_t>(data + 1, data + size), "sample", findings);
    }
    return 0;
}
