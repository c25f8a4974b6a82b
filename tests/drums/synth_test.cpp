// The drum synthesizer: recipe errors, and the roles the voices give each sound.
#include <gtest/gtest.h>
#include <ostream>

#include <cmath>

#include "tools/drums/kit.h"

namespace {

std::string recipes() {
    return std::string(LUMENFROST_SOURCE_DIR) + "/content/drums";
}

const std::vector<drums::Recording>& kit() {
    static const std::vector<drums::Recording> k = drums::render_kit(recipes());
    return k;
}

const std::vector<float>& sample(int n) {
    return kit()[n - 1].frames;
}

double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0;
    for (size_t i = from; i < to && i < x.size(); ++i)
        p = std::max(p, static_cast<double>(std::fabs(x[i])));
    return p;
}

// --- Recipe errors -------------------------------------------------------------

struct BadRecipe {
    const char* text;
    const char* message;
};
void PrintTo(const BadRecipe& c, std::ostream* os) {
    *os << "expects \"" << c.message << "\"";
}

class RecipeErrors : public ::testing::TestWithParam<BadRecipe> {};

const char* const GOOD_KICK =
    "intent = a kick for the tests\nkind = kick\nsamples = 2\nlength_frames = 4410\nlevel = 0.9\n"
    "[kick]\nstart_hz = 200\nend_hz = 50\nsweep_s = 0.03\nhold_s = 0.01\ndecay_s = 0.1\n"
    "knock_level = 0.2\nclick_level = 0.5\nclick_hz = 4000\nclick_decay_s = 0.002\ndrive = 2\n"
    "length_s = 0.1\n";

TEST(RecipeErrors, TheGoodRecipeRenders) {
    auto out = drums::render_recipe(drums::Recipe::parse(GOOD_KICK, "good"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].sample, 2);
    EXPECT_EQ(out[0].frames.size(), 4410u);
    EXPECT_NEAR(peak(out[0].frames, 0, 4410), 0.9, 1e-6);
}

// Each broken recipe fails with a message that says what is wrong and where.
TEST_P(RecipeErrors, FailWithAClearMessage) {
    BadRecipe c = GetParam();
    try {
        drums::render_recipe(drums::Recipe::parse(c.text, "bad.recipe"));
        FAIL() << "accepted: " << c.text;
    } catch (const drums::RecipeError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("bad.recipe", 0), 0u) << e.what();
    }
}

std::string with(const std::string& extra) {
    return std::string(GOOD_KICK) + extra;
}
std::string without(const std::string& line) {
    std::string s = GOOD_KICK;
    s.erase(s.find(line), line.size());
    return s;
}

const std::string MISSPELT = with("dekay_s = 0.2\n");
const std::string GARBLED = without("drive = 2\n") + "drive = 2x\n";
const std::string OUT_OF_RANGE = without("end_hz = 50\n") + "end_hz = 5\n";
const std::string MISSING = without("sweep_s = 0.03\n");
const std::string TWICE = with("drive = 3\n");
const std::string NO_EQUALS = with("drive 3\n");
const std::string BAD_SECTION = with("[room\n");
const std::string BAD_SAMPLE = "samples = 9\n" + without("samples = 2\n");
const std::string BAD_KIND = "kind = gong\n" + without("kind = kick\n");

INSTANTIATE_TEST_SUITE_P(
    Recipes, RecipeErrors,
    ::testing::Values(BadRecipe{MISSPELT.c_str(), "unknown name 'kick.dekay_s'"},
                      BadRecipe{GARBLED.c_str(), "'kick.drive' is not a number"},
                      BadRecipe{OUT_OF_RANGE.c_str(), "'kick.end_hz' = 5 is outside"},
                      BadRecipe{MISSING.c_str(), "missing 'kick.sweep_s'"},
                      BadRecipe{TWICE.c_str(), "is set twice"},
                      BadRecipe{NO_EQUALS.c_str(), "expected 'name = value'"},
                      BadRecipe{BAD_SECTION.c_str(), "malformed section header"},
                      BadRecipe{BAD_SAMPLE.c_str(), "sample numbers 1 to 7"},
                      BadRecipe{BAD_KIND.c_str(), "unknown piece or kind 'gong'"},
                      BadRecipe{"# nothing\n", "the recipe is empty"}));

// --- The kit and its roles ---------------------------------------------------

TEST(Kit, IsDeterministicAndSizedForTheVoices) {
    std::vector<drums::Recording> again = drums::render_kit(recipes());
    // The voices read up to these frames (a pair for the mid/side samples).
    const size_t lengths[7] = {15876, 29680, 57330, 57330, 103948, 58800, 58800};
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(kit()[n - 1].sample, n);
        EXPECT_EQ(sample(n).size(), lengths[n - 1]) << "sample " << n;
        EXPECT_TRUE(again[n - 1].frames == sample(n)) << "sample " << n;
        // Each recording fades to silence where the voice stops reading it.
        EXPECT_EQ(sample(n).back(), 0.0f) << "sample " << n;
    }
}

// The snare voice starts reading at frame 238: silence before, the stroke at once after.
TEST(Kit, SnareStrikesAtFrame238) {
    EXPECT_EQ(peak(sample(1), 0, 238), 0.0);
    EXPECT_GT(peak(sample(1), 238, 238 + 220), 0.4);
}

// The kick rests on F#1 (46.25 Hz) at recorded speed: count zero crossings of its tail.
TEST(Kit, KickSettlesOnItsPitch) {
    const std::vector<float>& k = sample(2);
    size_t from = 11025, to = 22050;  // 0.25 s to 0.5 s
    std::vector<size_t> up;
    for (size_t i = from; i < to; ++i)
        if (k[i - 1] < 0.0f && k[i] >= 0.0f) up.push_back(i);
    ASSERT_GE(up.size(), 5u);
    double hz = 44100.0 * (up.size() - 1) / static_cast<double>(up.back() - up.front());
    EXPECT_NEAR(hz, 46.25, 0.5);
    EXPECT_GT(peak(k, 0, 2000), 0.8);
}

// The stereo pairs: left = mid + side, right = mid - side peak at the
// recipe's level, and the two sides really differ.
TEST(Kit, StereoPairsAreWideAndNormalised) {
    for (auto [mid, side, level] : {std::tuple{3, 4, 0.62}, std::tuple{6, 7, 0.85}}) {
        double p = 0, side_energy = 0, mid_energy = 0;
        for (size_t i = 0; i < sample(mid).size(); ++i) {
            double m = sample(mid)[i], s = sample(side)[i];
            p = std::max({p, std::fabs(m + s), std::fabs(m - s)});
            side_energy += s * s;
            mid_energy += m * m;
        }
        EXPECT_NEAR(p, level, 1e-3);
        EXPECT_GT(side_energy, 0.01 * mid_energy);
        EXPECT_LT(side_energy, mid_energy);
    }
}

// The break is busy only where the codec has short blocks: after the kick on
// the one, no stroke starts until frame 19904. A stroke is a 64-frame block of
// the first difference (which hides the kick's low body) 6 dB above the four
// blocks before it.
TEST(Kit, BreakStrokesAvoidTheLongBlocks) {
    const std::vector<float>& m = sample(6);
    auto rms = [&](size_t b) {
        double e = 0;
        for (size_t i = b * 64; i < b * 64 + 64; ++i) e += (m[i] - m[i - 1]) * (m[i] - m[i - 1]);
        return std::sqrt(e / 64);
    };
    int early = 0, late = 0;
    for (size_t b = 30; b + 1 < m.size() / 64; ++b) {
        double before = std::max({rms(b - 1), rms(b - 2), rms(b - 3), rms(b - 4)});
        if (rms(b) > 2 * before && rms(b) > 0.002) (b * 64 < 19904 ? early : late)++;
    }
    EXPECT_EQ(early, 0);
    EXPECT_GE(late, 5);
}

}  // namespace
