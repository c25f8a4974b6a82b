// The drum synthesizer: recipe in, one or two mono recordings out.
//
// A recipe describes one sound (kind kick, snare or cymbal) or a one-bar
// break (kind break) that places kick, snare and hat hits on a sixteenth grid.
// Every kind renders in stereo; a recipe that fills one codec sample returns
// the mono sum, a recipe that fills two returns mid = (L + R)/2 and
// side = (L - R)/2, which the voices turn back into L = mid + side and
// R = mid - side.
#pragma once

#include <string>
#include <vector>

#include "tools/drums/dsp.h"
#include "tools/drums/recipe.h"

namespace drums {

struct Recording {
    int sample = 0;  // codec sample number, 1..7
    std::vector<float> frames;
};

// Renders a recipe into its recordings (one or two). Throws RecipeError for
// a recipe that is incomplete, misspelt or out of range.
std::vector<Recording> render_recipe(const Recipe& recipe);

// The pieces, exposed for the tests: each adds its sound, started at frame
// `at`, scaled by `velocity`, into `out` (mono pieces are panned, -1 left
// .. 1 right). `section` names the recipe section of the piece's settings.
void add_kick(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
              Rng& rng, StereoBuffer& out);
void add_snare(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
               Rng& rng, StereoBuffer& out);
void add_cymbal(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
                Rng& rng, StereoBuffer& out);
// A small stereo room (parallel damped combs into all-passes), mixed in place.
void add_room(const Recipe& r, const std::string& section, StereoBuffer& io);

}  // namespace drums
