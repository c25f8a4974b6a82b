// The sample-playback voices: snare, crash, crash through reverb, kick, ride
// and the break-loop stutter.
//
// Each voice runs one or two one-shot sample players on its note track and
// shapes the result with a fixed chain. Two-sample voices make their stereo
// image by mid/side: sample A is the centre, sample B adds to the left and
// subtracts from the right. The Haas step then delays the right channel by a
// few milliseconds (12 ms for the reverb crash, 16 ms for the break), which
// widens the image further without changing the left.
#include "engine/voices/drums_state.h"

#include "engine/dsp/oscillator.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/voices/voices.h"

namespace lf {

namespace {

// Root frequencies as increments per hertz: 1 / root.
constexpr float INCREMENT_B4 = 0.00202477f;   // 493.883 Hz
constexpr float INCREMENT_A4 = 0.00227273f;   // 440 Hz
constexpr float INCREMENT_C5 = 0.00191113f;   // 523.251 Hz
constexpr float INCREMENT_BB1 = 0.01716149f;  // 58.2705 Hz

// M = A + B·(1, −1, 0, 0) = (A + B, A − B, A, A).
inline Vec4 mid_side(Vec4 a, Vec4 b) {
    return fma(b, Vec4::set(1.0f, -1.0f, 0.0f, 0.0f), a);
}

// Pushes x and returns it with lane 1 (right) taken from the frame pushed
// `lag` frames earlier; lanes 0, 2 and 3 stay.
inline Vec4 haas_step(DelayRing& ring, Vec4 x, int32_t lag) {
    delay_push(ring, x);
    delay_prefetch(ring, ring.index + lag);
    return with_lane<1>(x, ring.slot[(ring.index + lag) & RING_MASK]);
}

}  // namespace

Vec4 voice_track13() {
    static const SamplePlayerParams params = {.buffer = sample_buffer(1),
                                              .length = sample_play_length(1, 15876),
                                              .start_offset = 238,
                                              .cursor = &engine.score.note_cursors[TRACK_SNARE],
                                              .increment_per_hz = Vec4(INCREMENT_B4)};
    Track13State& st = engine.track13;
    Vec4 a = sample_voice_process(st.player_sample1, params);
    Vec4 out = Vec4(0.7f) * a;
    // High-pass 100 Hz, peaking 768 Hz, peaking 5114 Hz.
    out = biquad_process(snare_chain_100[0], st.stage[0], out);
    out = biquad_process(snare_chain_100[1], st.stage[1], out);
    return biquad_process(snare_chain_100[2], st.stage[2], out);
}

Vec4 voice_track12() {
    // player_sample3_a and player_sample4_a are not set idle at start-up: before
    // the first crash they sit at position 0 and play their first value at the
    // velocity-0 gain, a small constant.
    static const SamplePlayerParams params_a = {.buffer = sample_buffer(3),
                                                .length = sample_play_length(3, 57330),
                                                .start_offset = 0,
                                                .cursor = &engine.score.note_cursors[TRACK_CRASH],
                                                .increment_per_hz = Vec4(INCREMENT_A4)};
    static const SamplePlayerParams params_b = {.buffer = sample_buffer(4),
                                                .length = sample_play_length(4, 57330),
                                                .start_offset = 0,
                                                .cursor = &engine.score.note_cursors[TRACK_CRASH],
                                                .increment_per_hz = Vec4(INCREMENT_A4)};
    Track12State& st = engine.track12;
    Vec4 a = sample_voice_process(st.player_sample3_a, params_a);
    Vec4 b = sample_voice_process(st.player_sample4_a, params_b);
    return biquad_process(peaking_778, st.peaking, mid_side(a, b));
}

Vec4 voice_track22() {
    static const SamplePlayerParams params_a = {
        .buffer = sample_buffer(3),
        .length = sample_play_length(3, 57330),
        .start_offset = 0,
        .cursor = &engine.score.note_cursors[TRACK_CRASH_REVERB],
        .increment_per_hz = Vec4(INCREMENT_A4)};
    static const SamplePlayerParams params_b = {
        .buffer = sample_buffer(4),
        .length = sample_play_length(4, 57330),
        .start_offset = 0,
        .cursor = &engine.score.note_cursors[TRACK_CRASH_REVERB],
        .increment_per_hz = Vec4(INCREMENT_A4)};
    static const ReverbParams reverb = {.feedback = 0.9f,
                                        .damping = 0.0f,
                                        .width = 1.0f,
                                        .highpass_hz = 20.0f,
                                        .input_gain = 1.0f,
                                        .wet = 1.0f,
                                        .allpass_gain = 0.5f,
                                        .spread = 23};
    Track22State& st = engine.track22;
    Vec4 a = sample_voice_process(st.player_sample3_b, params_a);
    Vec4 b = sample_voice_process(st.player_sample4_b, params_b);
    Vec4 dry = haas_step(st.haas, mid_side(a, b), TRACK22_HAAS_FRAMES);
    Vec4 wet = reverb_process(st.reverb, dry, reverb);
    // dry + 0.26·(wet − dry)
    return fma(Vec4(0.26f), wet - dry, dry);
}

Vec4 voice_track11() {
    static const SamplePlayerParams params = {.buffer = sample_buffer(2),
                                              .length = sample_play_length(2, 29680),
                                              .start_offset = 0,
                                              .cursor = &engine.score.note_cursors[TRACK_KICK],
                                              .increment_per_hz = Vec4(INCREMENT_A4)};
    return sample_voice_process(engine.track11.player_sample2, params);
}

Vec4 voice_track9() {
    static const SamplePlayerParams params = {.buffer = sample_buffer(5),
                                              .length = sample_play_length(5, 103948),
                                              .start_offset = 0,
                                              .cursor = &engine.score.note_cursors[TRACK_RIDE],
                                              .increment_per_hz = Vec4(INCREMENT_C5)};
    Vec4 a = sample_voice_process(engine.track9.player_sample5, params);
    // min(1 + 0.46·(−1, 1, −1, −1), 1) = (0.54, 1, 0.54, 0.54): the ride sits right.
    Vec4 pan = min(fma(Vec4(0.46f), Vec4::set(-1.0f, 1.0f, -1.0f, -1.0f), Vec4(1.0f)), Vec4(1.0f));
    return a * pan;
}

Vec4 voice_track0() {
    static const SamplePlayerParams params_a = {.buffer = sample_buffer(6),
                                                .length = sample_play_length(6, 58800),
                                                .start_offset = 0,
                                                .cursor = &engine.score.note_cursors[TRACK_BREAK],
                                                .increment_per_hz = Vec4(INCREMENT_BB1)};
    static const SamplePlayerParams params_b = {.buffer = sample_buffer(7),
                                                .length = sample_play_length(7, 58800),
                                                .start_offset = 0,
                                                .cursor = &engine.score.note_cursors[TRACK_BREAK],
                                                .increment_per_hz = Vec4(INCREMENT_BB1)};
    // A slow downward shift of 4.09 Hz behind a 0.44 ms delay: the loop drifts
    // against itself like a slightly detuned copy.
    static const FreqShiftParams shift = {.delay_ms = Vec4(0.44f),
                                          .shift_hz = Vec4(-4.09f),
                                          .phase_offset = Vec4(0.0f),
                                          .right_offset = Vec4(0.0f),
                                          .feedback = Vec4(0.0f),
                                          .wet = Vec4(1.0f)};
    Track0State& st = engine.track0;
    Vec4 a = sample_voice_process(st.player_sample6, params_a);
    Vec4 b = sample_voice_process(st.player_sample7, params_b);
    Vec4 x = freq_shift_process(st.shifter, mid_side(a, b), shift);
    x = biquad_process(notch_3030, st.notch, x);
    x = biquad_process(lowpass_11900, st.lowpass, x);
    return haas_step(st.haas, x, TRACK0_HAAS_FRAMES);
}

}  // namespace lf
