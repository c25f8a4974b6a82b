#include "tools/drums/recipe.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "engine/data/files.h"

namespace drums {

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool is_name(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool parse_number(const std::string& word, double& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (errno != 0 || end != word.c_str() + word.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

Recipe Recipe::parse(const std::string& text, const std::string& origin) {
    Recipe r;
    r.origin_ = origin;
    std::istringstream in(text);
    std::string raw, section;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        size_t hash = raw.find('#');
        std::string s = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (s.empty()) continue;
        if (s.front() == '[') {
            if (s.back() != ']' || !is_name(trim(s.substr(1, s.size() - 2))))
                r.fail("malformed section header '" + s + "'", line);
            section = trim(s.substr(1, s.size() - 2));
            continue;
        }
        size_t eq = s.find('=');
        if (eq == std::string::npos) r.fail("expected 'name = value', got '" + s + "'", line);
        std::string key = trim(s.substr(0, eq));
        std::string value = trim(s.substr(eq + 1));
        if (!is_name(key)) r.fail("bad name '" + key + "'", line);
        if (value.empty()) r.fail("'" + key + "' has no value", line);
        std::string full = section.empty() ? key : section + "." + key;
        if (full != "pattern.hit" && r.find(full) != nullptr)
            r.fail("'" + full + "' is set twice", line);
        r.entries_.push_back({full, value, line});
    }
    if (r.entries_.empty()) r.fail("the recipe is empty");
    return r;
}

Recipe Recipe::load(const std::string& path) {
    std::string text, error;
    if (!lf::files::read_input(path, MAX_RECIPE_BYTES, text, error)) throw RecipeError(error);
    return parse(text, path);
}

const RecipeEntry* Recipe::find(const std::string& key) const {
    for (const RecipeEntry& e : entries_)
        if (e.key == key) return &e;
    return nullptr;
}

bool Recipe::has(const std::string& key) const {
    return find(key) != nullptr;
}

double Recipe::number(const std::string& key) const {
    const RecipeEntry* e = find(key);
    if (e == nullptr) fail("missing '" + key + "'");
    e->used = true;
    double v = 0.0;
    if (!parse_number(e->value, v))
        fail("'" + key + "' is not a number: '" + e->value + "'", e->line);
    return v;
}

double Recipe::number(const std::string& key, double fallback) const {
    return has(key) ? number(key) : fallback;
}

std::string Recipe::text(const std::string& key) const {
    const RecipeEntry* e = find(key);
    if (e == nullptr) fail("missing '" + key + "'");
    e->used = true;
    return e->value;
}

std::vector<std::vector<std::string>> Recipe::rows(const std::string& key) const {
    std::vector<std::vector<std::string>> out;
    for (const RecipeEntry& e : entries_) {
        if (e.key != key) continue;
        e.used = true;
        std::istringstream words(e.value);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        out.push_back(row);
    }
    return out;
}

void Recipe::check_all_used() const {
    for (const RecipeEntry& e : entries_)
        if (!e.used) fail("unknown name '" + e.key + "' for this kind of sound", e.line);
}

void Recipe::fail(const std::string& message, int line) const {
    std::string where = origin_;
    if (line > 0) where += ":" + std::to_string(line);
    throw RecipeError(where + ": " + message);
}

}  // namespace drums
