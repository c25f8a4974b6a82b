// Tunes a resonator bank: band-passes on the notes of a major scale over several
// octaves, with a low-pass and a high-pass at the edges.
#pragma once

#include "engine/dsp/cascade.h"

namespace lf {

// The frequency of band `band` (all lanes equal), whether or not the bank can
// hold it: ((2^(transpose/12)·2^octave)·scale[degree])·65.406395 Hz.
Vec4 resonator_band_hz(const ResonatorBankParams& params, uint32_t band);

void build_resonator_bank(ResonatorBank& bank, const ResonatorBankParams& params);

}  // namespace lf
