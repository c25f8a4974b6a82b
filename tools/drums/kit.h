// The whole kit: the recipes of a folder rendered into the seven recordings.
#pragma once

#include <string>
#include <vector>

#include "tools/drums/instruments.h"

namespace drums {

// The recipe files that make the seven codec samples, in this order.
extern const char* const KIT_RECIPES[5];

// Renders every recipe of KIT_RECIPES from `recipe_dir`; returns the seven
// recordings ordered by sample number. Fails unless every sample 1..7 is made
// exactly once.
std::vector<Recording> render_kit(const std::string& recipe_dir);

}  // namespace drums
