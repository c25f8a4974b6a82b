// The drum-recipe reader on arbitrary text: a recipe or a RecipeError that
// names file:line, never a crash. Each parsed entry is read back as a number,
// a text and rows, the ways the instruments read them.
#include <cstdint>
#include <string>

#include "tools/drums/recipe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        drums::Recipe recipe = drums::Recipe::parse(text, "fuzz.recipe");
        for (const char* key : {"kind", "intent", "length_s", "pattern.hit", "noise.decay_s"}) {
            if (!recipe.has(key)) continue;
            (void)recipe.text(key);
            (void)recipe.rows(key);
            try {
                (void)recipe.number(key);
            } catch (const drums::RecipeError&) {
            }
        }
        recipe.check_all_used();
    } catch (const drums::RecipeError&) {
    }
    return 0;
}
