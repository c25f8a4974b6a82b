// The block path's stages: the noise plan, each voice over the block with its
// own score walk, and the mix over the block.
#include "engine/frame/block.h"

#include <iterator>

#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"
#include "engine/frame/mix.h"
#include "engine/startup/score.h"
#include "engine/voices/oscillator_bank_state.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

// What a stage reads of the score: a run of note tracks and a list of curves.
struct StageInputs {
    int first_track;
    int track_count;
    int curves[10];
    int curve_count;
};

// In the stage order of VoiceStage.
constexpr StageInputs VOICE_INPUTS[VOICE_COUNT] = {
    {TRACK_BREAK, 1, {}, 0},
    {0, 0, {CURVE_SWEEP_LEVEL, CURVE_SWEEP_CUTOFF}, 2},
    {TRACK_CHORD1, 6, {CURVE_CHORD_SHIFT_MIX, CURVE_CHORD_SHIFT_DELAY}, 2},
    {TRACK_PLUCK, 2, {}, 0},
    {TRACK_RIDE, 1, {}, 0},
    {TRACK_HATS, 1, {CURVE_HATS_DECAY, CURVE_HATS_WIDTH}, 2},
    {TRACK_KICK, 1, {}, 0},
    {TRACK_BASS,
     2,
     {CURVE_BASS_CUTOFF, CURVE_BASS_NOISE, CURVE_BASS_SHELF, CURVE_BASS_DECAY, CURVE_BASS_BANK_MIX,
      CURVE_BASS_SHIFT_HZ, CURVE_BASS_SHIFT_DELAY, CURVE_BASS_SHIFT_MIX, CURVE_BASS_OUT_CUTOFF,
      CURVE_BASS_TRANSPOSE},
     10},
    {TRACK_CRASH, 1, {}, 0},
    {TRACK_SNARE, 1, {}, 0},
    {TRACK_ARP, 1, {}, 0},
    {TRACK_GLIDE, 2, {CURVE_GLIDE_REVERB_FEEDBACK, CURVE_GLIDE_REVERB_MIX}, 2},
    {TRACK_LEAD, 2, {CURVE_LEAD_REVERB_FEEDBACK, CURVE_LEAD_TRANSPOSE}, 2},
    {TRACK_SOLO, 1, {}, 0},
    {TRACK_CRASH_REVERB, 1, {}, 0},
    {TRACK_BLIPS, 1, {}, 0},
};

constexpr StageInputs MIX_INPUTS = {
    0,
    0,
    {CURVE_GATE, CURVE_REVERB_MIX, CURVE_REVERB_FEEDBACK, CURVE_BUS_HIGHPASS, CURVE_BUS_LOWPASS,
     CURVE_SHIFTER_WET, CURVE_WIDTH, CURVE_RATE},
    8};

// Every note track belongs to one voice and every curve in use to one stage:
// then moving each stage's own inputs is the whole score walk.
constexpr bool inputs_partition_the_score() {
    int track_owners[NOTE_LIST_COUNT] = {};
    int curve_owners[CURVE_COUNT] = {};
    auto count = [&](const StageInputs& in) {
        for (int k = 0; k < in.track_count; ++k) ++track_owners[in.first_track + k];
        for (int c = 0; c < in.curve_count; ++c) ++curve_owners[in.curves[c]];
    };
    for (const StageInputs& in : VOICE_INPUTS) count(in);
    count(MIX_INPUTS);
    for (int owners : track_owners)
        if (owners != 1) return false;
    int in_use[CURVE_COUNT] = {};
    for (int c : CURVES_IN_USE.curves) in_use[c] = 1;
    for (int c = 0; c < CURVE_COUNT; ++c)
        if (curve_owners[c] != in_use[c]) return false;
    return true;
}
static_assert(inputs_partition_the_score());

// The walks of the voices' curves, then the mix's.
constexpr int MIX_WALK = VOICE_COUNT;

// Each voice as the block calls it, with the generator of its frame's draw.
using VoiceCall = Vec4 (*)(NoiseGen&);
// In the stage order of VoiceStage.
constexpr VoiceCall VOICE_CALLS[VOICE_COUNT] = {
    [](NoiseGen&) { return voice_track0(); },  voice_noise_sweep,
    [](NoiseGen&) { return voice_track1(); },  voice_track7,
    [](NoiseGen&) { return voice_track9(); },  voice_track10,
    [](NoiseGen&) { return voice_track11(); }, voice_track14,
    [](NoiseGen&) { return voice_track12(); }, [](NoiseGen&) { return voice_track13(); },
    [](NoiseGen&) { return voice_track16(); }, [](NoiseGen&) { return voice_track17(); },
    [](NoiseGen&) { return voice_track19(); }, [](NoiseGen&) { return voice_track21(); },
    [](NoiseGen&) { return voice_track22(); }, [](NoiseGen&) { return voice_track23(); },
};

// The draw a voice makes, or -1.
constexpr int noise_draw_of(VoiceStage voice) {
    switch (voice) {
        case VOICE_NOISE_SWEEP:
            return DRAW_SWEEP;
        case VOICE_TRACK7:
            return DRAW_PLUCK;
        case VOICE_TRACK10:
            return DRAW_HATS;
        case VOICE_TRACK14:
            return DRAW_BASS;
        default:
            return -1;
    }
}

inline Vec4 song_time(uint32_t index) {
    return Vec4(static_cast<float>(index)) * Vec4(FRAME_SECONDS);
}

// Moves a stage's cursors (highest first, as the score walk does) and curves
// to t.
inline void walk_inputs(const StageInputs& in, CurveWalk& walk, Vec4 t) {
    EventCursor* cursors = engine.score.note_cursors;
    for (int k = in.first_track + in.track_count - 1; k >= in.first_track; --k)
        event_cursor_advance(cursors[k], t.lane0());
    if (in.curve_count) curve_walk_eval(walk, t);
}

void list_curves(CurveWalk& walk, const StageInputs& in) {
    walk = CurveWalk{};
    for (int c = 0; c < in.curve_count; ++c)
        walk.envs[walk.count++] = &engine.score.curve_envs[in.curves[c]];
}

}  // namespace

void block_setup() {
    for (int v = 0; v < VOICE_COUNT; ++v) list_curves(engine.score.stage_walks[v], VOICE_INPUTS[v]);
    list_curves(engine.score.stage_walks[MIX_WALK], MIX_INPUTS);
    engine.block.pluck_gate = engine.score.note_cursors[TRACK_PLUCK];
}

void plan_noise(int slot, uint32_t first, uint32_t count) {
    BlockState& b = engine.block;
    NoisePlan& plan = b.plan[slot];
    const Int4 step = engine.noise_gen.step;
    Int4 c = engine.noise_gen.counter;
    for (uint32_t i = 0; i < count; ++i) {
        // The pluck draws between the sweep and the hats while its gate is open.
        event_cursor_advance(b.pluck_gate, song_time(first + i).lane0());
        const bool pluck_open = !(b.pluck_gate.state.lane(3) > PLUCK_GATE.open_s);
        plan.counter[DRAW_SWEEP][i] = c;
        c = c + step;
        plan.counter[DRAW_PLUCK][i] = c;
        if (pluck_open) c = c + step;
        plan.counter[DRAW_HATS][i] = c;
        c = c + step;
        plan.counter[DRAW_BASS][i] = c;
        c = c + step;
    }
    engine.noise_gen.counter = c;
}

void run_voice_block(VoiceStage voice, int slot, uint32_t first, uint32_t count) {
    const StageInputs& in = VOICE_INPUTS[voice];
    CurveWalk& walk = engine.score.stage_walks[voice];
    const VoiceCall call = VOICE_CALLS[voice];
    const int draw = noise_draw_of(voice);
    const Int4* counters = engine.block.plan[slot].counter[draw < 0 ? 0 : draw];
    Vec4* out = engine.block.voice_out[slot][voice];
    NoiseGen noise{.step = engine.noise_gen.step, .counter = Int4(0)};
    for (uint32_t i = 0; i < count; ++i) {
        walk_inputs(in, walk, song_time(first + i));
        noise.counter = counters[i];
        out[i] = call(noise);
    }
}

void mix_block(int slot, StereoFrame* buffer, uint32_t first, uint32_t count) {
    CurveWalk& walk = engine.score.stage_walks[MIX_WALK];
    const Vec4(&v)[VOICE_COUNT][BLOCK_FRAMES] = engine.block.voice_out[slot];
    for (uint32_t i = 0; i < count; ++i) {
        walk_inputs(MIX_INPUTS, walk, song_time(first + i));
        // Steps 3 to 27 of the stage order, on the voices' outputs of this frame.
        Vec4 front = front_bus_start(v[VOICE_TRACK0][i], v[VOICE_NOISE_SWEEP][i]);
        front = bus_add(front, 0.23f, v[VOICE_TRACK1][i]);
        front = bus_add(front, 0.65f, v[VOICE_TRACK7][i]);
        front = bus_add(front, 2.91923f, v[VOICE_TRACK9][i]);
        front = front_bus_filter(front, v[VOICE_TRACK10][i]);
        Vec4 bass = bass_ducking(v[VOICE_TRACK14][i], v[VOICE_TRACK11][i]);
        Vec4 main = main_bus_start(front, v[VOICE_TRACK11][i], bass, v[VOICE_TRACK12][i]);
        main = bus_add(main, 1.14f, v[VOICE_TRACK13][i]);
        main = bus_add(main, 0.68f, v[VOICE_TRACK16][i]);
        main = bus_add(main, 0.39f, v[VOICE_TRACK17][i]);
        main = bus_add(main, 1.49f, v[VOICE_TRACK19][i]);
        Vec4 gated = master_chain(main);
        Vec4 out =
            final_stage(gated, v[VOICE_TRACK21][i], v[VOICE_TRACK22][i], v[VOICE_TRACK23][i]);
        out.store(&buffer[first + i].left);  // lanes 2 and 3 land in the next frame's slot
    }
}

}  // namespace lf

void render_block(StereoFrame* buffer, uint32_t first, uint32_t count) {
    using namespace lf;
    while (count > 0) {
        const uint32_t n = count < BLOCK_FRAMES ? count : BLOCK_FRAMES;
        plan_noise(0, first, n);
        for (int v = 0; v < VOICE_COUNT; ++v)
            run_voice_block(static_cast<VoiceStage>(v), 0, first, n);
        mix_block(0, buffer, first, n);
        first += n;
        count -= n;
    }
}
