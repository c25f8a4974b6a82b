#include "tools/codec/encoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/data/packed_format.h"
#include "engine/dsp/vec4.h"
#include "engine/startup/codec.h"
#include "tools/codec/lapped.h"

namespace codec {

namespace {

// What the decoder makes of one band: the coded bytes plus, if they are
// sparse, the seeded noise; returned as the decoded values before the gain
// rescales them, together with the seed after the band.
uint32_t decoded_shape(const int8_t* q, int w, uint32_t seed, double* out) {
    int z = 0;
    for (int l = 0; l < w; ++l) z += q[l] != 0;
    for (int l = 0; l < w; ++l) out[l] = q[l];
    if (!noise_filled(z, w)) return seed;
    double density = static_cast<double>(z) / w;
    double f = (0.1 - density) * (0.1 - density);
    for (int l = 0; l < w; ++l) {
        out[l] += noise_value(seed) * f * 0.78740156;
        seed = noise_advance(seed);
    }
    return seed;
}

// 1 - cos of the angle between the source band and what the decoder will
// make of it: the gain restores the energy, so only the direction matters.
double shape_error(const double* target, const double* decoded, int w) {
    double dot = 0, tt = 0, dd = 0;
    for (int l = 0; l < w; ++l) {
        dot += target[l] * decoded[l];
        tt += target[l] * target[l];
        dd += decoded[l] * decoded[l];
    }
    if (tt <= 0 || dd <= 0) return 1.0;
    return 1.0 - dot / std::sqrt(tt * dd);
}

// Rounds t * scale - bias to signed bytes.
int quantise(const double* t, const double* bias, double scale, int w, int8_t* q) {
    int z = 0;
    for (int l = 0; l < w; ++l) {
        double v = std::nearbyint(t[l] * scale - bias[l]);
        q[l] = static_cast<int8_t>(std::clamp(v, -128.0, 127.0));
        z += q[l] != 0;
    }
    return z;
}

// What the first pass decided for one band, kept for the refinement.
struct CodedBand {
    int gain;
    double energy;                // of the source band
    std::vector<double> decoded;  // the decoder's values before the gain, unit length
};

struct BandCoder {
    uint32_t seed = 0;
    uint8_t gains[BANDS] = {};
    EncodeStats stats;
    std::vector<CodedBand> bands;  // in stream order

    // Codes one band: w coefficients into q, the gain delta into *delta.
    void code(const double* t, int band, int w, int8_t* q, uint8_t* delta) {
        double energy = 0.0, top = 0.0, bottom = 0.0;
        for (int l = 0; l < w; ++l) {
            energy += t[l] * t[l];
            top = std::max(top, t[l]);
            bottom = std::min(bottom, t[l]);
        }
        int g = energy > 0 ? gain_index(std::sqrt(energy) / w) : 0;
        *delta = static_cast<uint8_t>(g - gains[band]);  // modulo 256
        gains[band] = static_cast<uint8_t>(g);

        std::vector<double> decoded(w), zero(w, 0.0), noise(w, 0.0);
        std::vector<int8_t> trial(w);
        if (energy <= 0.0) {
            std::fill(q, q + w, 0);
            seed = decoded_shape(q, w, seed, decoded.data());
            ++stats.silent_bands;
            keep(g, energy, decoded);
            return;
        }
        // Shape: the larger peak lands on 127 or -128, the full byte range.
        double scale = 1e300;
        if (top > 0) scale = std::min(scale, 127.0 / top);
        if (bottom < 0) scale = std::min(scale, 128.0 / -bottom);
        int z = quantise(t, zero.data(), scale, w, trial.data());
        // A sparse shape gets noise on top; subtract the noise it will get, and
        // repeat while the number of coded values (which sets the noise
        // weight) still moves.
        for (int pass = 0; pass < 3 && noise_filled(z, w); ++pass) {
            uint32_t s = seed;
            double f = (0.1 - static_cast<double>(z) / w) * (0.1 - static_cast<double>(z) / w);
            for (int l = 0; l < w; ++l, s = noise_advance(s))
                noise[l] = noise_value(s) * f * 0.78740156;
            int z2 = quantise(t, noise.data(), scale, w, trial.data());
            if (z2 == z) break;
            z = z2;
        }
        // Grown past one in ten, the band gets no noise after all: plain rounding.
        if (!noise_filled(z, w)) quantise(t, zero.data(), scale, w, trial.data());
        decoded_shape(trial.data(), w, seed, decoded.data());
        double coded_error = shape_error(t, decoded.data(), w);

        std::vector<int8_t> silent(w, 0);
        decoded_shape(silent.data(), w, seed, decoded.data());
        double noise_error = shape_error(t, decoded.data(), w);

        // Noise only where it is clearly better: a one-value band codes as
        // well either way, and a choice made by rounding noise would make the
        // packed bytes depend on how the transform happened to round.
        if (noise_error < coded_error - 1e-9) {
            std::copy(silent.begin(), silent.end(), q);
            ++stats.noise_bands;
        } else {
            std::copy(trial.begin(), trial.end(), q);
            ++stats.shape_bands;
        }
        seed = decoded_shape(q, w, seed, decoded.data());
        keep(g, energy, decoded);
    }

    void keep(int g, double energy, std::vector<double>& decoded) {
        double norm = 0;
        for (double v : decoded) norm += v * v;
        norm = norm > 0 ? 1.0 / std::sqrt(norm) : 0.0;
        for (double& v : decoded) v *= norm;
        bands.push_back({g, energy, std::move(decoded)});
    }
};

// One pass of analysis by synthesis: decode with the engine, measure every
// band, and where a gain one step up or down brings the band that comes out
// closer to the source's energy, take it. The measured band is the coded one
// (A w times its unit shape) plus what leaks in from elsewhere; a step scales
// only the coded part.
int refine_gains(const std::vector<Window>& plan, std::vector<CodedBand>& bands,
                 const std::vector<uint8_t>& packed) {
    std::vector<float> y = decode_with_engine(packed);
    std::vector<double> yd(y.begin(), y.end()), measured;
    const double step = std::exp2(0.625);
    int moved = 0;
    size_t b = 0;
    for (const Window& w : plan) {
        forward(w, yd, measured);
        int divisor = w.length == 256 ? 8 : 1, p = 0;
        for (int k = 0; k < BANDS; ++k, ++b) {
            int width = lf::BAND_WIDTHS[k] / divisor;
            CodedBand& band = bands[b];
            if (band.energy > 0) {
                double a = std::exp2(0.625 * band.gain - 20.0) * width;
                double best = 0, best_error = 1e300;
                for (int d = -1; d <= 1; ++d) {
                    if (band.gain + d < 0 || band.gain + d > MAX_GAIN) continue;
                    double r = d == 0 ? 1.0 : d > 0 ? step : 1.0 / step;
                    double e = 0;
                    for (int l = 0; l < width; ++l) {
                        double coded = a * band.decoded[l];
                        double v = measured[p + l] - coded + r * coded;
                        e += v * v;
                    }
                    double error = std::fabs(std::log(std::max(e, 1e-300) / band.energy));
                    if (error < best_error - 1e-9) {
                        best_error = error;
                        best = d;
                    }
                }
                if (best != 0) {
                    band.gain += static_cast<int>(best);
                    ++moved;
                }
            }
            p += width;
        }
    }
    return moved;
}

}  // namespace

int gain_index(double amplitude) {
    if (!(amplitude > 0)) return 0;
    double g = std::nearbyint((std::log2(amplitude) + 20.0) / 0.625);
    return static_cast<int>(std::clamp(g, 0.0, static_cast<double>(MAX_GAIN)));
}

std::vector<uint8_t> sample_block_types(int sample) {
    std::vector<uint8_t> types;
    const lf::SampleBlockRuns& layout = lf::TRACK_SAMPLE_LAYOUTS[sample - 1];
    for (const lf::BlockRun& run : layout.runs)
        for (int i = 0; i < run.count; ++i) types.push_back(run.type);
    return types;
}

std::vector<uint8_t> free_block_types(size_t frames) {
    if (frames <= ONE_BLOCK_CLICK_FRAMES) return {0};
    std::vector<uint8_t> types{lf::SHORT_BLOCK_TYPE, 3};
    while (carried_length(types) < frames) {
        if (types.size() >= lf::MAX_SAMPLE_BLOCKS) {
            throw std::invalid_argument(
                "a recording of " + std::to_string(frames) + " frames needs more than " +
                std::to_string(lf::MAX_SAMPLE_BLOCKS) + " blocks (the engine decodes at most " +
                std::to_string(lf::MAX_DECODED_SAMPLE_LENGTH) + " floats of a sample)");
        }
        types.push_back(0);
    }
    return types;
}

std::vector<uint8_t> packed_block_types(const std::vector<uint8_t>& packed) {
    if (packed.size() < 2) return {};
    const size_t blocks = (packed[0] | (static_cast<size_t>(packed[1]) << 8)) + 1;
    if (packed.size() < 2 + blocks) return {};
    return std::vector<uint8_t>(packed.begin() + 2, packed.begin() + 2 + static_cast<long>(blocks));
}

uint32_t packed_size(const std::vector<uint8_t>& types) {
    uint32_t shorts = static_cast<uint32_t>(std::count(types.begin(), types.end(), 1));
    uint32_t blocks = static_cast<uint32_t>(types.size());
    return 2 + blocks + 856 * blocks + 20 * (blocks + 7 * shorts);
}

size_t carried_length(const std::vector<uint8_t>& types) {
    if (types.empty()) return 0;
    if (types.size() == 1 && types[0] != lf::SHORT_BLOCK_TYPE) return ONE_BLOCK_CLICK_FRAMES;
    std::vector<Window> plan = plan_windows(types);
    return static_cast<size_t>(plan.back().start + plan.back().length / 2);
}

std::vector<uint8_t> encode(const std::vector<float>& signal, const std::vector<uint8_t>& types,
                            EncodeStats* stats) {
    if (types.empty() || signal.size() > carried_length(types))
        throw std::invalid_argument("a signal of " + std::to_string(signal.size()) +
                                    " frames is longer than its " + std::to_string(types.size()) +
                                    " blocks carry (" + std::to_string(carried_length(types)) +
                                    ")");
    std::vector<Window> plan = plan_windows(types);
    std::vector<double> x(signal.begin(), signal.end());
    uint32_t blocks = static_cast<uint32_t>(types.size());
    std::vector<uint8_t> out(packed_size(types), 0);
    out[0] = static_cast<uint8_t>((blocks - 1) & 0xFF);
    out[1] = static_cast<uint8_t>((blocks - 1) >> 8);
    std::copy(types.begin(), types.end(), out.begin() + 2);
    size_t coef_at = 2 + blocks, gain_at = coef_at + 856 * blocks;

    BandCoder coder;
    std::vector<double> spectrum;
    for (const Window& w : plan) {
        forward(w, x, spectrum);
        int divisor = w.length == 256 ? 8 : 1;
        int p = 0;
        for (int k = 0; k < BANDS; ++k) {
            int width = lf::BAND_WIDTHS[k] / divisor;
            coder.code(spectrum.data() + p, k, width, reinterpret_cast<int8_t*>(&out[coef_at]),
                       &out[gain_at]);
            coef_at += width;
            gain_at += 1;
            p += width;
        }
    }
    coder.stats.refined_gains = refine_gains(plan, coder.bands, out);
    // Rewrite the gain section with the refined gains, again as deltas modulo 256.
    uint8_t running[BANDS] = {};
    gain_at = 2 + blocks + 856 * blocks;
    for (size_t b = 0; b < coder.bands.size(); ++b) {
        int k = static_cast<int>(b % BANDS);
        out[gain_at + b] = static_cast<uint8_t>(coder.bands[b].gain - running[k]);
        running[k] = static_cast<uint8_t>(coder.bands[b].gain);
    }
    if (stats != nullptr) *stats = coder.stats;
    return out;
}

std::vector<float> decode_with_engine(const std::vector<uint8_t>& packed) {
    uint32_t blocks = (packed[0] | (packed[1] << 8)) + 1u;
    std::vector<float> out((blocks + 2) * 1024, 0.0f);
    uint32_t saved = lf::read_fp_control();
    lf::set_engine_fp_mode();
    static bool bases_built = false;
    if (!bases_built) {
        lf::build_cosine_basis(128);
        lf::build_cosine_basis(1024);
        bases_built = true;
    }
    lf::decode_sample(packed.data(), static_cast<uint32_t>(out.size()), out.data());
    lf::write_fp_control(saved);
    return out;
}

}  // namespace codec
