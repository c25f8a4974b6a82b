// Standard MIDI File export, so the composition opens in a sequencer or a
// notation program. One quarter note is one beat of 64 ticks, so MIDI ticks are
// the score's ticks; the tempo is 180 (333333 us per quarter). Breakpoints
// before the track's start are shown at its start. Written by hand rather than
// with a MIDI library: the format-1 file needs only meta and note events, and
// a test compares its bytes with the checked-in file, so every byte must stay
// ours (a library's event order or running status would change them).
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/score/arrangement.h"
#include "tools/score/score.h"

namespace score {

namespace {

struct TimedEvent {
    int64_t tick;
    int order;  // at equal ticks: meta first, then note-offs, then note-ons
    std::vector<uint8_t> bytes;
};

void put_be(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_vlq(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = v & 0x7f;
        v >>= 7;
    } while (v);
    while (n > 1) out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

TimedEvent meta(int64_t tick, uint8_t type, const std::string& text) {
    TimedEvent e{std::max<int64_t>(tick, 0), 0, {0xff, type}};
    put_vlq(e.bytes, static_cast<uint32_t>(text.size()));
    e.bytes.insert(e.bytes.end(), text.begin(), text.end());
    return e;
}

void put_track(std::vector<uint8_t>& out, std::vector<TimedEvent> events) {
    std::stable_sort(events.begin(), events.end(), [](const TimedEvent& a, const TimedEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> body;
    int64_t now = 0;
    for (const TimedEvent& e : events) {
        put_vlq(body, static_cast<uint32_t>(e.tick - now));
        now = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    body.insert(body.end(), {0x00, 0xff, 0x2f, 0x00});  // end of track
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    put_be(out, static_cast<uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
}

// Velocity 64 (full level) is MIDI velocity 127.
uint8_t midi_velocity(int v) {
    long m = std::lround(v * 127.0 / 64.0);
    return static_cast<uint8_t>(std::clamp<long>(m, 1, 127));
}

}  // namespace

std::vector<uint8_t> score_midi(const Score& score) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    put_be(out, 6, 4);
    put_be(out, 1, 2);                // format 1: parallel tracks
    put_be(out, 1 + TRACK_COUNT, 2);  // conductor + one per note list
    put_be(out, TICKS_PER_BEAT, 2);

    std::vector<TimedEvent> conductor;
    conductor.push_back(meta(0, 0x03, "lumenfrost"));
    conductor.push_back({0, 0, {0xff, 0x51, 0x03, 0x05, 0x16, 0x15}});  // 333333 us = 180 BPM
    conductor.push_back({0, 0, {0xff, 0x58, 0x04, 4, 2, 24, 8}});       // 4/4
    conductor.push_back({0, 0, {0xff, 0x59, 0x02, 6, 1}});              // 6 sharps, minor: D# minor
    for (const Section& s : score.sections) conductor.push_back(meta(s.start, 0x06, s.name));
    for (int c = 0; c < CURVE_COUNT; ++c) {
        for (const Breakpoint& b : score.curves[c].points) {
            char text[96];
            std::snprintf(text, sizeof text, "curve %d %s = %g k %g", c, CURVE_ROWS[c].name,
                          b.value / double{UNITS_PER_ONE}, b.shape / double{UNITS_PER_ONE});
            conductor.push_back(meta(b.time, 0x01, text));
        }
    }
    put_track(out, conductor);

    for (int t = 0; t < TRACK_COUNT; ++t) {
        std::vector<TimedEvent> events;
        events.push_back(meta(0, 0x03, std::to_string(t) + " " + TRACK_ROWS[t].name));
        const uint8_t channel = static_cast<uint8_t>(t % 16);
        for (const Note& n : score.tracks[t].notes) {
            const uint8_t key = static_cast<uint8_t>(std::clamp(n.number, 0, 127));
            events.push_back(
                {n.on, 2, {static_cast<uint8_t>(0x90 | channel), key, midi_velocity(n.velocity)}});
            events.push_back(
                {int64_t{n.on} + n.duration, 1, {static_cast<uint8_t>(0x80 | channel), key, 0x40}});
        }
        put_track(out, events);
    }
    return out;
}

}  // namespace score
