// The unit objects with fixed settings, the decoded drum samples, and the
// steps of start-up that build them.
#include "engine/startup/units.h"

#include <cstring>

#include "engine/data/packed_data.h"
#include "engine/dsp/math.h"
#include "engine/frame/engine_state.h"
#include "engine/startup/codec.h"
#include "engine/startup/resonator_bank.h"

namespace lf {

BiquadCoeffs notch_825, notch_3030, lowpass_11900, high_shelf_891, highpass_141;
BiquadCoeffs peaking_chain_324[3];
BiquadCoeffs& peaking_324 = peaking_chain_324[0];
BiquadCoeffs& peaking_1707 = peaking_chain_324[1];
BiquadCoeffs& peaking_7407 = peaking_chain_324[2];
BiquadCoeffs lowpass_9440, peaking_778;
BiquadCoeffs snare_chain_100[3];
BiquadCoeffs& highpass_100 = snare_chain_100[0];
BiquadCoeffs& peaking_768 = snare_chain_100[1];
BiquadCoeffs& peaking_5114 = snare_chain_100[2];
BiquadCoeffs highpass_1640, high_shelf_4680, peaking_43, peaking_552, highpass_15;
BiquadCoeffs lowpass_4000_a, lowpass_20000, lowpass_4000_b, highpass_25;

namespace {

static_assert(SAMPLE_COUNT == PACKED_SAMPLE_COUNT);

// Sample n's floats start where sample n - 1's guard float ends.
struct SampleSlot {
    uint32_t offset;
    uint32_t length;
};

constexpr SampleSlot slot_of(int sample) {
    uint32_t offset = 0;
    for (int n = 1; n < sample; ++n) {
        offset += decoded_sample_length(packed_block_count(PACKED_SAMPLE_LAYOUTS[n - 1])) + 1;
    }
    return {offset, decoded_sample_length(packed_block_count(PACKED_SAMPLE_LAYOUTS[sample - 1]))};
}

constexpr SampleSlot SAMPLE_SLOTS[SAMPLE_COUNT] = {slot_of(1), slot_of(2), slot_of(3), slot_of(4),
                                                   slot_of(5), slot_of(6), slot_of(7)};

alignas(64) float decoded_samples[total_decoded_floats() + SAMPLE_COUNT];

// Silent until the first note of its list: the position lies beyond any
// buffer, and the retrigger test (last age above the current age) fails for
// the leading sentinel, whose age is over 16384 s.
void set_idle(SamplePlayer& player) {
    player.position = Vec4(3.4028235e38f);
    player.last_age = 1.0f;
}

struct CascadeSetup {
    float frequency_hz, q;
    uint32_t sections;
    float feedback, gain;
};

void setup_cascade(FeedbackCascade& cascade, const CascadeSetup& setup) {
    cascade.frequency_hz = setup.frequency_hz;
    cascade.q = setup.q;
    cascade.sections = setup.sections;
    cascade.feedback = setup.feedback;
    cascade.gain = setup.gain;
    cascade.coeffs = design_allpass(Vec4(setup.frequency_hz), Vec4(setup.q));
}

}  // namespace

const float* sample_buffer(int sample) {
    return decoded_samples + SAMPLE_SLOTS[sample - 1].offset;
}

uint32_t sample_decoded_length(int sample) {
    return SAMPLE_SLOTS[sample - 1].length;
}

void decode_drum_samples() {
    // Zero on entry, guards included, so that a second start-up decodes afresh.
    std::memset(decoded_samples, 0, sizeof decoded_samples);
    for (int n = 1; n <= SAMPLE_COUNT; ++n) {
        decode_sample(PACKED_SAMPLES[n - 1], SAMPLE_SLOTS[n - 1].length,
                      decoded_samples + SAMPLE_SLOTS[n - 1].offset);
    }
}

void setup_units() {
    // The units with memories, by owner.
    NoiseGen& noise = engine.noise_gen;
    ResonatorBank& resonator_bank_a = engine.mix.resonator_bank_a;
    CrossoverSplit& crossover_2600 = engine.mix.crossover_2600;
    SamplePlayer& player_sample1 = engine.track13.player_sample1;
    SamplePlayer& player_sample2 = engine.track11.player_sample2;
    SamplePlayer& player_sample3_b = engine.track22.player_sample3_b;
    SamplePlayer& player_sample4_b = engine.track22.player_sample4_b;
    SamplePlayer& player_sample5 = engine.track9.player_sample5;
    SamplePlayer& player_sample6 = engine.track0.player_sample6;
    SamplePlayer& player_sample7 = engine.track0.player_sample7;
    ChordVoiceState& chords = engine.track1;
    FeedbackCascade& allpass_cascade_880 = engine.track7.allpass_cascade_880;
    BassVoiceState& bass = engine.track14;
    GlideVoiceState& glide = engine.track17;

    const Vec4 butterworth_q(0.70710677f);
    notch_825 = design_notch(Vec4(825.0f), Vec4(0.436f));
    build_resonator_bank(resonator_bank_a, {.transpose = 6,
                                            .bandwidth = 1.304f,
                                            .depth = 1,
                                            .first_step = 20,
                                            .band_count = 35,
                                            .edge_spread = 0.0f,
                                            .band_gain = Vec4(1.7f),
                                            .edge_q = 0.70710677f,
                                            .edge_stages = 6});
    set_idle(player_sample6);
    set_idle(player_sample7);
    notch_3030 = design_notch(Vec4(3030.0f), Vec4(0.747f));
    lowpass_11900 = design_lowpass(Vec4(11900.0f), butterworth_q);
    high_shelf_891 = design_high_shelf(Vec4(891.0f), Vec4(0.368f), Vec4(1.6014f));
    highpass_141 = design_highpass(Vec4(141.0f), butterworth_q);
    chords.echo_a.side = Vec4(1.0f);

    // The chord's 24 phase pairs: lanes 2 and 3 from a different draw than 0 and 1.
    const Vec4 table_length(256.0f);
    for (int k = 0; k < 24; ++k) {
        const Vec4 a = table_length * noise_next(noise);
        const Vec4 b = table_length * noise_next(noise);
        const Vec4 c = table_length * noise_next(noise);
        const Vec4 d = table_length * noise_next(noise);
        chords.unison_phases_24_a[k] = shuffle2<0, 1, 0, 1>(a, b);
        chords.unison_phases_24_b[k] = shuffle2<0, 1, 0, 1>(d, c);
    }

    setup_cascade(
        allpass_cascade_880,
        {.frequency_hz = 880.0f, .q = 0.4375f, .sections = 32, .feedback = 0.385f, .gain = 1.0f});
    peaking_324 = design_peaking(Vec4(324.2f), Vec4(0.319f), Vec4(0.666f));
    peaking_1707 = design_peaking(Vec4(1706.7f), Vec4(1.19f), Vec4(1.16f));
    peaking_7407 = design_peaking(Vec4(7406.9f), Vec4(1.26f), Vec4(0.61f));
    set_idle(player_sample5);
    lowpass_9440 = design_lowpass(Vec4(9440.0f), butterworth_q);
    set_idle(player_sample2);
    peaking_778 = design_peaking(Vec4(777.5f), Vec4(0.666f), Vec4(0.316228f));
    set_idle(player_sample1);
    highpass_100 = design_highpass(Vec4(100.0f), Vec4(0.666f));
    peaking_768 = design_peaking(Vec4(768.0f), Vec4(1.77683f), Vec4(0.376f));
    peaking_5114 = design_peaking(Vec4(5114.4f), Vec4(0.6f), Vec4(1.2f));

    // The bass's eight phases, 42 ± 42 entries: lanes 2 and 3 equal 0 and 1.
    for (WavetablePhase& phase : bass.unison_phases_8) {
        phase = dup_low(fma(Vec4(42.0f), noise_next(noise), Vec4(42.0f)));
    }

    highpass_1640 = design_highpass(Vec4(1640.0f), butterworth_q);
    high_shelf_4680 = design_high_shelf(Vec4(4680.0f), butterworth_q, Vec4(1.414f));
    three_band_eq_init(bass.eq3_a, {.lower_hz = 227.0f,
                                    .upper_hz = 3020.0f,
                                    .low_gain = 1.25f,
                                    .mid_gain = 0.75f,
                                    .high_gain = 1.25f});
    peaking_43 = design_peaking(Vec4(43.0f), butterworth_q, Vec4(0.68f));
    peaking_552 = design_peaking(Vec4(552.0f), Vec4(0.482f), Vec4(0.378f));
    setup_cascade(
        bass.allpass_cascade_55,
        {.frequency_hz = 55.0f, .q = 0.18f, .sections = 8, .feedback = 0.0f, .gain = 1.0f});
    build_resonator_bank(bass.resonator_bank_b, {.transpose = 6,
                                                 .bandwidth = 1.05f,
                                                 .depth = 2,
                                                 .first_step = 14,
                                                 .band_count = 24,
                                                 .edge_spread = 0.0f,
                                                 .band_gain = Vec4(3.496f),
                                                 .edge_q = 0.70710677f,
                                                 .edge_stages = 6});
    highpass_15 = design_highpass(Vec4(15.0f), butterworth_q);
    lowpass_4000_a = design_lowpass(Vec4(4000.0f), butterworth_q);

    // The gliding pulse's four phases, 128 ± 128 entries.
    for (WavetablePhase& phase : glide.unison_phases_4) {
        phase = dup_low(fma(Vec4(128.0f), noise_next(noise), Vec4(128.0f)));
    }

    three_band_eq_init(glide.eq3_b, {.lower_hz = 220.0f,
                                     .upper_hz = 2200.0f,
                                     .low_gain = 1.0f,
                                     .mid_gain = 0.9f,
                                     .high_gain = 1.41253996f});
    three_band_eq_init(glide.eq3_c, {.lower_hz = 551.0f,
                                     .upper_hz = 4400.0f,
                                     .low_gain = 0.766f,
                                     .mid_gain = 1.41253996f,
                                     .high_gain = 1.0f});
    glide.echo_b.side = Vec4(1.0f);
    lowpass_20000 = design_lowpass(Vec4(20000.0f), Vec4(0.15f));
    set_idle(player_sample3_b);
    set_idle(player_sample4_b);
    lowpass_4000_b = design_lowpass(Vec4(4000.0f), butterworth_q);
    design_crossover(crossover_2600, Vec4(2600.0f));
    highpass_25 = design_highpass(Vec4(25.0f), butterworth_q);
}

}  // namespace lf
