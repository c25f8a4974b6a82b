#include "tests/voices_a/voice_harness.h"

#include <cmath>
#include <cstring>

#include "engine/frame/engine.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/drums_state.h"
#include "engine/voices/noise_state.h"
#include "engine/voices/oscillator_bank_state.h"

namespace voices_a {

using namespace lf;

namespace {

SamplePlayer* const PLAYERS[] = {&player_sample1,   &player_sample2,   &player_sample3_a,
                                 &player_sample4_a, &player_sample3_b, &player_sample4_b,
                                 &player_sample5,   &player_sample6,   &player_sample7};
constexpr int PLAYER_COUNT = sizeof(PLAYERS) / sizeof(PLAYERS[0]);

// Everything as start-up left it.
struct Snapshot {
    SamplePlayer players[PLAYER_COUNT];
    FeedbackCascade cascade;
    NoiseGen noise;
    EventCursor cursors[NOTE_LIST_COUNT];
    CurveEnv curves[CURVE_COUNT];
    std::vector<float> samples[SAMPLE_COUNT + 1];
};

Snapshot& snapshot() {
    static Snapshot* s = [] {
        engine_startup();
        auto* snap = new Snapshot;
        for (int i = 0; i < PLAYER_COUNT; ++i) snap->players[i] = *PLAYERS[i];
        snap->cascade = allpass_cascade_880;
        snap->noise = noise_gen;
        std::memcpy(snap->cursors, note_cursors, sizeof note_cursors);
        std::memcpy(snap->curves, curve_envs, sizeof curve_envs);
        for (int n = 1; n <= SAMPLE_COUNT; ++n)
            snap->samples[n].assign(sample_buffer(n), sample_buffer(n) + sample_decoded_length(n));
        return snap;
    }();
    return *s;
}

template <typename T>
void zero(T& record) {
    std::memset(static_cast<void*>(&record), 0, sizeof record);
}

}  // namespace

void VoiceTest::reset_engine_state() {
    Snapshot& s = snapshot();
    set_engine_fp_mode();
    for (int i = 0; i < PLAYER_COUNT; ++i) *PLAYERS[i] = s.players[i];
    allpass_cascade_880 = s.cascade;
    noise_gen = s.noise;
    std::memcpy(note_cursors, s.cursors, sizeof note_cursors);
    std::memcpy(curve_envs, s.curves, sizeof curve_envs);
    for (int n = 1; n <= SAMPLE_COUNT; ++n)
        std::memcpy(const_cast<float*>(sample_buffer(n)), s.samples[n].data(),
                    s.samples[n].size() * sizeof(float));
    zero(track13_state);
    zero(track12_state);
    zero(track22_state);
    zero(track0_state);
    zero(track23_state);
    zero(track21_state);
    zero(track16_state);
    zero(track7_state);
    zero(track10_state);
    zero(noise_sweep_state);
}

NoteList::NoteList(std::initializer_list<NoteEvent> notes) {
    events.push_back({0.0f, 0.0f, -16384.0f, -16384.0f});
    events.insert(events.end(), notes.begin(), notes.end());
    events.push_back({1.0f, 0.0f, 16384.0f, 16384.0f});
}

void point_cursor(int track, NoteList& list) {
    EventCursor& c = note_cursors[track];
    c.event = list.events.data();
    c.velocity = 0.0f;
    c.level = 0.0f;
    c.state = Vec4::zero();
}

void advance(std::initializer_list<int> tracks, uint32_t frame) {
    float t = frame_time(frame);
    for (int k : tracks) event_cursor_advance(note_cursors[k], t);
}

void fill_sample(int n, const std::function<float(uint32_t)>& value) {
    // The decoded samples are start-up's static storage; the const view is for
    // the voices.
    float* data = const_cast<float*>(sample_buffer(n));
    for (uint32_t i = 0; i < sample_decoded_length(n); ++i) data[i] = value(i);
}

Int4 counter_after(Int4 from, uint32_t draws) {
    int32_t lane[4];
    for (int i = 0; i < 4; ++i)
        lane[i] = static_cast<int32_t>(from.ulane(i) + draws * noise_gen.step.ulane(i));
    return Int4::set(lane[0], lane[1], lane[2], lane[3]);
}

bool same_lanes(Int4 a, Int4 b) {
    for (int i = 0; i < 4; ++i)
        if (a.lane(i) != b.lane(i)) return false;
    return true;
}

bool equal_lanes(Vec4 a, Vec4 b) {
    for (int i = 0; i < 4; ++i)
        if (!(a.lane(i) == b.lane(i))) return false;
    return true;
}

double band_power(const std::vector<float>& x, double f) {
    const size_t block = 1024;
    const double pi = 3.14159265358979323846;
    const double coeff = 2.0 * std::cos(2.0 * pi * f / 44100.0);
    double total = 0.0;
    size_t blocks = 0;
    for (size_t start = 0; start + block <= x.size(); start += block, ++blocks) {
        double s1 = 0.0, s2 = 0.0;
        for (size_t i = 0; i < block; ++i) {
            double w = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / block);
            double s0 = w * x[start + i] + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        total += s1 * s1 + s2 * s2 - coeff * s1 * s2;
    }
    return blocks ? total / static_cast<double>(blocks) : 0.0;
}

}  // namespace voices_a

namespace voices_a {

double cookbook_gain(Section kind, double f0, double q, double a, double f) {
    const double pi = 3.14159265358979323846;
    const double w0 = 2.0 * pi * f0 / 44100.0, c = std::cos(w0), alpha = std::sin(w0) / (2.0 * q);
    double b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = -2.0 * c, a2 = 0;
    switch (kind) {
        case Section::HIGHPASS:
            b0 = b2 = (1.0 + c) / 2.0, b1 = -(1.0 + c), a0 = 1.0 + alpha, a2 = 1.0 - alpha;
            break;
        case Section::LOWPASS:
            b0 = b2 = (1.0 - c) / 2.0, b1 = 1.0 - c, a0 = 1.0 + alpha, a2 = 1.0 - alpha;
            break;
        case Section::PEAKING:
            b0 = 1.0 + alpha * a, b1 = -2.0 * c, b2 = 1.0 - alpha * a;
            a0 = 1.0 + alpha / a, a2 = 1.0 - alpha / a;
            break;
        case Section::NOTCH:
            b0 = b2 = 1.0, b1 = -2.0 * c, a0 = 1.0 + alpha, a2 = 1.0 - alpha;
            break;
    }
    const double w = 2.0 * pi * f / 44100.0;
    // |b0 + b1 z^-1 + b2 z^-2| / |a0 + a1 z^-1 + a2 z^-2| on the unit circle.
    auto mag = [w](double c0, double c1, double c2) {
        const double re = c0 + c1 * std::cos(w) + c2 * std::cos(2.0 * w);
        const double im = -c1 * std::sin(w) - c2 * std::sin(2.0 * w);
        return std::sqrt(re * re + im * im);
    };
    return mag(b0, b1, b2) / mag(a0, a1, a2);
}

double sine_amplitude(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(2.0 * sum / static_cast<double>(end - begin));
}

}  // namespace voices_a
