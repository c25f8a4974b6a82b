// The gliding pulse lead: a two-note unison of pulse-width-modulated pulse
// waves (note tracks 17 and 18) with a 24.5 ms portamento, a vibrato that
// fades in over three seconds, saturation, two three-band equalisers, a
// ping-pong echo of one beat and a reverb whose feedback and mix follow curves
// 31 and 32.
//
// The portamento moves in log-frequency: each frame covers the remaining
// distance in octaves divided by the frames left until the note is 24.5 ms
// old, so the slide is linear in pitch and lands exactly on the note. Each
// slot slides from the last frequency it sounded, however long ago.
#include "engine/voices/glide_state.h"

#include "engine/dsp/biquad.h"
#include "engine/dsp/delay.h"
#include "engine/dsp/oscillator.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

constexpr float GLIDE_TIME_S = 0.0245f;

constexpr EnvShape GLIDE_ENVELOPE = {0.00914f, 0.0745f, 0.0f, 0.005f};

// G = glide·2^(log2(F/glide) / ((0.0245 − age)·44100)) while the note is
// younger than the glide time and the slot has sounded before; F otherwise.
float glide_toward(float glide, float target, float age) {
    if (glide == 0.0f || age >= GLIDE_TIME_S) return target;
    Vec4 from(glide);
    Vec4 frames_left = (Vec4(GLIDE_TIME_S) - Vec4(age)) * Vec4(44100.0f);
    Vec4 step = fast_exp2(fast_log2(Vec4(target) / from) / frames_left);
    return (from * step).lane0();
}

}  // namespace

Vec4 voice_track17() {
    GlideVoiceState& st = engine.track17;
    EventCursor* const cursors = engine.score.note_cursors;
    Vec4 age = broadcast<2>(cursors[TRACK_GLIDE].state);

    // Vibrato: up to 0.1 octave at 4.88 Hz, its depth growing over 3 s.
    Vec4 depth = Vec4(0.1f) * min(Vec4(1.0f), Vec4(0.333f) * age);
    Vec4 vib = splat0(fast_exp2(depth * fast_sin(Vec4(30.677803f) * age)));

    for (int n = 0; n < 2; ++n) {
        NoteState& s = cursors[TRACK_GLIDE + n].state;
        float g = glide_toward(st.glide[n], s.lane0(), s.lane(2));
        st.glide[n] = g;
        s = with_lane<0>(s, Vec4(g) * vib);
    }

    const UnisonVoiceParams unison = {
        .pool = st.unison_phases_4,
        .cursors = &cursors[TRACK_GLIDE],
        .slots = 2,
        .envelope = &GLIDE_ENVELOPE,
        .levels = nullptr,
        .table = pulse_row(glide_pulse_row(age)),
        .velocity_sensitivity_db = Vec4(-20.0f),
        .detune_ratio = 1.001f,
        .oscillators = 2,
    };
    Vec4 v = unison_voice_process(unison);

    Vec4 s = Vec4(0.42f) * v;
    saturate_process(st.saturator, s, Vec4(2.0f), Vec4(0.5f));
    Vec4 e = three_band_eq_process(st.eq3_c, three_band_eq_process(st.eq3_b, Vec4(1.4f) * s));

    static const EchoParams echo = {.feedback = 0.63f, .width = 1.0f, .delay_frames = 14700.0f};
    Vec4 w = fma(Vec4(0.28f), echo_process(st.echo_b, e, echo), e);

    const float feedback = curve_value(CURVE_GLIDE_REVERB_FEEDBACK).lane0();
    // feedback, damping, width, highpass_hz, input_gain, wet, allpass_gain, spread
    const ReverbParams reverb{feedback, 0.315f, 1.527f, 232.0f, 1.0f, 1.0f, 0.5f, 23};
    Vec4 wet = reverb_process(st.reverb, w, reverb);
    // C32 = 0 is the dry signal exactly.
    return fma(curve_value(CURVE_GLIDE_REVERB_MIX), wet - w, w);
}

}  // namespace lf
