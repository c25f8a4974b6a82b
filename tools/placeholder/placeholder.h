// Placeholder content: packed drum samples and a score with exactly the shape
// the engine is built for (sizes, block types, note and breakpoint counts),
// made by a fixed pseudo-random recipe. The samples decode to quiet decaying
// noise bursts; the score holds ordered notes and curves inside the track.
// The real drums and the real score replace them file for file.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/data/bundle.h"

namespace lf::placeholder {

std::vector<uint8_t> make_sample(int sample);  // sample = 1..7
bundle::Score make_score();

}  // namespace lf::placeholder
