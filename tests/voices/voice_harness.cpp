#include "tests/voices/voice_harness.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/frame/engine.h"
#include "engine/startup/units.h"

namespace lf::voices_test {

namespace {

// The engine state and the drum samples as start-up left them.
struct Pristine {
    EngineState state;
    std::vector<float> samples[SAMPLE_COUNT + 1];
};

Pristine& pristine() {
    static Pristine* p = [] {
        engine_startup();
        auto* copy = new Pristine{.state = engine, .samples = {}};
        for (int n = 1; n <= SAMPLE_COUNT; ++n)
            copy->samples[n].assign(sample_buffer(n), sample_buffer(n) + sample_decoded_length(n));
        return copy;
    }();
    return *p;
}

void fill(DelayRing& ring, float value) {
    for (Vec4& slot : ring.slot) slot = Vec4(value);
}

}  // namespace

void VoiceTest::reset_engine_state() {
    Pristine& p = pristine();
    set_engine_fp_mode();
    std::memcpy(static_cast<void*>(&engine), &p.state, sizeof engine);
    for (int n = 1; n <= SAMPLE_COUNT; ++n)
        std::memcpy(const_cast<float*>(sample_buffer(n)), p.samples[n].data(),
                    p.samples[n].size() * sizeof(float));
}

void VoiceTest::attach(int track, const NoteList& list) {
    point_cursor(track, list);
    tracks_.push_back(track);
    std::sort(tracks_.begin(), tracks_.end(), [](int a, int b) { return a > b; });
}

void VoiceTest::advance(float t) {
    for (int k : tracks_) event_cursor_advance(engine.score.note_cursors[k], t);
}

void VoiceTest::set_curve(int curve, float value) {
    engine.score.curve_envs[curve].out = Vec4(value);
}

void disturb(BandShifter& unit) {
    for (FreqShifter& s : unit.shifter) {
        for (AllpassMemory& m : s.path_a) m = {Vec4(0.3f), Vec4(-0.2f)};
        for (AllpassMemory& m : s.path_b) m = {Vec4(-0.1f), Vec4(0.4f)};
        s.previous_a = Vec4(0.5f);
        fill(s.ring, 0.25f);
    }
    unit.split.low1 = unit.split.low2 = {Vec4(0.1f), Vec4(0.2f)};
    unit.split.high1 = unit.split.high2 = {Vec4(-0.3f), Vec4(0.1f)};
}

void disturb(ReverbUnit& unit) {
    for (DelayRing& ring : unit.line) fill(ring, 0.25f);
    for (Vec4& d : unit.damp) d = Vec4(0.5f);
    unit.highpass = {Vec4(0.1f), Vec4(-0.1f)};
}

void disturb(ResonatorBank& bank) {
    for (BiquadState& s : bank.edge_state) s = {Vec4(0.2f), Vec4(-0.1f)};
    for (auto& band : bank.band_state)
        for (BiquadState& s : band) s = {Vec4(0.3f), Vec4(0.1f)};
}

NoteList::NoteList(std::initializer_list<NoteEvent> notes) {
    events_.push_back({0.0f, 0.0f, -16384.0f, -16384.0f});
    events_.insert(events_.end(), notes.begin(), notes.end());
    events_.push_back({1.0f, 0.0f, 16384.0f, 16384.0f});
}

const NoteList& NoteList::none() {
    static const NoteList empty({});
    return empty;
}

void point_cursor(int track, const NoteList& list) {
    EventCursor& c = engine.score.note_cursors[track];
    c.event = list.data();
    c.velocity = 0.0f;
    c.level = 0.0f;
    c.state = Vec4::zero();
}

void advance_tracks(std::initializer_list<int> tracks, uint32_t frame) {
    float t = frame_time(frame);
    for (int k : tracks) event_cursor_advance(engine.score.note_cursors[k], t);
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
        lane[i] = static_cast<int32_t>(from.ulane(i) + draws * engine.noise_gen.step.ulane(i));
    return Int4::set(lane[0], lane[1], lane[2], lane[3]);
}

bool same_lanes(Int4 a, Int4 b) {
    for (int i = 0; i < 4; ++i)
        if (a.lane(i) != b.lane(i)) return false;
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

double sine_amplitude(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(2.0 * sum / static_cast<double>(end - begin));
}

}  // namespace lf::voices_test
