// render, stems and report.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "studio/commands.h"
#include "studio/loudness.h"
#include "studio/track_render.h"

namespace studio {

void print_error(const std::string& what) {
    std::fprintf(stderr, "lumenfrost: %s\n", what.c_str());
}

namespace {

// A bar with percentage and time left on standard error, when it is a terminal.
class ProgressBar final : public Progress {
  public:
    explicit ProgressBar(const char* what)
        : what_(what),
          shown_(isatty(STDERR_FILENO) == 1),
          start_(std::chrono::steady_clock::now()) {}
    void update(uint32_t done, uint32_t total) override {
        if (!shown_) return;
        auto now = std::chrono::steady_clock::now();
        if (done < total && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        double elapsed = std::chrono::duration<double>(now - start_).count();
        double part = total ? static_cast<double>(done) / total : 1.0;
        constexpr int WIDTH = 30;
        int filled = static_cast<int>(part * WIDTH);
        char bar[WIDTH + 1];
        for (int i = 0; i < WIDTH; ++i) bar[i] = i < filled ? '#' : '.';
        bar[WIDTH] = 0;
        if (part > 0.01) {
            std::fprintf(stderr, "\r%s [%s] %3d%%  %4.1f s left ", what_, bar,
                         static_cast<int>(part * 100), elapsed * (1 - part) / part);
        } else {
            std::fprintf(stderr, "\r%s [%s] %3d%%              ", what_, bar,
                         static_cast<int>(part * 100));
        }
        if (done >= total) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

  private:
    const char* what_;
    bool shown_;
    std::chrono::steady_clock::time_point start_, last_{};
};

std::string describe(const Range& r) {
    char text[160];
    std::snprintf(text, sizeof text, "%s to %s (%.2f s)", bar_beat_text(r.from).c_str(),
                  bar_beat_text(r.to).c_str(), static_cast<double>(r.to - r.from) / SAMPLE_RATE);
    return text;
}

// Rows of the report: the whole span of `frames` frames starting at track
// frame `start`, then every section it overlaps.
std::vector<ReportRow> report_rows(const AudioData& audio, uint32_t start) {
    std::vector<float> stereo;
    const float* samples = audio.samples.data();
    if (audio.channels == 1) {  // a mono file is heard in both ears
        stereo.resize(2 * audio.samples.size());
        for (size_t i = 0; i < audio.samples.size(); ++i)
            stereo[2 * i] = stereo[2 * i + 1] = audio.samples[i];
        samples = stereo.data();
    }
    const uint64_t frames = audio.frames();
    std::vector<ReportRow> rows;
    rows.push_back({"whole", bar_beat_text(start), measure(samples, frames, audio.rate)});
    if (audio.rate != SAMPLE_RATE) return rows;  // not the track: no sections
    const auto& sections = score_sections();
    for (size_t i = 0; i < sections.size(); ++i) {
        uint64_t from = std::max<uint64_t>(sections[i].start, start);
        uint64_t to = std::min<uint64_t>(section_end(i, sections), start + frames);
        if (from >= to) continue;
        rows.push_back({sections[i].name, bar_beat_text(static_cast<uint32_t>(from)),
                        measure(samples + 2 * (from - start), to - from, audio.rate)});
    }
    return rows;
}

}  // namespace

int run_report(const std::string& path, uint32_t start, bool json) {
    AudioData audio;
    try {
        audio = read_audio(path);
    } catch (const std::exception& e) {
        print_error(e.what());
        return 1;
    }
    if (audio.channels != 1 && audio.channels != 2) {
        print_error(path + " has " + std::to_string(audio.channels) +
                    " channels; the report reads mono and stereo files");
        return 1;
    }
    if (audio.frames() == 0) {
        print_error(path + " holds no audio");
        return 1;
    }
    std::vector<ReportRow> rows = report_rows(audio, start);
    std::string text = json ? report_json(path, rows) : report_table(rows);
    std::fputs(text.c_str(), stdout);
    return 0;
}

int run_render(const RenderOptions& o) {
    try {
        // Open the output first: a file that cannot be written is known before the render.
        AudioWriter writer(o.output, o.format, o.range.from);
        std::fprintf(stderr, "Rendering %s into %s\n", describe(o.range).c_str(), o.output.c_str());
        start_engine();
        ProgressBar bar("render");
        render_track(o.range.to, &bar);
        writer.write(TrackBuffer + o.range.from, o.range.to - o.range.from);
        writer.commit();
    } catch (const std::exception& e) {
        print_error(e.what());
        return 1;
    }
    std::fprintf(stderr, "Wrote %s\n", o.output.c_str());
    if (!o.report) return 0;
    return run_report(o.output, o.range.from, o.json);
}

namespace {

class StemWriters final : public SignalSink {
  public:
    StemWriters(const std::string& dir, Format format, uint32_t first) {
        for (int s = 0; s < SIGNAL_COUNT; ++s) {
            paths_.push_back(dir + "/" + signal_name(s) + "." + format_extension(format));
            writers_.push_back(std::make_unique<AudioWriter>(paths_.back(), format, first));
        }
    }
    void take(uint32_t, uint32_t count, const StereoFrame* const* signals) override {
        for (int s = 0; s < SIGNAL_COUNT; ++s) writers_[s]->write(signals[s], count);
    }
    void commit() {
        for (auto& w : writers_) w->commit();
    }
    const std::vector<std::string>& paths() const { return paths_; }

  private:
    std::vector<std::string> paths_;
    std::vector<std::unique_ptr<AudioWriter>> writers_;
};

}  // namespace

int run_stems(const StemsOptions& o) {
    if (mkdir(o.dir.c_str(), 0755) != 0 && errno != EEXIST) {
        print_error("cannot make the folder " + o.dir + ": " + std::strerror(errno));
        return 1;
    }
    struct stat info {};
    if (stat(o.dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        print_error(o.dir + " is not a folder");
        return 1;
    }
    try {
        StemWriters writers(o.dir, o.format, o.range.from);
        std::fprintf(stderr, "Rendering the stems of %s into %s/\n", describe(o.range).c_str(),
                     o.dir.c_str());
        start_engine();
        ProgressBar bar("stems");
        render_signals(o.range.from, o.range.to, writers, &bar);
        writers.commit();
        for (const std::string& path : writers.paths()) std::printf("%s\n", path.c_str());
    } catch (const std::exception& e) {
        print_error(e.what());
        return 1;
    }
    return 0;
}

}  // namespace studio
