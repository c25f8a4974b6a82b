// drumcodec: packs the drum recordings with the codec and measures the result.
//
//   drumcodec encode [--free] SOURCE_DIR OUT_DIR
//       sourceN.wav (from drumsynth) -> sampleN.bin, N = 1..7, in the block
//       layout of the track's sample N; with --free, recordings of any length
//       in as few blocks as carry them (content of another shape).
//   drumcodec report SOURCE_DIR SAMPLE_DIR [PICTURE_DIR]
//       decodes every sampleN.bin with the engine's decoder and prints the
//       signal-to-noise ratio, band-energy error and pre-echo against the
//       source; with PICTURE_DIR also writes sampleN.png spectrograms.
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "tools/codec/encoder.h"
#include "tools/codec/report.h"
#include "tools/drums/wav.h"

namespace {

std::string numbered(const std::string& dir, const char* stem, int n, const char* ext) {
    return dir + "/" + stem + std::to_string(n) + ext;
}

int run_encode(const std::string& sources, const std::string& out, bool free) {
    std::vector<std::string> inputs;
    for (int n = 1; n <= 7; ++n) inputs.push_back(numbered(sources, "source", n, ".wav"));
    for (int n = 1; n <= 7; ++n) drums::check_output(numbered(out, "sample", n, ".bin"), inputs);
    std::vector<float> signal[7];
    for (int n = 1; n <= 7; ++n)
        signal[n - 1] = drums::read_wav(numbered(sources, "source", n, ".wav"));
    std::vector<uint8_t> packed[7];
    codec::EncodeStats stats[7];
    auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= 7; ++n) {
        try {
            const std::vector<uint8_t> types =
                free ? codec::free_block_types(signal[n - 1].size()) : codec::sample_block_types(n);
            packed[n - 1] = codec::encode(signal[n - 1], types, &stats[n - 1]);
        } catch (const std::invalid_argument& e) {
            throw std::runtime_error(numbered(sources, "source", n, ".wav") + ": " + e.what());
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t total = 0;
    for (int n = 1; n <= 7; ++n) {
        std::string path = numbered(out, "sample", n, ".bin");
        drums::write_file_atomic(path, packed[n - 1]);
        total += packed[n - 1].size();
        const codec::EncodeStats& s = stats[n - 1];
        std::printf(
            "%s: %zu bytes; bands: %d shaped, %d left to the noise, %d silent; %d gains "
            "refined\n",
            path.c_str(), packed[n - 1].size(), s.shape_bands, s.noise_bands, s.silent_bands,
            s.refined_gains);
    }
    std::printf("%zu bytes in all; encoding took %.3f s\n", total, seconds);
    return 0;
}

int run_report(const std::string& sources, const std::string& samples,
               const std::string& pictures) {
    std::printf(
        "sample  SNR dB | bands within %.0f dB of their window's loudest: |error| max, rms dB,"
        " count, > 2 dB | 40-60 dB down: max, count | pre-echo dB (attacks)\n",
        codec::CODED_RANGE_DB);
    if (!pictures.empty()) {
        std::vector<std::string> inputs;
        for (int n = 1; n <= 7; ++n) {
            inputs.push_back(numbered(sources, "source", n, ".wav"));
            inputs.push_back(numbered(samples, "sample", n, ".bin"));
        }
        for (int n = 1; n <= 7; ++n) {
            drums::check_output(numbered(pictures, "sample", n, ".png"), inputs);
        }
    }
    for (int n = 1; n <= 7; ++n) {
        std::vector<float> source = drums::read_wav(numbered(sources, "source", n, ".wav"));
        std::vector<uint8_t> packed = drums::read_file(numbered(samples, "sample", n, ".bin"));
        std::vector<uint8_t> types = codec::packed_block_types(packed);
        if (types.empty() || packed.size() != codec::packed_size(types))
            throw drums::FileError(numbered(samples, "sample", n, ".bin") +
                                   ": wrong size for sample " + std::to_string(n));
        std::vector<float> decoded = codec::decode_with_engine(packed);
        codec::Figures f = codec::measure(source, decoded, types);
        char pre[32] = "   n/a";
        if (f.onsets > 0) std::snprintf(pre, sizeof pre, "%6.1f", f.pre_echo_db);
        std::printf("%6d  %6.1f | %5.2f %5.2f %5d %3d | %5.2f %4d | %s (%d)\n", n, f.snr_db,
                    f.band_error_max_db, f.band_error_rms_db, f.bands, f.bands_over_2db,
                    f.quiet_band_error_max_db, f.quiet_bands, pre, f.onsets);
        if (!pictures.empty())
            drums::write_file_atomic(numbered(pictures, "sample", n, ".png"),
                                     codec::spectrogram_png(source, decoded));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "encode" && argc == 4) return run_encode(argv[2], argv[3], false);
        if (command == "encode" && argc == 5 && std::string(argv[2]) == "--free")
            return run_encode(argv[3], argv[4], true);
        if (command == "report" && (argc == 4 || argc == 5))
            return run_report(argv[2], argv[3], argc == 5 ? argv[4] : "");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drumcodec: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: drumcodec encode [--free] SOURCE_DIR OUT_DIR\n"
                 "       drumcodec report SOURCE_DIR SAMPLE_DIR [PICTURE_DIR]\n");
    return 2;
}
