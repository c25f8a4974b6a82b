// placeholder_content [--force] CONTENT_DIR
//
// Writes placeholder content (CONTENT_DIR/samples/sample1..7.bin and
// CONTENT_DIR/score/score.bin) with the exact shape the engine is built for.
// A file that already exists and differs from the placeholder is real content
// and is kept, unless --force is given.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tools/placeholder/placeholder.h"

namespace {

// 0 written or unchanged, 1 kept (real content), 2 failed.
int place(const std::string& path, const std::vector<uint8_t>& bytes, bool force) {
    std::vector<uint8_t> current;
    std::string error;
    if (std::filesystem::exists(path)) {
        if (!lf::bundle::read_file(path, current, error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return 2;
        }
        if (current == bytes) {
            std::printf("%s: placeholder, unchanged\n", path.c_str());
            return 0;
        }
        if (!force) {
            std::printf("%s: kept, it is not this placeholder (--force overwrites it)\n",
                        path.c_str());
            return 1;
        }
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (!lf::bundle::write_file(path, bytes, error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s: placeholder written, %zu bytes\n", path.c_str(), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool force = false;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--force") == 0) force = true, ++arg;
    if (arg + 1 != argc) {
        std::fprintf(stderr, "usage: placeholder_content [--force] CONTENT_DIR\n");
        return 2;
    }
    const std::string content_dir = argv[arg];
    int worst = 0;
    for (int n = 1; n <= lf::PACKED_SAMPLE_COUNT; ++n) {
        worst = std::max(worst, place(lf::bundle::sample_path(content_dir, n),
                                      lf::placeholder::make_sample(n), force));
    }
    worst =
        std::max(worst, place(lf::bundle::score_path(content_dir),
                              lf::bundle::serialize_score(lf::placeholder::make_score()), force));
    return worst == 2 ? 1 : 0;
}
