// The oscillator-bank voices: sine blips, the solo pulse motif, the pulse
// arpeggio with its late right channel, and the pluck arpeggio.
//
// All four play their notes through the unison wavetable voice with a single
// oscillator per note and no detune, so lanes 0 and 1 carry the same tone;
// their stereo comes from what follows: a delayed right channel, a wide reverb.
// Note levels live in the cursors' level slots; velocity 0 sounds 30 dB below
// velocity 1.
#include "engine/voices/oscillator_bank_state.h"

#include "engine/dsp/cascade.h"
#include "engine/dsp/math.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

// One oscillator per note, no detune, −30 dB at velocity 0.
UnisonVoiceParams single_oscillator(WavetablePhase* pool, uint32_t slots, int first_track,
                                    const EnvShape& envelope, const float* table) {
    return UnisonVoiceParams{.pool = pool,
                             .cursors = &engine.score.note_cursors[first_track],
                             .slots = slots,
                             .envelope = &envelope,
                             .levels = nullptr,
                             .table = table,
                             .velocity_sensitivity_db = Vec4(-30.0f),
                             .detune_ratio = 1.0f,
                             .oscillators = 1};
}

// Attack 1 ms, level held (0 dB decay), 5 ms release: an organ-like gate.
constexpr EnvShape PULSE_ENVELOPE = {0.001f, 0.1f, 0.0f, 0.005f};

}  // namespace

Vec4 voice_track23() {
    // 0.5 ms attack, then 60 dB per 8 ms from the note's start: a click-free blip.
    static constexpr EnvShape envelope = {0.0005f, 0.008f, -60.0f, 0.0f};
    static const UnisonVoiceParams params =
        single_oscillator(engine.track23.phase, 1, TRACK_BLIPS, envelope, SINE_TABLE);
    return unison_voice_process(params);
}

Vec4 voice_track21() {
    static const UnisonVoiceParams params =
        single_oscillator(engine.track21.phase, 1, TRACK_SOLO, PULSE_ENVELOPE, pulse_row(64));
    Vec4 y = biquad_process(lowpass_4000_b, engine.track21.lowpass, unison_voice_process(params));
    return Vec4(0.418f) * y;
}

Vec4 voice_track16() {
    static const UnisonVoiceParams params =
        single_oscillator(engine.track16.phase, 1, TRACK_ARP, PULSE_ENVELOPE, pulse_row(64));
    static const ReverbParams reverb = {.feedback = 0.93f,
                                        .damping = 0.0f,
                                        .width = 2.0f,
                                        .highpass_hz = 188.0f,
                                        .input_gain = 1.0f,
                                        .wet = 1.0f,
                                        .allpass_gain = 0.5f,
                                        .spread = 23};
    Track16State& st = engine.track16;
    Vec4 y = biquad_process(lowpass_4000_a, st.lowpass, unison_voice_process(params));
    // Left: the arpeggio now; right: the arpeggio 2/3 s ago, a canon at two beats.
    delay_push(st.right_delay, y);
    delay_prefetch(st.right_delay, st.right_delay.index + TRACK16_RIGHT_DELAY_FRAMES);
    Vec4 late =
        st.right_delay.slot[(st.right_delay.index + TRACK16_RIGHT_DELAY_FRAMES) & RING_MASK];
    Vec4 dry = with_lane<1>(y, late);
    Vec4 wet = reverb_process(st.reverb, dry, reverb);
    // dry + 0.18·(wet − dry)
    return fma(Vec4(0.18f), wet - dry, dry);
}

Vec4 voice_track7(NoiseGen& noise) {
    // Gate: 5 s after track 7's note off the voice freezes whole (phases,
    // phaser, filters, reverb tail) and draws no noise, until the next note.
    const EventCursor& pluck = engine.score.note_cursors[TRACK_PLUCK];
    if (pluck.state.lane(3) > PLUCK_GATE.open_s) return Vec4::zero();

    static constexpr EnvShape envelope = {0.0046f, 0.071f, -30.0f, 0.0279f};
    static const UnisonVoiceParams params =
        single_oscillator(engine.track7.phase, 2, TRACK_PLUCK, envelope, SAW_TABLE);
    static const ReverbParams reverb = {.feedback = 0.96f,
                                        .damping = 0.069f,
                                        .width = 2.0f,
                                        .highpass_hz = 44.0f,
                                        .input_gain = 1.0f,
                                        .wet = 1.0f,
                                        .allpass_gain = 0.5f,
                                        .spread = 23};
    Track7State& st = engine.track7;

    Vec4 v = unison_voice_process(params);
    // A breath of noise that follows the first note's envelope only:
    // x = V + (0.2·L7)·n, L7 the level just written into track 7's slot.
    Vec4 n = noise_next(noise);
    Vec4 x = fma(Vec4(0.2f) * Vec4(pluck.level), n, v);
    // Phaser: 32 all-passes at 880 Hz in a feedback loop.
    Vec4 e = feedback_cascade_process(st.allpass_cascade_880, x);
    // Peaking 324 Hz (cut), 1707 Hz (lift), 7407 Hz (cut).
    e = biquad_process(peaking_chain_324[0], st.peaking[0], e);
    e = biquad_process(peaking_chain_324[1], st.peaking[1], e);
    e = biquad_process(peaking_chain_324[2], st.peaking[2], e);
    Vec4 wet = reverb_process(st.reverb, e, reverb);
    // e + 0.2·(wet − e)
    return fma(Vec4(0.2f), wet - e, e);
}

}  // namespace lf
