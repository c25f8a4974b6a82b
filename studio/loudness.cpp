#include "studio/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace studio {

namespace {

constexpr double NEG_INF = -std::numeric_limits<double>::infinity();

double to_db(double amplitude) {
    return amplitude > 0 ? 20.0 * std::log10(amplitude) : NEG_INF;
}

// A second-order section in double precision (direct form I).
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Low-pass section at f Hz with quality q (bilinear transform).
Biquad lowpass(double f, double q, double rate) {
    double w = 2.0 * M_PI * f / rate;
    double alpha = std::sin(w) / (2.0 * q);
    double c = std::cos(w);
    double a0 = 1.0 + alpha;
    return {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0,
            (1.0 - alpha) / a0};
}

// Pearson-style correlation as a phase meter shows it: sum(LR) / sqrt(sum L² sum R²).
struct Correlator {
    double lr = 0, ll = 0, rr = 0;
    void add(double l, double r) {
        lr += l * r;
        ll += l * l;
        rr += r * r;
    }
    double value() const {
        return ll > 0 && rr > 0 ? lr / std::sqrt(ll * rr)
                                : std::numeric_limits<double>::quiet_NaN();
    }
};

struct EburDeleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};

// Loudness range from short-term values taken every 100 ms: those above
// -70 LUFS and within 20 LU of their energy mean, from the 10th to the 95th
// percentile. By hand because the library's own range takes a short-term value
// once a second, and so reads up to a few tenths of a LU apart from meters that
// take the ten a second the measure asks for.
double loudness_range(std::vector<double> values) {
    std::erase_if(values, [](double s) { return !(s > -70.0); });
    if (values.empty()) return 0;
    double energy = 0;
    for (double s : values) energy += std::pow(10.0, s / 10.0);
    const double gate = 10.0 * std::log10(energy / static_cast<double>(values.size())) - 20.0;
    std::erase_if(values, [gate](double s) { return s < gate; });
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    auto percentile = [&](double p) {
        const auto i = static_cast<size_t>(std::lround(p * static_cast<double>(values.size() - 1)));
        return values[i];
    };
    return percentile(0.95) - percentile(0.10);
}

}  // namespace

Measures measure(const float* samples, uint64_t frames, uint32_t rate) {
    Measures m;
    m.seconds = static_cast<double>(frames) / rate;
    std::unique_ptr<ebur128_state, EburDeleter> state(ebur128_init(
        2, rate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_S | EBUR128_MODE_TRUE_PEAK));
    if (!state) throw std::runtime_error("the loudness meter could not start");

    // Short-term loudness every 100 ms, as a meter updates it.
    const uint64_t step = rate / 10;
    m.shortterm_max_lufs = NEG_INF;
    std::vector<double> shortterm;
    for (uint64_t at = 0; at < frames; at += step) {
        uint64_t n = std::min(step, frames - at);
        ebur128_add_frames_float(state.get(), samples + 2 * at, n);
        double s;
        if (at + n >= 3ull * rate &&
            ebur128_loudness_shortterm(state.get(), &s) == EBUR128_SUCCESS) {
            m.shortterm_max_lufs = std::max(m.shortterm_max_lufs, s);
            shortterm.push_back(s);
        }
    }
    if (ebur128_loudness_global(state.get(), &m.integrated_lufs) != EBUR128_SUCCESS)
        m.integrated_lufs = NEG_INF;
    m.range_lu = loudness_range(shortterm);
    double peak = 0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0;
        if (ebur128_true_peak(state.get(), c, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    m.true_peak_dbtp = to_db(peak);

    double sample_peak = 0, sum[2] = {0, 0}, power[2] = {0, 0};
    Correlator all, low;
    Biquad low_l[2] = {lowpass(120, 0.54119610, rate), lowpass(120, 1.30656296, rate)};
    Biquad low_r[2] = {low_l[0], low_l[1]};
    for (uint64_t i = 0; i < frames; ++i) {
        double l = samples[2 * i], r = samples[2 * i + 1];
        for (double x : {l, r}) {
            double a = std::fabs(x);
            sample_peak = std::max(sample_peak, a);
            if (a > 1.0) ++m.above_one;
        }
        sum[0] += l;
        sum[1] += r;
        power[0] += l * l;
        power[1] += r * r;
        all.add(l, r);
        low.add(low_l[1].run(low_l[0].run(l)), low_r[1].run(low_r[0].run(r)));
    }
    m.sample_peak_dbfs = to_db(sample_peak);
    for (int c = 0; c < 2; ++c) m.dc[c] = frames ? sum[c] / static_cast<double>(frames) : 0;
    m.balance_db = power[0] > 0 && power[1] > 0 ? 10.0 * std::log10(power[0] / power[1])
                                                : std::numeric_limits<double>::quiet_NaN();
    m.correlation = all.value();
    m.correlation_low = low.value();
    return m;
}

namespace {

std::string number(double v, const char* format) {
    if (std::isnan(v)) return "-";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string json_number(double v, const char* format) {
    if (!std::isfinite(v)) return "null";
    return number(v, format);
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string report_table(const std::vector<ReportRow>& rows) {
    std::string out;
    char line[320];
    std::snprintf(line, sizeof line, "%-12s %8s %7s %7s %6s %7s %7s %7s %6s %9s %9s %6s %6s %6s\n",
                  "", "from", "length", "LUFS", "LRA", "S max", "dBTP", "peak", ">1.0", "DC left",
                  "DC right", "L/R", "corr", "<120");
    out += line;
    std::snprintf(line, sizeof line, "%-12s %8s %7s %7s %6s %7s %7s %7s %6s %9s %9s %6s %6s %6s\n",
                  "", "bar:beat", "s", "I", "LU", "LUFS", "true pk", "dBFS", "count", "", "", "dB",
                  "", "Hz");
    out += line;
    for (const ReportRow& r : rows) {
        const Measures& m = r.m;
        std::snprintf(
            line, sizeof line, "%-12s %8s %7.2f %7s %6s %7s %7s %7s %6llu %9s %9s %6s %6s %6s\n",
            r.name.c_str(), r.from.c_str(), m.seconds, number(m.integrated_lufs, "%.1f").c_str(),
            number(m.range_lu, "%.1f").c_str(), number(m.shortterm_max_lufs, "%.1f").c_str(),
            number(m.true_peak_dbtp, "%+.2f").c_str(), number(m.sample_peak_dbfs, "%+.2f").c_str(),
            static_cast<unsigned long long>(m.above_one), number(m.dc[0], "%+.6f").c_str(),
            number(m.dc[1], "%+.6f").c_str(), number(m.balance_db, "%+.2f").c_str(),
            number(m.correlation, "%+.2f").c_str(), number(m.correlation_low, "%+.2f").c_str());
        out += line;
    }
    return out;
}

std::string report_json(const std::string& file, const std::vector<ReportRow>& rows) {
    std::string out = "{\n  \"file\": " + json_string(file) + ",\n  \"parts\": [\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Measures& m = rows[i].m;
        out += "    {\"name\": " + json_string(rows[i].name) +
               ", \"from\": " + json_string(rows[i].from) +
               ", \"seconds\": " + json_number(m.seconds, "%.6f") +
               ", \"integrated_lufs\": " + json_number(m.integrated_lufs, "%.3f") +
               ", \"loudness_range_lu\": " + json_number(m.range_lu, "%.3f") +
               ", \"shortterm_max_lufs\": " + json_number(m.shortterm_max_lufs, "%.3f") +
               ", \"true_peak_dbtp\": " + json_number(m.true_peak_dbtp, "%.3f") +
               ", \"sample_peak_dbfs\": " + json_number(m.sample_peak_dbfs, "%.3f") +
               ", \"samples_above_one\": " + std::to_string(m.above_one) + ", \"dc_offset\": [" +
               json_number(m.dc[0], "%.9f") + ", " + json_number(m.dc[1], "%.9f") + "]" +
               ", \"balance_db\": " + json_number(m.balance_db, "%.3f") +
               ", \"correlation\": " + json_number(m.correlation, "%.4f") +
               ", \"correlation_below_120hz\": " + json_number(m.correlation_low, "%.4f") + "}" +
               (i + 1 < rows.size() ? ",\n" : "\n");
    }
    return out + "  ]\n}\n";
}

}  // namespace studio
