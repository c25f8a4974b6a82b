// Unit conversions and name look-up over the engine's arrangement rows.
#include "tools/score/arrangement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace score {

int32_t seconds_to_ticks(double seconds) {
    return static_cast<int32_t>(std::lround(seconds * TICKS_PER_SECOND));
}

int32_t value_to_units(double value) {
    return static_cast<int32_t>(std::lround(value * UNITS_PER_ONE));
}

static int find_in(const std::string& word, int count, const char* (*name_of)(int)) {
    if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos &&
        word.size() <= 3) {
        int n = std::atoi(word.c_str());
        return n < count ? n : -1;
    }
    for (int i = 0; i < count; ++i) {
        if (word == name_of(i)) return i;
    }
    return -1;
}

int32_t engine_value_low(int curve) {
    return std::min(value_to_units(CURVE_ROWS[curve].value_low), 0);
}

int32_t engine_value_high(int curve) {
    return std::max(value_to_units(CURVE_ROWS[curve].value_high), UNITS_PER_ONE);
}

int find_track(const std::string& word) {
    return find_in(word, TRACK_COUNT, [](int i) { return TRACK_ROWS[i].name; });
}

int find_curve(const std::string& word) {
    return find_in(word, CURVE_COUNT, [](int i) { return CURVE_ROWS[i].name; });
}

}  // namespace score
