// The whole start-up sequence: its noise draws, the objects it sets up, and
// the decoded sample storage.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/data/packed_data.h"
#include "engine/dsp/note_cursor.h"
#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"
#include "engine/startup/codec.h"
#include "engine/startup/units.h"
#include "tests/startup/startup_test.h"

namespace lf::test {
namespace {

class SequenceTest : public StartupTest {
  protected:
    void SetUp() override { engine_startup(); }
};

TEST_F(SequenceTest, StartupMakesExactly108NoiseDraws) {
    const Vec4 first_render_draw = noise_next(engine.noise_gen);
    noise_init(engine.noise_gen);
    std::vector<Vec4> draws;
    for (int i = 0; i < 109; ++i) draws.push_back(noise_next(engine.noise_gen));
    EXPECT_TRUE(same_bits(first_render_draw, draws[108])) << "the 109th draw";
    EXPECT_FALSE(same_bits(first_render_draw, draws[107]));
    // The pools take the draws in table order: 96 for the two 24-entry pools
    // (a, b, c, d per entry), 8 for the bass, 4 for the gliding pulse.
    const Vec4 n256(256.0f);
    for (int k = 0; k < 24; ++k) {
        const Vec4 a = n256 * draws[4 * k], b = n256 * draws[4 * k + 1];
        const Vec4 c = n256 * draws[4 * k + 2], d = n256 * draws[4 * k + 3];
        EXPECT_TRUE(same_bits(engine.track1.unison_phases_24_a[k],
                              Vec4::set(a.lane(0), a.lane(1), b.lane(0), b.lane(1))))
            << k;
        EXPECT_TRUE(same_bits(engine.track1.unison_phases_24_b[k],
                              Vec4::set(d.lane(0), d.lane(1), c.lane(0), c.lane(1))))
            << k;
    }
    for (int k = 0; k < 8; ++k) {
        const Vec4 p = fma(Vec4(42.0f), draws[96 + k], Vec4(42.0f));
        EXPECT_TRUE(same_bits(engine.track14.unison_phases_8[k],
                              Vec4::set(p.lane(0), p.lane(1), p.lane(0), p.lane(1))));
        for (int lane = 0; lane < 4; ++lane) {
            EXPECT_GE(engine.track14.unison_phases_8[k].lane(lane), 0.0f);
            EXPECT_LT(engine.track14.unison_phases_8[k].lane(lane), 84.0f);
        }
    }
    for (int k = 0; k < 4; ++k) {
        const Vec4 p = fma(Vec4(128.0f), draws[104 + k], Vec4(128.0f));
        EXPECT_TRUE(same_bits(engine.track17.unison_phases_4[k],
                              Vec4::set(p.lane(0), p.lane(1), p.lane(0), p.lane(1))));
    }
}

TEST_F(SequenceTest, NamedPlayersStartIdleOthersAtZero) {
    for (const SamplePlayer* p : {&engine.track13.player_sample1, &engine.track11.player_sample2,
                                  &engine.track22.player_sample3_b,
                                  &engine.track22.player_sample4_b, &engine.track9.player_sample5,
                                  &engine.track0.player_sample6, &engine.track0.player_sample7}) {
        EXPECT_TRUE(same_bits(p->position, Vec4(3.4028235e38f)));
        EXPECT_EQ(p->last_age, 1.0f);
    }
    for (const SamplePlayer* p :
         {&engine.track12.player_sample3_a, &engine.track12.player_sample4_a}) {
        EXPECT_TRUE(same_bits(p->position, Vec4::zero()));
        EXPECT_EQ(p->last_age, 0.0f);
    }
}

TEST_F(SequenceTest, IdlePlayerIsSilentUntilItsFirstNote) {
    // A list whose only note starts at 1 s; at frame 0 the cursor is on the sentinel.
    const NoteEvent events[3] = {{0, 0, -16384, -16384}, {440, 1, 1, 2}, {1, 0, 16384, 16384}};
    EventCursor cursor{};
    cursor.event = events;
    event_cursor_advance(cursor, 0.0f);
    const SamplePlayerParams params{sample_buffer(6), sample_decoded_length(6), 0, &cursor,
                                    Vec4(1.0f / 440)};
    SamplePlayer idle = engine.track0.player_sample6;
    SamplePlayer fresh{};
    float idle_peak = 0, fresh_peak = 0;
    for (int frame = 0; frame < 2000; ++frame) {
        const float t = frame_time(frame);
        event_cursor_advance(cursor, t);
        idle_peak = std::max(idle_peak, std::abs(sample_voice_process(idle, params).lane0()));
        fresh_peak = std::max(fresh_peak, std::abs(sample_voice_process(fresh, params).lane0()));
    }
    EXPECT_EQ(idle_peak, 0.0f);
    EXPECT_GT(fresh_peak, 0.0f) << "a player left at zero starts at frame 0";
}

TEST_F(SequenceTest, EchoesStartOnTheRightAndTwinFiltersAreEqual) {
    EXPECT_TRUE(same_bits(engine.track1.echo_a.side, Vec4(1.0f)));
    EXPECT_TRUE(same_bits(engine.track17.echo_b.side, Vec4(1.0f)));
    const Vec4 BiquadCoeffs::*fields[5] = {&BiquadCoeffs::b0, &BiquadCoeffs::b1, &BiquadCoeffs::b2,
                                           &BiquadCoeffs::a1, &BiquadCoeffs::a2};
    for (auto field : fields) {
        EXPECT_TRUE(same_bits(lowpass_4000_a.*field, lowpass_4000_b.*field));
    }
    EXPECT_GT(lowpass_4000_a.b0.lane0(), 0.0f);
}

TEST_F(SequenceTest, SamplesLieBackToBackWithZeroGuards) {
    for (int n = 1; n <= SAMPLE_COUNT; ++n) {
        const uint8_t* packed = PACKED_SAMPLES[n - 1];
        const uint32_t blocks = (packed[0] | (packed[1] << 8)) + 1u;
        const uint32_t length = sample_decoded_length(n);
        ASSERT_EQ(length, (blocks + 2) * 1024) << n;
        const float* buffer = sample_buffer(n);
        EXPECT_EQ(float_bits(buffer[length]), 0u) << "guard after sample " << n;
        if (n < SAMPLE_COUNT) {
            EXPECT_EQ(sample_buffer(n + 1), buffer + length + 1);
        }
        // Each slot holds its own sample, decoded from zero: a decode of it
        // alone gives the same bits (gains and noise seed restart with every
        // sample) and ends in two silent hops.
        std::vector<float> alone(length, 0.0f);
        decode_sample(packed, length, alone.data());
        for (uint32_t i = 0; i < length; ++i) {
            ASSERT_EQ(float_bits(buffer[i]), float_bits(alone[i])) << "sample " << n << " at " << i;
        }
        for (uint32_t i = length - 2048; i < length; ++i) ASSERT_EQ(buffer[i], 0.0f);
    }
}

TEST_F(SequenceTest, SecondStartupRebuildsTheSameSamples) {
    std::vector<float> first(sample_buffer(1),
                             sample_buffer(SAMPLE_COUNT) + sample_decoded_length(SAMPLE_COUNT) + 1);
    engine_startup();
    for (size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(float_bits(first[i]), float_bits(sample_buffer(1)[i])) << i;
    }
}

}  // namespace
}  // namespace lf::test
