// Tunes a resonator bank: band-passes on the notes of a major scale over several
// octaves, with a low-pass and a high-pass at the edges.
#pragma once

#include "engine/dsp/cascade.h"

namespace lf {

void build_resonator_bank(ResonatorBank& bank, const ResonatorBankParams& params);

}  // namespace lf
