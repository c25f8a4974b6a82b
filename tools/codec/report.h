// Measuring the codec on the drum samples: decode with the engine's own
// decoder, compare with the source recording, draw spectrograms.
#pragma once

#include <string>
#include <vector>

#include "tools/codec/encoder.h"

namespace codec {

// Band energies are compared in the bands that carry the sound: those within
// CODED_RANGE_DB of the loudest band of their window (and above the lowest
// gain step). Quieter bands are still coded, but there the decoder's own
// arithmetic (its approximate sine, about -60 dB) decides what comes out.
constexpr double CODED_RANGE_DB = 40.0;

struct Figures {
    double snr_db = 0;             // source energy over error energy, whole recording
    double band_error_max_db = 0;  // worst |decoded - source| band energy, coded bands
    double band_error_rms_db = 0;
    int bands = 0;  // coded bands measured
    int bands_over_2db = 0;
    double quiet_band_error_max_db = 0;  // the same for bands 40 to 60 dB down
    int quiet_bands = 0;
    int onsets = 0;             // attacks found inside short-block regions
    double pre_echo_db = -1e9;  // loudest error before an attack, relative to the attack
};

// Compares a decoded sample with its source under the given block types. Band
// energies come from the encoder's exact forward transform of both signals.
Figures measure(const std::vector<float>& source, const std::vector<float>& decoded,
                const std::vector<uint8_t>& types);

// Source beside decoded: two log-frequency spectrograms (40 Hz .. 20 kHz,
// 90 dB below the source's peak to the peak) in one PNG.
std::vector<uint8_t> spectrogram_png(const std::vector<float>& source,
                                     const std::vector<float>& decoded);

}  // namespace codec
