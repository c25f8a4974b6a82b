#include "tools/drums/wav.h"

#include <cmath>
#include <cstring>

#include "engine/data/files.h"

namespace drums {

namespace {

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
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

std::vector<uint8_t> wav_bytes(const std::vector<float>& mono) {
    uint32_t data = static_cast<uint32_t>(mono.size() * 4);
    std::vector<uint8_t> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 3);  // IEEE float
    put16(b, 1);  // mono
    put32(b, 44100);
    put32(b, 44100 * 4);
    put16(b, 4);
    put16(b, 32);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, data);
    size_t at = b.size();
    b.resize(at + data);
    std::memcpy(b.data() + at, mono.data(), data);
    return b;
}

void write_wav(const std::string& path, const std::vector<float>& mono) {
    write_file_atomic(path, wav_bytes(mono));
}

std::vector<float> read_wav(const std::string& path) {
    std::vector<uint8_t> b = read_file(path, MAX_WAV_BYTES);
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVEfmt ", 8) != 0 || get16(b, 20) != 3 || get16(b, 22) != 1 ||
        get32(b, 24) != 44100 || get16(b, 34) != 32 || std::memcmp(b.data() + 36, "data", 4) != 0)
        throw FileError(path + ": not a mono 32-bit float 44100 Hz WAV file");
    uint32_t data = get32(b, 40);
    if (data % 4 != 0 || 44 + static_cast<size_t>(data) > b.size())
        throw FileError(path + ": truncated WAV data");
    if (data == 0) throw FileError(path + ": holds no frames");
    std::vector<float> mono(data / 4);
    std::memcpy(mono.data(), b.data() + 44, data);
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
