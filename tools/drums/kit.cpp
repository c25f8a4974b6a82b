#include "tools/drums/kit.h"

#include <algorithm>

namespace drums {

const char* const KIT_RECIPES[5] = {"snare.recipe", "kick.recipe", "crash.recipe", "ride.recipe",
                                    "break.recipe"};

std::vector<Recording> render_kit(const std::string& recipe_dir) {
    std::vector<Recording> all;
    for (const char* name : KIT_RECIPES) {
        Recipe recipe = Recipe::load(recipe_dir + "/" + name);
        for (Recording& rec : render_recipe(recipe)) all.push_back(std::move(rec));
    }
    std::sort(all.begin(), all.end(),
              [](const Recording& a, const Recording& b) { return a.sample < b.sample; });
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].sample != static_cast<int>(i) + 1 || all.size() != 7)
            throw RecipeError(recipe_dir + ": the recipes must make samples 1 to 7 exactly once");
    return all;
}

}  // namespace drums
