#include "tools/drums/wav.h"

#include <cmath>
#include <cstring>

#include "engine/data/files.h"

namespace drums {

namespace {

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

void check_output(const std::string& path, const std::vector<std::string>& inputs) {
    std::string error;
    if (!lf::files::check_output(path, inputs, error)) throw FileError(error);
}

void write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    if (!lf::files::check_output(path, {}, error) ||
        !lf::files::write_atomically(path, bytes, error)) {
        throw FileError(error);
    }
}

std::vector<uint8_t> read_file(const std::string& path, uint64_t limit) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!lf::files::read_input(path, limit, bytes, error)) throw FileError(error);
    return bytes;
}

void write_wav(const std::string& path, const std::vector<float>& mono) {
    std::string error;
    if (!lf::files::check_output(path, {}, error) ||
        !lf::files::write_float_wav(path, mono.data(), 1, static_cast<uint32_t>(mono.size()),
                                    error)) {
        throw FileError(error);
    }
}

std::vector<float> read_wav(const std::string& path) {
    const std::vector<uint8_t> b = read_file(path, MAX_WAV_BYTES);
    const std::string not_ours = path + ": not a mono 32-bit float 44100 Hz WAV file";
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        throw FileError(not_ours);
    // The chunks in turn: "fmt " (16 or 18 bytes) before "data"; any other
    // ("fact" among them) is stepped over. A chunk of odd size is padded.
    bool format_seen = false;
    size_t at = 12, data_at = 0;
    uint32_t data = 0;
    while (data_at == 0) {
        if (at + 8 > b.size())
            throw FileError(format_seen ? path + ": holds no data chunk" : not_ours);
        const uint32_t size = get32(b, at + 4);
        const size_t body = at + 8;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > b.size() || get16(b, body) != 3 ||
                get16(b, body + 2) != 1 || get32(b, body + 4) != 44100 || get16(b, body + 14) != 32)
                throw FileError(not_ours);
            format_seen = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            if (!format_seen) throw FileError(not_ours);
            data_at = body;
            data = size;
        }
        at = body + size + (size & 1);
    }
    if (data % 4 != 0 || data_at + static_cast<size_t>(data) > b.size())
        throw FileError(path + ": truncated WAV data");
    if (data == 0) throw FileError(path + ": holds no frames");
    std::vector<float> mono(data / 4);
    std::memcpy(mono.data(), b.data() + data_at, data);
    for (size_t i = 0; i < mono.size(); ++i) {
        if (!std::isfinite(mono[i])) {
            throw FileError(path + ": frame " + std::to_string(i) + " is " +
                            (std::isnan(mono[i]) ? "not a number" : "infinite") +
                            "; a recording holds finite samples only");
        }
    }
    return mono;
}

}  // namespace drums
