// The per-frame stage sequence: score walk, voices, mix, master chain.
#pragma once

#include "engine/dsp/vec4.h"
#include "engine/frame/engine_state.h"
#include "engine/frame/mix.h"
#include "engine/voices/voices.h"

namespace lf {

// Moves the 24 note cursors (23 down to 0) and the curves in use (36 down to 0)
// to the song time t.
void score_walk(Vec4 t);

// Runs one frame at song time t (all lanes equal); returns the master output,
// whose lanes 0 and 1 are the frame.
Vec4 run_frame_stages(Vec4 t);

// The stages of a frame, in order, as a benchmark that times them names them.
enum Stage : int {
    STAGE_SCORE_WALK,
    STAGE_TRACK0,
    STAGE_NOISE_SWEEP,
    STAGE_FRONT_START,
    STAGE_TRACK1,
    STAGE_TRACK7,
    STAGE_TRACK9,
    STAGE_TRACK10,
    STAGE_FRONT_FILTER,
    STAGE_TRACK11,
    STAGE_TRACK14,
    STAGE_BASS_DUCKING,
    STAGE_TRACK12,
    STAGE_MAIN_START,
    STAGE_TRACK13,
    STAGE_TRACK16,
    STAGE_TRACK17,
    STAGE_TRACK19,
    STAGE_BUS_ADDS,
    STAGE_MASTER_CHAIN,
    STAGE_TRACK21,
    STAGE_TRACK22,
    STAGE_TRACK23,
    STAGE_FINAL,
    STAGE_COUNT
};

inline constexpr const char* STAGE_NAMES[STAGE_COUNT] = {
    "score walk",    "track 0 break",         "noise sweep",    "front bus start", "track 1 chords",
    "track 7 pluck", "track 9 ride",          "track 10 hats",  "front bus bank",  "track 11 kick",
    "track 14 bass", "bass ducking",          "track 12 crash", "main bus start",  "track 13 snare",
    "track 16 arp",  "track 17 glide",        "track 19 lead",  "bus adds",        "master chain",
    "track 21 solo", "track 22 crash reverb", "track 23 blips", "final stage",
};

// Signals of a frame that a probe may look at: each voice as it enters the
// mix, and the buses.
enum Tap : int {
    TAP_TRACK0,
    TAP_NOISE_SWEEP,
    TAP_TRACK1,
    TAP_TRACK7,
    TAP_TRACK9,
    TAP_TRACK10,
    TAP_TRACK11,
    TAP_TRACK14,
    TAP_TRACK12,
    TAP_TRACK13,
    TAP_TRACK16,
    TAP_TRACK17,
    TAP_TRACK19,
    TAP_TRACK21,
    TAP_TRACK22,
    TAP_TRACK23,
    TAP_FRONT_BUS,  // after its resonator bank
    TAP_MAIN_BUS,   // before the master chain
    TAP_MASTER,     // the master chain's output
    TAP_OUTPUT,     // the frame
    TAP_COUNT
};

// The render path's probe: marks compile to nothing.
struct NoStageProbe {
    void mark(Stage) {}
};

// Hands a signal to a probe that has tap(Tap, Vec4); for any other probe
// (the render path's, the benchmark's) there is no call at all. The probe only
// sees a copy: no value of the frame depends on it.
template <class Probe>
inline void probe_tap(Probe& probe, Tap tap, Vec4 v) {
    if constexpr (requires { probe.tap(tap, v); }) probe.tap(tap, v);
}

// The stage order, with probe.mark(s) after stage s so that a benchmark can
// time every stage of the real track, and probe_tap(probe, tap, v) where a
// signal is complete; run_frame_stages passes the empty probe.
// The order is part of the sound: the voices share one noise generator, some
// rewrite lanes of their own cursors, and three skip all their work (noise
// draws included) while their gate is closed. The numbers at the line ends
// count the 27 steps of that order (step 23 includes the master chain).
template <class Probe>
inline Vec4 run_frame_stages_probed(Vec4 t, Probe& probe) {
    score_walk(t);
    probe.mark(STAGE_SCORE_WALK);

    Vec4 v0 = voice_track0();  // 1
    probe_tap(probe, TAP_TRACK0, v0);
    probe.mark(STAGE_TRACK0);
    Vec4 vn = voice_noise_sweep(engine.noise_gen);  // 2
    probe_tap(probe, TAP_NOISE_SWEEP, vn);
    probe.mark(STAGE_NOISE_SWEEP);
    Vec4 front = front_bus_start(v0, vn);  // 3
    probe.mark(STAGE_FRONT_START);
    Vec4 v1 = voice_track1();  // 4
    probe_tap(probe, TAP_TRACK1, v1);
    probe.mark(STAGE_TRACK1);
    front = bus_add(front, 0.23f, v1);  // 5
    probe.mark(STAGE_BUS_ADDS);
    Vec4 v7 = voice_track7(engine.noise_gen);  // 6
    probe_tap(probe, TAP_TRACK7, v7);
    probe.mark(STAGE_TRACK7);
    front = bus_add(front, 0.65f, v7);  // 7
    probe.mark(STAGE_BUS_ADDS);
    Vec4 v9 = voice_track9();  // 8
    probe_tap(probe, TAP_TRACK9, v9);
    probe.mark(STAGE_TRACK9);
    front = bus_add(front, 2.91923f, v9);  // 9
    probe.mark(STAGE_BUS_ADDS);
    Vec4 v10 = voice_track10(engine.noise_gen);  // 10
    probe_tap(probe, TAP_TRACK10, v10);
    probe.mark(STAGE_TRACK10);
    front = front_bus_filter(front, v10);  // 11
    probe_tap(probe, TAP_FRONT_BUS, front);
    probe.mark(STAGE_FRONT_FILTER);
    Vec4 v11 = voice_track11();  // 12
    probe_tap(probe, TAP_TRACK11, v11);
    probe.mark(STAGE_TRACK11);
    Vec4 v14 = voice_track14(engine.noise_gen);  // 13
    probe_tap(probe, TAP_TRACK14, v14);
    probe.mark(STAGE_TRACK14);
    Vec4 bass = bass_ducking(v14, v11);  // 14
    probe.mark(STAGE_BASS_DUCKING);
    Vec4 v12 = voice_track12();  // 15
    probe_tap(probe, TAP_TRACK12, v12);
    probe.mark(STAGE_TRACK12);
    Vec4 main = main_bus_start(front, v11, bass, v12);  // 16
    probe.mark(STAGE_MAIN_START);
    Vec4 v13 = voice_track13();  // 17
    probe_tap(probe, TAP_TRACK13, v13);
    probe.mark(STAGE_TRACK13);
    Vec4 v16 = voice_track16();  // 18
    probe_tap(probe, TAP_TRACK16, v16);
    probe.mark(STAGE_TRACK16);
    main = bus_add(main, 1.14f, v13);  // 19
    main = bus_add(main, 0.68f, v16);
    probe.mark(STAGE_BUS_ADDS);
    Vec4 v17 = voice_track17();  // 20
    probe_tap(probe, TAP_TRACK17, v17);
    probe.mark(STAGE_TRACK17);
    main = bus_add(main, 0.39f, v17);  // 21
    probe.mark(STAGE_BUS_ADDS);
    Vec4 v19 = voice_track19();  // 22
    probe_tap(probe, TAP_TRACK19, v19);
    probe.mark(STAGE_TRACK19);
    main = bus_add(main, 1.49f, v19);  // 23
    probe_tap(probe, TAP_MAIN_BUS, main);
    probe.mark(STAGE_BUS_ADDS);
    Vec4 gated = master_chain(main);
    probe_tap(probe, TAP_MASTER, gated);
    probe.mark(STAGE_MASTER_CHAIN);
    Vec4 v21 = voice_track21();  // 24
    probe_tap(probe, TAP_TRACK21, v21);
    probe.mark(STAGE_TRACK21);
    Vec4 v22 = voice_track22();  // 25
    probe_tap(probe, TAP_TRACK22, v22);
    probe.mark(STAGE_TRACK22);
    Vec4 v23 = voice_track23();  // 26
    probe_tap(probe, TAP_TRACK23, v23);
    probe.mark(STAGE_TRACK23);
    Vec4 out = final_stage(gated, v21, v22, v23);  // 27
    probe_tap(probe, TAP_OUTPUT, out);
    probe.mark(STAGE_FINAL);
    return out;
}

}  // namespace lf
