// The WAV file: header fields byte for byte, the data as it stands, and a
// save that either replaces the file completely or leaves it untouched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/data/files.h"
#include "renderer/wav_file.h"
#include "tests/scratch.h"

using namespace lf::test;
using lf::files::float_wav_header;
using lf::files::WAV_HEADER_BYTES;

namespace {

uint32_t u32_at(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

TEST(WavHeader, TrackFileFields) {
    auto h = float_wav_header(2, SAVED_FRAMES);
    const uint8_t* p = h.data();
    EXPECT_EQ(std::memcmp(p, "RIFF", 4), 0);
    EXPECT_EQ(u32_at(p + 4), 46628450u);
    EXPECT_EQ(std::memcmp(p + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(u32_at(p + 16), 18u);
    EXPECT_EQ(u16_at(p + 20), 3);
    EXPECT_EQ(u16_at(p + 22), 2);
    EXPECT_EQ(u32_at(p + 24), 44100u);
    EXPECT_EQ(u32_at(p + 28), 352800u);
    EXPECT_EQ(u16_at(p + 32), 8);
    EXPECT_EQ(u16_at(p + 34), 32);
    EXPECT_EQ(u16_at(p + 36), 0);
    EXPECT_EQ(std::memcmp(p + 38, "fact", 4), 0);
    EXPECT_EQ(u32_at(p + 42), 4u);
    EXPECT_EQ(u32_at(p + 46), 5828550u);
    EXPECT_EQ(std::memcmp(p + 50, "data", 4), 0);
    EXPECT_EQ(u32_at(p + 54), 46628400u);
    EXPECT_EQ(46628400u + WAV_HEADER_BYTES, 46628458u);
}

// The drum tools' recordings: the same layout, one channel.
TEST(WavHeader, MonoFields) {
    auto h = float_wav_header(1, 1000);
    const uint8_t* p = h.data();
    EXPECT_EQ(u32_at(p + 4), 50u + 4000u);
    EXPECT_EQ(u16_at(p + 22), 1);
    EXPECT_EQ(u32_at(p + 28), 176400u);
    EXPECT_EQ(u16_at(p + 32), 4);
    EXPECT_EQ(u32_at(p + 46), 1000u);
    EXPECT_EQ(u32_at(p + 54), 4000u);
}

TEST(WavFile, SaveWritesHeaderThenFramesAndReplacesOldFile) {
    Scratch dir;
    const fs::path target = dir.path / "out.wav";
    std::ofstream(target) << "an older, longer file that must not survive in any part";
    std::vector<StereoFrame> frames(3);
    for (int i = 0; i < 3; ++i) frames[i] = {0.25f * i, -0.5f * i};
    save_wav(target.string(), frames.data(), 3);

    std::string bytes = read_text(target);
    ASSERT_EQ(bytes.size(), WAV_HEADER_BYTES + 3 * 8u);
    auto h = float_wav_header(2, 3);
    EXPECT_EQ(std::memcmp(bytes.data(), h.data(), WAV_HEADER_BYTES), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + WAV_HEADER_BYTES, frames.data(), 24), 0);
    EXPECT_EQ(dir.entries(), 1u);  // no temporary file left behind
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "readable like a plainly created file";
}

TEST(WavFile, FailedSaveReportsTheSystemErrorAndKeepsTheOldFile) {
    Scratch dir;
    StereoFrame frame{1.0f, 1.0f};
    // A directory that does not exist.
    try {
        save_wav((dir.path / "missing" / "out.wav").string(), &frame, 1);
        FAIL() << "no error reported";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
    // A target that cannot be replaced (it is a non-empty directory): the
    // bytes were written to a temporary file, which must be cleaned up.
    const fs::path target = dir.path / "taken.wav";
    fs::create_directory(target);
    std::ofstream(target / "keep") << "good";
    EXPECT_THROW(save_wav(target.string(), &frame, 1), std::runtime_error);
    EXPECT_EQ(read_text(target / "keep"), "good");
    EXPECT_EQ(dir.entries(), 1u);
}
