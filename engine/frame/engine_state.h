// Everything the engine changes while it renders, in one record at one fixed
// address, grouped by owner: the noise generator, the score's cursors and
// curves, one record per voice (its units included) and the mix's.
//
// What start-up builds once and rendering only reads stays outside: the
// constant table, the fixed filter designs of engine/startup/units.h, the
// decoded drum samples, the cosine bases, the wavetables and the expanded
// score arrays the cursors walk.
//
// The record is zero when the program starts; engine_startup builds it from
// there, and zeroes it first when an earlier start-up or render has moved it,
// so one process can render the track more than once.
#pragma once

#include "engine/dsp/curve.h"
#include "engine/dsp/math.h"
#include "engine/dsp/note_cursor.h"
#include "engine/frame/arrangement.h"
#include "engine/frame/block.h"
#include "engine/frame/mix.h"
#include "engine/voices/bass_state.h"
#include "engine/voices/chords_state.h"
#include "engine/voices/drums_state.h"
#include "engine/voices/glide_state.h"
#include "engine/voices/lead_state.h"
#include "engine/voices/noise_state.h"
#include "engine/voices/oscillator_bank_state.h"

namespace lf {

// The score as the frames see it: note cursor k walks note list k, curve c
// curve c. The frame path's walk steps all curves in use together; the block
// path gives each stage a walk of its own curves (the voices', then the mix's).
struct ScoreState {
    EventCursor note_cursors[NOTE_LIST_COUNT];
    CurveEnv curve_envs[CURVE_COUNT];
    CurveWalk curve_walk;
    CurveWalk stage_walks[VOICE_COUNT + 1];
};

struct EngineState {
    NoiseGen noise_gen;  // the one generator every noise voice draws from
    ScoreState score;
    // The voices, by their first note track, in the stage order.
    Track0State track0;
    NoiseSweepState noise_sweep;
    ChordVoiceState track1;
    Track7State track7;
    Track9State track9;
    Track10State track10;
    Track11State track11;
    BassVoiceState track14;
    Track12State track12;
    Track13State track13;
    Track16State track16;
    GlideVoiceState track17;
    LeadVoiceState track19;
    Track21State track21;
    Track22State track22;
    Track23State track23;
    MixState mix;
    BlockState block;
};

extern EngineState engine;

// Zeroes the whole record (start-up does this before it builds, unless the
// record has not moved since the program started).
void engine_state_clear();

}  // namespace lf
