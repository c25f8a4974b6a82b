#include "studio/audio_file.h"

#include <cmath>
#include <stdexcept>

#include "studio/position.h"

namespace studio {

Format parse_format(const std::string& name) {
    if (name == "f32") return Format::f32;
    if (name == "s24") return Format::s24;
    if (name == "s16") return Format::s16;
    if (name == "flac") return Format::flac;
    throw UsageError("'" + name + "' is not a format: f32, s24, s16 or flac");
}

const char* format_extension(Format format) {
    return format == Format::flac ? "flac" : "wav";
}

namespace {

// SplitMix64: a fixed, well-mixed function of its counter.
uint64_t mix64(uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

constexpr uint64_t DITHER_SEED = 0x6c756d656e66726full;

int32_t round_clamped(double x, double low, double high) {
    double r = std::floor(x + 0.5);
    if (!(r >= low)) return static_cast<int32_t>(low);  // also NaN
    if (r > high) return static_cast<int32_t>(high);
    return static_cast<int32_t>(r);
}

int sf_format(Format format) {
    switch (format) {
        case Format::f32:
            return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        case Format::s24:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        case Format::s16:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        case Format::flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    }
    return 0;
}

}  // namespace

double tpdf_dither(uint32_t frame, int channel) {
    uint64_t h = mix64(DITHER_SEED ^ ((static_cast<uint64_t>(frame) << 1) | (channel & 1)));
    // Two independent 24-bit uniforms in [0, 1); their difference is triangular.
    double u1 = static_cast<double>(h >> 40) * 0x1p-24;
    double u2 = static_cast<double>(h & 0xffffff) * 0x1p-24;
    return u1 - u2;
}

int32_t quantise_s24(float x) {
    return round_clamped(static_cast<double>(x) * 8388608.0, -8388608.0, 8388607.0);
}

int32_t quantise_s16(float x, uint32_t frame, int channel) {
    return round_clamped(static_cast<double>(x) * 32768.0 + tpdf_dither(frame, channel), -32768.0,
                         32767.0);
}

AudioWriter::AudioWriter(const std::string& path, Format format, uint32_t first_frame)
    : path_(path), out_(path), format_(format), next_frame_(first_frame) {
    std::string error;
    if (!out_.open(error)) throw std::runtime_error(error);
    SF_INFO info{};
    info.samplerate = static_cast<int>(SAMPLE_RATE);
    info.channels = 2;
    info.format = sf_format(format);
    // The library leaves the descriptor open: the Replacement closes it.
    file_ = sf_open_fd(out_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr)
        throw std::runtime_error(path + ": cannot write (" + sf_strerror(nullptr) + ")");
    // No PEAK chunk: it holds the time of writing, and a file should be the
    // same bytes on every export.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioWriter::write(const StereoFrame* frames, uint32_t count) {
    sf_count_t written;
    if (format_ == Format::f32) {
        written = sf_writef_float(file_, &frames[0].left, count);
    } else {
        ints_.resize(2 * static_cast<size_t>(count));
        for (uint32_t i = 0; i < count; ++i) {
            const float lr[2] = {frames[i].left, frames[i].right};
            for (int c = 0; c < 2; ++c) {
                // The library takes the top bits of a 32-bit int.
                ints_[2 * i + c] = format_ == Format::s16
                                       ? quantise_s16(lr[c], next_frame_ + i, c) * 65536
                                       : quantise_s24(lr[c]) * 256;
            }
        }
        written = sf_writef_int(file_, ints_.data(), count);
    }
    next_frame_ += count;
    if (written != static_cast<sf_count_t>(count))
        throw std::runtime_error(path_ + ": cannot write (" + sf_strerror(file_) + ")");
}

void AudioWriter::commit() {
    const int status = sf_close(file_);
    file_ = nullptr;
    if (status != 0)
        throw std::runtime_error(path_ + ": cannot write (" + sf_error_number(status) + ")");
    std::string error;
    if (!out_.commit(error)) throw std::runtime_error(error);
}

namespace {

SNDFILE* open_for_reading(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    return file;
}

}  // namespace

AudioData read_audio(const std::string& path) {
    SF_INFO info;
    SNDFILE* file = open_for_reading(path, info);
    AudioData data;
    data.rate = static_cast<uint32_t>(info.samplerate);
    data.channels = static_cast<uint32_t>(info.channels);
    data.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t got = sf_readf_float(file, data.samples.data(), info.frames);
    sf_close(file);
    if (got != info.frames) throw std::runtime_error("cannot read " + path + ": file cut short");
    return data;
}

std::vector<int32_t> read_audio_ints(const std::string& path) {
    SF_INFO info;
    SNDFILE* file = open_for_reading(path, info);
    std::vector<int32_t> ints(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t got = sf_readf_int(file, ints.data(), info.frames);
    sf_close(file);
    if (got != info.frames) throw std::runtime_error("cannot read " + path + ": file cut short");
    return ints;
}

}  // namespace studio
