#include "studio/track_render.h"

#include <cfenv>
#include <cstdio>
#include <iterator>
#include <vector>

#include "engine/dsp/math.h"
#include "engine/frame/arrangement.h"
#include "engine/frame/stages.h"

namespace studio {

static_assert(lf::TAP_COUNT == SIGNAL_COUNT);
static_assert(lf::TAP_OUTPUT == OUTPUT_SIGNAL);

namespace {

constexpr uint32_t BLOCK = 4096;

// The engine's mode (flush-to-zero, rounding toward -inf) for the engine's
// calls only: the studio's own arithmetic (quantising, metering) runs in the
// caller's mode.
class EngineMode {
  public:
    EngineMode() {
        std::fegetenv(&saved_);
        engine_set_fp_mode();
    }
    ~EngineMode() { std::fesetenv(&saved_); }

  private:
    std::fenv_t saved_;
};

// Keeps lanes 0 and 1 (left, right) of every signal of one frame.
struct SignalProbe {
    StereoFrame* frame;  // SIGNAL_COUNT entries
    void mark(lf::Stage) {}
    void tap(lf::Tap tap, lf::Vec4 v) {
        alignas(16) float lanes[4];
        v.store(lanes);
        frame[tap] = {lanes[0], lanes[1]};
    }
};

struct Named {
    lf::Tap tap;
    int track;  // -1: no note track of its own
    const char* what;
};
constexpr Named SIGNAL_NAMES[] = {
    {lf::TAP_TRACK0, lf::TRACK_BREAK, "break"},
    {lf::TAP_NOISE_SWEEP, -1, "noise-sweep"},
    {lf::TAP_TRACK1, lf::TRACK_CHORD1, "chords"},
    {lf::TAP_TRACK7, lf::TRACK_PLUCK, "pluck"},
    {lf::TAP_TRACK9, lf::TRACK_RIDE, "ride"},
    {lf::TAP_TRACK10, lf::TRACK_HATS, "hats"},
    {lf::TAP_TRACK11, lf::TRACK_KICK, "kick"},
    {lf::TAP_TRACK14, lf::TRACK_BASS, "bass"},
    {lf::TAP_TRACK12, lf::TRACK_CRASH, "crash"},
    {lf::TAP_TRACK13, lf::TRACK_SNARE, "snare"},
    {lf::TAP_TRACK16, lf::TRACK_ARP, "arp"},
    {lf::TAP_TRACK17, lf::TRACK_GLIDE, "glide"},
    {lf::TAP_TRACK19, lf::TRACK_LEAD, "lead"},
    {lf::TAP_TRACK21, lf::TRACK_SOLO, "solo"},
    {lf::TAP_TRACK22, lf::TRACK_CRASH_REVERB, "crash-reverb"},
    {lf::TAP_TRACK23, lf::TRACK_BLIPS, "blips"},
    {lf::TAP_FRONT_BUS, -1, "bus-front"},
    {lf::TAP_MAIN_BUS, -1, "bus-main"},
    {lf::TAP_MASTER, -1, "master"},
    {lf::TAP_OUTPUT, -1, "output"},
};
static_assert(std::size(SIGNAL_NAMES) == SIGNAL_COUNT);
constexpr bool names_in_tap_order() {
    for (int i = 0; i < SIGNAL_COUNT; ++i) {
        if (SIGNAL_NAMES[i].tap != i) return false;
    }
    return true;
}
static_assert(names_in_tap_order());

void report(Progress* progress, uint32_t done, uint32_t total) {
    if (progress != nullptr) progress->update(done, total);
}

}  // namespace

void start_engine() {
    std::fenv_t saved;
    std::fegetenv(&saved);
    engine_startup();
    std::fesetenv(&saved);
}

void render_track(uint32_t to, Progress* progress) {
    for (uint32_t at = 0; at < to; at += BLOCK) {
        uint32_t end = at + BLOCK < to ? at + BLOCK : to;
        {
            EngineMode mode;
            for (uint32_t i = at; i < end; ++i) render_frame(TrackBuffer, i);
        }
        report(progress, end, to);
    }
}

std::string signal_name(int signal) {
    const Named& n = SIGNAL_NAMES[signal];
    if (n.track < 0) return n.what;
    char name[40];
    std::snprintf(name, sizeof name, "%02d-%s", n.track, n.what);
    return name;
}

void render_signals(uint32_t from, uint32_t to, SignalSink& sink, Progress* progress) {
    // The frames before the range only bring the engine's state to `from`.
    for (uint32_t at = 0; at < from; at += BLOCK) {
        uint32_t end = at + BLOCK < from ? at + BLOCK : from;
        {
            EngineMode mode;
            for (uint32_t i = at; i < end; ++i) render_frame(TrackBuffer, i);
        }
        report(progress, end, to);
    }
    std::vector<StereoFrame> block(static_cast<size_t>(SIGNAL_COUNT) * BLOCK);
    const StereoFrame* signals[SIGNAL_COUNT];
    for (int s = 0; s < SIGNAL_COUNT; ++s) signals[s] = &block[static_cast<size_t>(s) * BLOCK];
    StereoFrame frame[SIGNAL_COUNT];
    for (uint32_t at = from; at < to; at += BLOCK) {
        uint32_t end = at + BLOCK < to ? at + BLOCK : to;
        {
            EngineMode mode;
            SignalProbe probe{frame};
            for (uint32_t i = at; i < end; ++i) {
                // The song time exactly as render_frame computes it.
                lf::Vec4 t = lf::Vec4(static_cast<float>(i)) * lf::Vec4(lf::FRAME_SECONDS);
                lf::run_frame_stages_probed(t, probe);
                for (int s = 0; s < SIGNAL_COUNT; ++s)
                    block[static_cast<size_t>(s) * BLOCK + (i - at)] = frame[s];
            }
        }
        sink.take(at, end - at, signals);
        report(progress, end, to);
    }
}

}  // namespace studio
