// render_recipe: from a recipe to the codec's mono recordings.
#include <cmath>
#include <sstream>

#include "tools/drums/instruments.h"

namespace drums {

namespace {

std::vector<int> sample_numbers(const Recipe& r) {
    std::istringstream words(r.text("samples"));
    std::vector<int> out;
    for (std::string w; words >> w;) {
        double v = 0.0;
        if (!parse_number(w, v) || v != std::floor(v) || v < 1 || v > 7)
            r.fail("'samples' lists sample numbers 1 to 7, got '" + w + "'");
        out.push_back(static_cast<int>(v));
    }
    if (out.empty() || out.size() > 2)
        r.fail("'samples' names one sample (mono) or two (mid and side)");
    return out;
}

size_t whole_number(const Recipe& r, const std::string& key, double lo, double hi,
                    double fallback) {
    double v = r.has(key) ? r.number(key) : fallback;
    if (v != std::floor(v) || v < lo || v > hi) {
        std::ostringstream m;
        m << "'" << key << "' must be a whole number in [" << lo << ", " << hi << "]";
        r.fail(m.str());
    }
    return static_cast<size_t>(v);
}

using AddPiece = void (*)(const Recipe&, const std::string&, double, double, size_t, Rng&,
                          StereoBuffer&);

AddPiece piece_for(const Recipe& r, const std::string& kind) {
    if (kind == "kick") return add_kick;
    if (kind == "snare") return add_snare;
    if (kind == "cymbal" || kind == "hat") return add_cymbal;
    r.fail("unknown piece or kind '" + kind + "' (kick, snare, cymbal, hat, break)");
}

// A bar of hits: "hit = step piece velocity pan", steps in sixteenths from 0.
void render_pattern(const Recipe& r, uint64_t seed, StereoBuffer& buf) {
    double bpm = r.number("pattern.bpm");
    if (bpm < 40 || bpm > 400) r.fail("'pattern.bpm' is outside [40, 400]");
    double step_frames = RATE_HZ * 60.0 / bpm / 4.0;
    auto rows = r.rows("pattern.hit");
    if (rows.empty()) r.fail("a break needs at least one 'hit' in [pattern]");
    uint64_t index = 0;
    for (const auto& row : rows) {
        double step = 0, velocity = 0, pan = 0;
        if (row.size() != 4 || !parse_number(row[0], step) || !parse_number(row[2], velocity) ||
            !parse_number(row[3], pan))
            r.fail("'hit' reads 'step piece velocity pan', got '" +
                   (row.empty() ? std::string() : row[0]) + " ...'");
        if (step < 0 || velocity <= 0 || velocity > 2 || pan < -1 || pan > 1)
            r.fail("'hit' at step " + row[0] + " is out of range");
        // Every hit gets its own noise, so repeated strokes are never identical.
        Rng rng(seed * 0x100000001B3ull + ++index);
        size_t at = static_cast<size_t>(std::llround(step * step_frames));
        piece_for(r, row[1])(r, row[1], velocity, pan, at, rng, buf);
    }
}

}  // namespace

std::vector<Recording> render_recipe(const Recipe& r) {
    if (r.text("intent").size() < 10)
        r.fail("'intent' should say in a sentence what the sound is for");
    std::string kind = r.text("kind");
    std::vector<int> samples = sample_numbers(r);
    size_t frames = whole_number(r, "length_frames", 64, 400000, 0);
    uint64_t seed = whole_number(r, "seed", 0, 4294967295.0, 1);
    double level = r.number("level");
    if (level <= 0 || level > 1) r.fail("'level' (the peak) must lie in (0, 1]");
    size_t fade = whole_number(r, "fade_frames", 0, static_cast<double>(frames), 0);

    StereoBuffer buf(frames);
    if (kind == "break") {
        render_pattern(r, seed, buf);
    } else {
        size_t start = whole_number(r, "start_frame", 0, static_cast<double>(frames - 1), 0);
        Rng rng(seed);
        piece_for(r, kind)(r, kind, 1.0, 0.0, start, rng, buf);
    }
    if (r.has("room.mix")) add_room(r, "room", buf);
    r.check_all_used();

    // A raised-cosine fade over the last frames: the recording ends in silence
    // exactly where the voice stops reading it.
    for (size_t i = 0; i < fade; ++i) {
        double g = 0.5 - 0.5 * std::cos(PI * static_cast<double>(i) / static_cast<double>(fade));
        buf.left[frames - 1 - i] *= g;
        buf.right[frames - 1 - i] *= g;
    }

    // Peak normalisation: the loudest output channel (L, R or the mono sum)
    // reaches `level`.
    bool mono = samples.size() == 1;
    double peak = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        if (mono) {
            peak = std::max(peak, std::fabs(0.5 * (buf.left[i] + buf.right[i])));
        } else {
            peak = std::max(peak, std::max(std::fabs(buf.left[i]), std::fabs(buf.right[i])));
        }
    }
    if (peak <= 0.0) r.fail("the recipe renders silence");
    double gain = level / peak;
    std::vector<Recording> out(samples.size());
    for (size_t k = 0; k < samples.size(); ++k) {
        out[k].sample = samples[k];
        out[k].frames.resize(frames);
        double sign = k == 0 ? 1.0 : -1.0;  // mid = (L + R)/2, side = (L - R)/2
        for (size_t i = 0; i < frames; ++i)
            out[k].frames[i] = static_cast<float>(gain * 0.5 * (buf.left[i] + sign * buf.right[i]));
    }
    return out;
}

}  // namespace drums
