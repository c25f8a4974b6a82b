// bundle_summary [CONTENT_DIR]
//
// Prints what a content bundle holds (the packed samples' sizes and block
// types, the note lists' and curves' counts and first and last times) and
// whether the engine can be built with it; the "track" columns are the
// track's own content for comparison. Exits with 1 if it cannot.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "engine/data/bundle.h"

namespace {

using namespace lf::bundle;

// "1 x2, 3, 0 x14": the block types as runs.
std::string block_runs(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2) return "-";
    const size_t blocks = (bytes[0] | (static_cast<size_t>(bytes[1]) << 8)) + 1;
    std::string text;
    for (size_t i = 2; i < 2 + blocks && i < bytes.size();) {
        size_t run = 1;
        while (i + run < 2 + blocks && i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
        if (!text.empty()) text += ", ";
        text += std::to_string(bytes[i]);
        if (run > 1) text += " x" + std::to_string(run);
        i += run;
    }
    return text;
}

double seconds(int32_t ticks) {
    return ticks / 192.0;
}

int summarize(const std::string& content_dir) {
    Bundle bundle;
    Findings findings;
    load_bundle(content_dir, bundle, findings);

    std::printf("Content bundle %s\n\nPacked samples\n", content_dir.c_str());
    std::printf("  %-7s %8s %8s %6s %6s  %s\n", "sample", "bytes", "track", "blocks", "short",
                "block types");
    size_t total = 0;
    for (int n = 1; n <= lf::PACKED_SAMPLE_COUNT; ++n) {
        const std::vector<uint8_t>& bytes = bundle.samples[n - 1];
        const size_t blocks = bytes.size() >= 2 ? (bytes[0] | (bytes[1] << 8)) + 1 : 0;
        size_t short_blocks = 0;
        for (size_t i = 2; i < 2 + blocks && i < bytes.size(); ++i) short_blocks += bytes[i] == 1;
        total += bytes.size();
        std::printf("  %-7d %8zu %8u %6zu %6zu  %s\n", n, bytes.size(),
                    lf::TRACK_SAMPLE_LAYOUTS[n - 1].bytes, blocks, short_blocks,
                    block_runs(bytes).c_str());
    }
    std::printf("  %-7s %8zu %8u\n", "all", total,
                lf::total_packed_sample_bytes(lf::TRACK_SAMPLE_LAYOUTS));

    const Score& score = bundle.score;
    size_t notes = 0;
    std::printf("\nNote lists\n  %-5s %6s %8s %12s %12s\n", "list", "notes", "track", "first on s",
                "last on s");
    for (size_t k = 0; k < score.note_lists.size(); ++k) {
        const std::vector<int32_t> starts = note_start_ticks(score.note_lists[k]);
        notes += starts.size();
        std::printf("  %-5zu %6zu %8u", k, starts.size(), lf::TRACK_NOTE_LIST_LENGTHS[k]);
        if (!starts.empty()) {
            std::printf(" %12.4f %12.4f", seconds(starts.front()), seconds(starts.back()));
        }
        std::printf("\n");
    }
    std::printf("  %-5s %6zu %8u\n", "all", notes, lf::sum_of(lf::TRACK_NOTE_LIST_LENGTHS));

    size_t breakpoints = 0;
    std::printf("\nCurves\n  %-5s %6s %8s %12s %12s %10s %10s\n", "curve", "points", "track",
                "first s", "last s", "min value", "max value");
    for (size_t c = 0; c < score.curves.size(); ++c) {
        const Curve& curve = score.curves[c];
        const std::vector<int32_t> times = curve_time_ticks(curve);
        breakpoints += times.size();
        std::printf("  %-5zu %6zu %8u", c, times.size(), lf::TRACK_CURVE_LENGTHS[c]);
        if (!times.empty() && curve.values.size() == times.size()) {
            int32_t low = curve.values[0], high = curve.values[0];
            for (int32_t v : curve.values) low = std::min(low, v), high = std::max(high, v);
            std::printf(" %12.4f %12.4f %10.4f %10.4f", seconds(times.front()),
                        seconds(times.back()), low / 128.0, high / 128.0);
        }
        std::printf("\n");
    }
    std::printf("  %-5s %6zu %8u\n", "all", breakpoints, lf::sum_of(lf::TRACK_CURVE_LENGTHS));

    std::printf("\n");
    for (const std::string& w : findings.warnings) std::printf("warning: %s\n", w.c_str());
    for (const std::string& e : findings.errors) std::printf("error: %s\n", e.c_str());
    if (!findings.errors.empty()) {
        std::printf("The engine cannot be built with this bundle.\n");
        return 1;
    }
    std::printf("The engine can be built with this bundle (it takes the bundle's shape).\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: bundle_summary [CONTENT_DIR]\n");
        return 2;
    }
    const std::string content_dir = argc == 2 ? argv[1] : LUMENFROST_DEFAULT_CONTENT_DIR;
    try {
        return summarize(content_dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bundle_summary: %s: %s\n", content_dir.c_str(), e.what());
        return 1;
    }
}
