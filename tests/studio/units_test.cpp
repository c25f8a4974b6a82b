// Positions, the quantisers and their dither, the writers read back through
// libsndfile, and the report on signals whose answers are known.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "studio/audio_file.h"
#include "studio/loudness.h"
#include "studio/position.h"
#include "tests/scratch.h"

namespace {

using namespace studio;
using lf::test::Scratch;

const std::vector<Section> SECTIONS = {
    {"intro", 0}, {"cut", 18 * 58800 + 7350}, {"drop", 20 * 58800}};

TEST(Positions, BarBeatSecondsSectionsAndBack) {
    EXPECT_EQ(parse_position("1:1", SECTIONS), 0u);
    EXPECT_EQ(parse_position("1:2", SECTIONS), 14700u);
    EXPECT_EQ(parse_position("75:1", SECTIONS), 74u * 58800);
    EXPECT_EQ(parse_position("19:1.5", SECTIONS), 18u * 58800 + 7350);
    EXPECT_EQ(parse_position("95.5s", SECTIONS), 4211550u);
    EXPECT_EQ(parse_position("0s", SECTIONS), 0u);
    EXPECT_EQ(parse_position("cut", SECTIONS), 18u * 58800 + 7350);
    EXPECT_EQ(parse_position("end", SECTIONS), TRACK_FRAMES);
    EXPECT_EQ(bar_beat_text(0), "1:1");
    EXPECT_EQ(bar_beat_text(74u * 58800 + 3 * 14700), "75:4");
    EXPECT_EQ(bar_beat_text(18u * 58800 + 7350), "19:1.5");
    EXPECT_EQ(clock_text(4211550), "1:35.5");
    Range drop = section_range("drop", SECTIONS);
    EXPECT_EQ(drop.from, 20u * 58800);
    EXPECT_EQ(drop.to, TRACK_FRAMES);
    EXPECT_EQ(section_range("intro", SECTIONS).to, 18u * 58800 + 7350);
    EXPECT_STREQ(section_at(18u * 58800 + 7349, SECTIONS)->name, "intro");
    EXPECT_STREQ(section_at(18u * 58800 + 7350, SECTIONS)->name, "cut");
}

TEST(Positions, NonsenseIsRefusedWithTheReason) {
    auto message = [](const std::string& text) {
        try {
            parse_position(text, SECTIONS);
        } catch (const UsageError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(message("0:1").find("from 1"), std::string::npos);
    EXPECT_NE(message("3:5").find("below 5"), std::string::npos);
    EXPECT_NE(message("3:0").find("at least 1"), std::string::npos);
    EXPECT_NE(message("2.5:1").find("bar:beat"), std::string::npos);
    EXPECT_NE(message("-3s").find("seconds"), std::string::npos);
    EXPECT_NE(message("139s").find("past the end"), std::string::npos);
    EXPECT_NE(message("105:1").find("past the end"), std::string::npos);
    // An unknown word lists the sections there are.
    EXPECT_NE(message("chorus").find("intro, cut, drop"), std::string::npos);
    EXPECT_THROW(section_range("chorus", SECTIONS), UsageError);
}

TEST(Quantise, RoundsClampsAndDithersTheSameWayEveryTime) {
    EXPECT_EQ(quantise_s24(0.5f), 4194304);
    EXPECT_EQ(quantise_s24(-1.0f), -8388608);
    EXPECT_EQ(quantise_s24(1.0f), 8388607);  // clamped
    EXPECT_EQ(quantise_s24(1.2f), 8388607);
    EXPECT_EQ(quantise_s24(-1.5f), -8388608);
    EXPECT_EQ(quantise_s24(std::nanf("")), -8388608);
    // Dither: fixed per frame and channel, triangular on (-1, 1) with mean 0.
    double sum = 0, sum2 = 0;
    int inner = 0, different = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        double d = tpdf_dither(static_cast<uint32_t>(i), i & 1);
        ASSERT_GT(d, -1.0);
        ASSERT_LT(d, 1.0);
        EXPECT_EQ(d, tpdf_dither(static_cast<uint32_t>(i), i & 1));
        sum += d;
        sum2 += d * d;
        if (std::fabs(d) < 0.5) ++inner;
        if (d != tpdf_dither(static_cast<uint32_t>(i), 1 - (i & 1))) ++different;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(sum2 / n, 1.0 / 6.0, 0.005);                  // variance of the triangle
    EXPECT_NEAR(static_cast<double>(inner) / n, 0.75, 0.01);  // 3/4 of its area within ±1/2
    EXPECT_GT(different, n - 10);                             // channels dithered apart
    // The dither moves a value by at most one step either way.
    for (uint32_t f = 0; f < 1000; ++f) {
        int32_t q = quantise_s16(0.25f, f, 0);
        EXPECT_GE(q, 8192 - 1);
        EXPECT_LE(q, 8192 + 1);
    }
    EXPECT_EQ(quantise_s16(2.0f, 7, 0), 32767);
    EXPECT_EQ(quantise_s16(-2.0f, 7, 1), -32768);
}

std::vector<StereoFrame> test_signal(uint32_t frames) {
    std::vector<StereoFrame> s(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        s[i].left = 1.1f * std::sin(0.001f * static_cast<float>(i) * static_cast<float>(i % 97));
        s[i].right =
            -0.7f * std::cos(0.013f * static_cast<float>(i)) + 1e-7f * static_cast<float>(i);
    }
    return s;
}

TEST(Writers, EveryFormatReadsBackAsTheQuantisedSource) {
    Scratch dir;
    const uint32_t frames = 30000, first = 123456;
    auto source = test_signal(frames);
    for (Format f : {Format::f32, Format::s24, Format::s16, Format::flac}) {
        std::string path = dir / ("x." + std::string(format_extension(f)));
        {
            AudioWriter w(path, f, first);
            w.write(source.data(), 1000);  // in two pieces: the dither follows the frames
            w.write(source.data() + 1000, frames - 1000);
            w.commit();
        }
        if (f == Format::f32) {
            AudioData back = read_audio(path);
            ASSERT_EQ(back.rate, 44100u);
            ASSERT_EQ(back.channels, 2u);
            ASSERT_EQ(back.frames(), frames);
            EXPECT_EQ(std::memcmp(back.samples.data(), source.data(), frames * 8), 0);
            continue;
        }
        std::vector<int32_t> ints = read_audio_ints(path);
        ASSERT_EQ(ints.size(), 2u * frames) << path;
        size_t wrong = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            const float lr[2] = {source[i].left, source[i].right};
            for (int c = 0; c < 2; ++c) {
                int32_t expected = f == Format::s16 ? quantise_s16(lr[c], first + i, c) * 65536
                                                    : quantise_s24(lr[c]) * 256;
                if (ints[2 * i + c] != expected) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u) << path;
    }
}

TEST(Writers, AFailedExportLeavesTheEarlierFileAndNoTemporary) {
    Scratch dir;
    const std::string path = dir / "keep.wav";
    lf::test::write_text(path, "earlier good file");
    auto source = test_signal(100);
    {
        AudioWriter w(path, Format::s16, 0);
        w.write(source.data(), 100);
        // No commit: as when the render fails.
    }
    EXPECT_EQ(lf::test::read_text(path), "earlier good file");
    EXPECT_EQ(dir.entries(), 1u);  // no temporary left beside it
    if (getuid() != 0) {
        chmod(dir.path.string().c_str(), 0555);
        EXPECT_THROW(AudioWriter(path, Format::f32, 0), std::runtime_error);
    }
    EXPECT_THROW(AudioWriter(dir / "no/such/folder.wav", Format::f32, 0), std::runtime_error);
}

std::vector<float> stereo(uint32_t frames, float (*left)(uint32_t), float (*right)(uint32_t)) {
    std::vector<float> s(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        s[2 * i] = left(i);
        s[2 * i + 1] = right(i);
    }
    return s;
}

float sine_minus20(uint32_t i) {
    return static_cast<float>(0.1 * std::sin(2 * M_PI * 1000.0 * i / 44100.0));
}
float sine_minus20_inverted(uint32_t i) {
    return -sine_minus20(i);
}
float dc_quarter(uint32_t) {
    return 0.25f;
}
float dc_minus_tenth(uint32_t) {
    return -0.1f;
}

TEST(Report, KnownSignals) {
    const uint32_t frames = 10 * 44100;
    // A 1 kHz sine at -20 dBFS in both channels reads -20 LUFS (BS.1770's
    // calibration), peaks at -20 dB, no range, fully correlated.
    auto sine = stereo(frames, sine_minus20, sine_minus20);
    Measures m = measure(sine.data(), frames, 44100);
    EXPECT_NEAR(m.integrated_lufs, -20.0, 0.1);
    EXPECT_NEAR(m.shortterm_max_lufs, -20.0, 0.1);
    EXPECT_NEAR(m.range_lu, 0.0, 0.1);
    EXPECT_NEAR(m.true_peak_dbtp, -20.0, 0.1);
    EXPECT_NEAR(m.sample_peak_dbfs, -20.0, 0.01);
    EXPECT_EQ(m.above_one, 0u);
    EXPECT_NEAR(m.dc[0], 0.0, 1e-4);
    EXPECT_NEAR(m.balance_db, 0.0, 1e-6);
    EXPECT_NEAR(m.correlation, 1.0, 1e-9);
    EXPECT_NEAR(m.seconds, 10.0, 1e-9);

    // A pure side signal: right is minus left. Correlation -1, balance 0, and
    // the 120 Hz band (the sine's little leakage) is as anti-correlated.
    auto side = stereo(frames, sine_minus20, sine_minus20_inverted);
    m = measure(side.data(), frames, 44100);
    EXPECT_NEAR(m.correlation, -1.0, 1e-9);
    EXPECT_NEAR(m.correlation_low, -1.0, 1e-6);
    EXPECT_NEAR(m.balance_db, 0.0, 1e-6);
    EXPECT_NEAR(m.integrated_lufs, -20.0, 0.1);

    // A DC offset: the means, the balance of the powers, samples above 1.0.
    auto dc = stereo(frames, dc_quarter, dc_minus_tenth);
    dc[2 * 100] = 1.5f;
    m = measure(dc.data(), frames, 44100);
    EXPECT_NEAR(m.dc[0], 0.25, 1e-5);
    EXPECT_NEAR(m.dc[1], -0.1, 1e-7);
    EXPECT_NEAR(m.balance_db, 20 * std::log10(2.5), 0.01);
    EXPECT_NEAR(m.correlation, -1.0, 1e-4);  // one sample of 1.5 apart
    EXPECT_EQ(m.above_one, 1u);
    EXPECT_NEAR(m.sample_peak_dbfs, 20 * std::log10(1.5), 1e-6);

    // Silence: no loudness, no correlation to speak of.
    std::vector<float> quiet(2 * 44100, 0.0f);
    m = measure(quiet.data(), 44100, 44100);
    EXPECT_TRUE(std::isinf(m.integrated_lufs));
    EXPECT_TRUE(std::isnan(m.correlation));
    EXPECT_NE(report_table({{"whole", "1:1", m}}).find("-inf"), std::string::npos);
    EXPECT_NE(report_json("x", {{"whole", "1:1", m}}).find("\"integrated_lufs\": null"),
              std::string::npos);
}

}  // namespace
