// drumsynth: renders every recipe of a folder into the codec's source
// recordings, sourceN.wav for sample N (mono, 32-bit float, 44100 Hz).
//
//   drumsynth RECIPE_DIR OUT_DIR
#include <cstdio>
#include <exception>
#include <string>

#include "tools/drums/kit.h"
#include "tools/drums/wav.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: drumsynth RECIPE_DIR OUT_DIR\n");
        return 2;
    }
    try {
        auto output = [&](int sample) {
            return std::string(argv[2]) + "/source" + std::to_string(sample) + ".wav";
        };
        std::vector<std::string> recipes;
        for (const char* name : drums::KIT_RECIPES)
            recipes.push_back(std::string(argv[1]) + "/" + name);
        for (int n = 1; n <= 7; ++n) drums::check_output(output(n), recipes);
        std::vector<drums::Recording> all = drums::render_kit(argv[1]);
        for (const drums::Recording& rec : all) {
            std::string path = output(rec.sample);
            drums::write_wav(path, rec.frames);
            std::printf("%s: %zu frames\n", path.c_str(), rec.frames.size());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drumsynth: %s\n", e.what());
        return 1;
    }
    return 0;
}
