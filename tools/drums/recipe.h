// Drum recipes: small text files of named numbers, one sound per file.
//
//   # comment
//   intent = a sentence saying what the sound is for
//   kind = snare
//   [noise]                 section: the names below read as noise.decay_s ...
//   decay_s = 0.09
//   hit = 12 snare 0.8 -0.2 (a key that may repeat keeps every line)
//
// Every name a recipe sets must be read by its instrument: a misspelt name is
// an error, not a silently ignored line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace drums {

struct RecipeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RecipeEntry {
    std::string key;  // "section.name" or "name"
    std::string value;
    int line = 0;
    mutable bool used = false;
};

// A recipe is a regular file of at most 64 KiB.
constexpr uint64_t MAX_RECIPE_BYTES = 64 * 1024;

class Recipe {
  public:
    // Parses recipe text; `origin` names the file in messages.
    static Recipe parse(const std::string& text, const std::string& origin);
    static Recipe load(const std::string& path);

    const std::string& origin() const { return origin_; }
    bool has(const std::string& key) const;
    double number(const std::string& key) const;  // required
    double number(const std::string& key, double fallback) const;
    std::string text(const std::string& key) const;  // required
    // Every line of a repeated key, split into words.
    std::vector<std::vector<std::string>> rows(const std::string& key) const;
    // Fails with the first entry nobody read.
    void check_all_used() const;
    [[noreturn]] void fail(const std::string& message, int line = 0) const;

  private:
    const RecipeEntry* find(const std::string& key) const;
    std::string origin_;
    std::vector<RecipeEntry> entries_;
};

// Parses a decimal number, the whole word or nothing.
bool parse_number(const std::string& word, double& out);

}  // namespace drums
