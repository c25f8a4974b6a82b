// Sound files through libsndfile: the track written as 32-bit float WAV, as
// 24- or 16-bit PCM WAV or as 24-bit FLAC, and any file read back.
//
// The integer formats are quantised here, not by the library, so a file holds
// exactly the integers quantise_s24 / quantise_s16 give. 16-bit gets TPDF
// dither from a fixed-seed generator indexed by the frame's place in the
// track: the same frame is dithered the same way whether it is written in a
// section or in the whole track, and every export is reproducible.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data/files.h"
#include "engine/frame/engine.h"

namespace studio {

enum class Format { f32, s24, s16, flac };

// "f32", "s24", "s16" or "flac"; throws UsageError otherwise.
Format parse_format(const std::string& name);
const char* format_extension(Format format);  // "wav" or "flac"

// Round to nearest, clamped to the 24-bit range (full scale 2^23).
int32_t quantise_s24(float x);
// TPDF dither (two uniform draws, +-1 LSB) for channel 0 or 1 of track frame
// `frame`, then round to nearest, clamped to the 16-bit range (full scale 2^15).
int32_t quantise_s16(float x, uint32_t frame, int channel);
// The dither added before rounding, in 16-bit steps: in (-1, 1), triangular.
double tpdf_dither(uint32_t frame, int channel);

// A stereo 44100 Hz file written in pieces through a files::Replacement: it
// replaces `path` only on commit(), so a failed export never destroys an
// earlier good file; without commit the temporary is removed.
class AudioWriter {
  public:
    // `first_frame` is the track frame of the file's first frame (for dither).
    // Throws std::runtime_error when the file cannot be created.
    AudioWriter(const std::string& path, Format format, uint32_t first_frame);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const StereoFrame* frames, uint32_t count);  // throws on a write error
    void commit();                                          // throws; then the file is there

  private:
    std::string path_;
    lf::files::Replacement out_;
    Format format_;
    uint32_t next_frame_;
    SNDFILE* file_ = nullptr;
    std::vector<int32_t> ints_;
};

// A whole file as interleaved floats (the library's scaling of integers to +-1).
struct AudioData {
    uint32_t rate = 0;
    uint32_t channels = 0;
    std::vector<float> samples;
    uint64_t frames() const { return channels ? samples.size() / channels : 0; }
};
// Throws std::runtime_error naming the file and the library's reason.
AudioData read_audio(const std::string& path);
// The raw integers of a 16- or 24-bit file as the library reads them into int
// (the sample times 2^16 or 2^8).
std::vector<int32_t> read_audio_ints(const std::string& path);

}  // namespace studio
