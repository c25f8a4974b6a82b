#include "tools/trackhash/track_hash.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/data/files.h"

uint64_t hash_frames(const StereoFrame* frames, size_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(frames);
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < count * sizeof(StereoFrame); ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

uint64_t render_and_hash(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) render_frame(TrackBuffer, i);
    return hash_frames(TrackBuffer, count);
}

std::string hash_text(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

std::string stored_track_hash(const std::string& path, const std::string& family) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, hash;
        if (fields >> name >> hash && name == family) return hash;
    }
    return {};
}

bool store_track_hash(const std::string& path, const std::string& family, const std::string& hash) {
    std::vector<std::string> lines;
    bool replaced = false;
    {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string name;
            if (fields >> name && name == family) {
                line = family + " " + hash;
                replaced = true;
            }
            lines.push_back(line);
        }
    }
    if (!replaced) lines.push_back(family + " " + hash);
    std::string text, error;
    for (const std::string& l : lines) text += l + "\n";
    return lf::files::write_atomically(path, text, error);
}
