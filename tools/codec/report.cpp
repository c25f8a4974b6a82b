#include "tools/codec/report.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "engine/dsp/vec4.h"
#include "engine/startup/codec.h"
#include "tools/codec/lapped.h"
#include "tools/codec/png.h"

namespace codec {

namespace {

constexpr double PI = 3.14159265358979323846;

double db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

// Band energies of every window, in decoder order.
std::vector<std::vector<double>> band_energies(const std::vector<Window>& plan,
                                               const std::vector<double>& x) {
    std::vector<std::vector<double>> out;
    std::vector<double> spectrum;
    for (const Window& w : plan) {
        forward(w, x, spectrum);
        int divisor = w.length == 256 ? 8 : 1, p = 0;
        std::vector<double> bands(BANDS, 0.0);
        for (int k = 0; k < BANDS; ++k) {
            int width = lf::BAND_WIDTHS[k] / divisor;
            for (int l = 0; l < width; ++l) bands[k] += spectrum[p + l] * spectrum[p + l];
            p += width;
        }
        out.push_back(bands);
    }
    return out;
}

}  // namespace

Figures measure(const std::vector<float>& source, const std::vector<float>& decoded,
                const std::vector<uint8_t>& types) {
    Figures f;
    size_t n = source.size();
    std::vector<double> src(source.begin(), source.end());
    std::vector<double> dec(decoded.begin(), decoded.begin() + std::min(n, decoded.size()));
    dec.resize(n, 0.0);

    double signal = 0, error = 0;
    for (size_t i = 0; i < n; ++i) {
        signal += src[i] * src[i];
        error += (dec[i] - src[i]) * (dec[i] - src[i]);
    }
    f.snr_db = db(signal / std::max(error, 1e-300));

    // Band energies: only windows that lie inside the recording.
    std::vector<Window> plan = plan_windows(types);
    auto es = band_energies(plan, src), ed = band_energies(plan, dec);
    double sum_sq = 0;
    for (size_t w = 0; w < plan.size(); ++w) {
        if (plan[w].start < 0 || plan[w].start + plan[w].length > static_cast<long>(n)) continue;
        int divisor = plan[w].length == 256 ? 8 : 1;
        double top = *std::max_element(es[w].begin(), es[w].end());
        for (int k = 0; k < BANDS; ++k) {
            int width = lf::BAND_WIDTHS[k] / divisor;
            double below = -db(es[w][k] / top);
            if (gain_index(std::sqrt(es[w][k]) / width) < 1 || below > 60.0) continue;
            double e = std::fabs(db(ed[w][k] / es[w][k]));
            if (below > CODED_RANGE_DB) {
                f.quiet_band_error_max_db = std::max(f.quiet_band_error_max_db, e);
                ++f.quiet_bands;
                continue;
            }
            f.band_error_max_db = std::max(f.band_error_max_db, e);
            sum_sq += e * e;
            ++f.bands;
            f.bands_over_2db += e > 2.0;
        }
    }
    f.band_error_rms_db = f.bands > 0 ? std::sqrt(sum_sq / f.bands) : 0.0;

    // Pre-echo: attacks are 64-sample blocks whose first difference (the
    // highs, where a stroke shows above a ringing kick) is at least 12 dB above
    // the four blocks before (and not lost in the noise floor). The error in the 256
    // samples before an attack is compared with the attack's loudest block,
    // for attacks whose lead-in the short windows cover.
    std::vector<char> short_cover(n, 0);
    for (const Window& w : plan)
        if (w.length == 256)
            for (long t = std::max(0L, w.start); t < std::min<long>(w.start + 256, n); ++t)
                short_cover[t] = 1;
    constexpr size_t B = 64;
    size_t blocks = n / B;
    std::vector<double> rms(blocks, 0.0);
    double peak = 0;
    std::vector<double> edge(blocks, 0.0);  // the same for the first difference
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t i = b * B; i < b * B + B; ++i) {
            double d = src[i] - (i > 0 ? src[i - 1] : 0.0);
            rms[b] += src[i] * src[i];
            edge[b] += d * d;
        }
        rms[b] = std::sqrt(rms[b] / B);
        edge[b] = std::sqrt(edge[b] / B);
        peak = std::max(peak, edge[b]);
    }
    for (size_t b = 1; b + 8 < blocks; ++b) {
        double before = 0;
        for (size_t j = 1; j <= 4 && j <= b; ++j) before = std::max(before, edge[b - j]);
        if (edge[b] < 0.01 * peak || edge[b] < 4.0 * before) continue;
        size_t t0 = b * B, from = t0 >= 256 ? t0 - 256 : 0;
        bool covered = true;
        for (size_t t = from; t < t0; ++t) covered = covered && short_cover[t];
        if (!covered || from == t0) continue;
        double attack = 0, pre = 0;
        for (size_t j = 0; j < 8; ++j) attack = std::max(attack, rms[b + j]);
        for (size_t t = from; t < t0; ++t) pre += (dec[t] - src[t]) * (dec[t] - src[t]);
        pre = std::sqrt(pre / static_cast<double>(t0 - from));
        f.pre_echo_db = std::max(f.pre_echo_db, 2.0 * db(pre / attack));  // amplitude ratio in dB
        ++f.onsets;
    }
    return f;
}

std::vector<uint8_t> spectrogram_png(const std::vector<float>& source,
                                     const std::vector<float>& decoded) {
    constexpr int WIDTH = 360, HEIGHT = 200, GAP = 6, FFT = 1024;
    constexpr uint8_t GAP_COLOUR = 255;
    size_t n = source.size();
    double hop = static_cast<double>(n) / WIDTH;
    std::vector<double> hann(FFT);
    for (int i = 0; i < FFT; ++i) hann[i] = 0.5 - 0.5 * std::cos(2.0 * PI * (i + 0.5) / FFT);

    auto columns = [&](const std::vector<float>& x) {
        std::vector<std::vector<double>> cols(WIDTH, std::vector<double>(FFT / 2 + 1));
        for (int c = 0; c < WIDTH; ++c) {
            long centre = static_cast<long>(c * hop);
            std::vector<std::complex<double>> buf(FFT);
            for (int i = 0; i < FFT; ++i) {
                long t = centre - FFT / 2 + i;
                double v = (t >= 0 && t < static_cast<long>(n) && t < static_cast<long>(x.size()))
                               ? x[t]
                               : 0.0;
                buf[i] = v * hann[i];
            }
            fft_inplace(buf);
            for (int k = 0; k <= FFT / 2; ++k) cols[c][k] = std::norm(buf[k]);
        }
        return cols;
    };
    auto a = columns(source), b = columns(decoded);
    double top = 1e-30;
    for (const auto& col : a)
        for (double v : col) top = std::max(top, v);

    int width = 2 * WIDTH + GAP;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * HEIGHT, GAP_COLOUR);
    for (int y = 0; y < HEIGHT; ++y) {
        // Row y from the top: 20 kHz down to 40 Hz on a log scale.
        double hz = 40.0 * std::pow(20000.0 / 40.0, 1.0 - (y + 0.5) / HEIGHT);
        double bin = hz * FFT / 44100.0;
        int k = std::min(static_cast<int>(bin), FFT / 2 - 1);
        double frac = bin - k;
        for (int panel = 0; panel < 2; ++panel) {
            const auto& cols = panel == 0 ? a : b;
            for (int c = 0; c < WIDTH; ++c) {
                double p = (1.0 - frac) * cols[c][k] + frac * cols[c][k + 1];
                double level = (db(p / top) + 90.0) / 90.0;  // 0 at -90 dB, 1 at the peak
                int index = static_cast<int>(std::clamp(level, 0.0, 1.0) * 253.0);
                pixels[static_cast<size_t>(y) * width + panel * (WIDTH + GAP) + c] =
                    static_cast<uint8_t>(index);
            }
        }
    }
    // Black through blue, magenta and orange to pale yellow.
    std::vector<Rgb> palette(256);
    const double stops[5][3] = {
        {0, 0, 0}, {40, 20, 120}, {170, 40, 130}, {250, 140, 40}, {255, 250, 200}};
    for (int i = 0; i < 254; ++i) {
        double u = i / 253.0 * 4.0;
        int s = std::min(static_cast<int>(u), 3);
        double t = u - s;
        palette[i] = {static_cast<uint8_t>(stops[s][0] + t * (stops[s + 1][0] - stops[s][0])),
                      static_cast<uint8_t>(stops[s][1] + t * (stops[s + 1][1] - stops[s][1])),
                      static_cast<uint8_t>(stops[s][2] + t * (stops[s + 1][2] - stops[s][2]))};
    }
    palette[254] = {128, 128, 128};
    palette[GAP_COLOUR] = {255, 255, 255};
    return png_bytes(width, HEIGHT, pixels, palette);
}

}  // namespace codec
