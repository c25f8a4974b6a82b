// The loudness report: what a mastering engineer checks before a release.
// Loudness, its range and the true peak follow EBU R 128 / ITU-R BS.1770
// (libebur128); the rest is counted here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace studio {

struct Measures {
    double seconds = 0;
    double integrated_lufs = 0;     // -inf for silence or less than 400 ms
    double range_lu = 0;            // loudness range
    double shortterm_max_lufs = 0;  // highest 3-s loudness (-inf under 3 s)
    double true_peak_dbtp = 0;
    double sample_peak_dbfs = 0;
    uint64_t above_one = 0;      // samples with magnitude above 1.0
    double dc[2] = {0, 0};       // mean of each channel
    double balance_db = 0;       // left power over right power; NaN if one is silent
    double correlation = 0;      // NaN for silence
    double correlation_low = 0;  // below 120 Hz
};

// Measures `frames` stereo frames (interleaved) at `rate`.
Measures measure(const float* samples, uint64_t frames, uint32_t rate);

struct ReportRow {
    std::string name;  // "whole" or a section's name
    std::string from;  // bar:beat
    Measures m;
};

std::string report_table(const std::vector<ReportRow>& rows);
std::string report_json(const std::string& file, const std::vector<ReportRow>& rows);

}  // namespace studio
