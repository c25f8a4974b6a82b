#include "tools/drums/wav.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

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

void write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) throw FileError(path + ": cannot write (" + std::strerror(errno) + ")");
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        std::remove(temp.c_str());
        throw FileError(path + ": cannot write (" + why + ")");
    }
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw FileError(path + ": cannot open");
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
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
    std::vector<uint8_t> b = read_file(path);
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVEfmt ", 8) != 0 || get16(b, 20) != 3 || get16(b, 22) != 1 ||
        get32(b, 24) != 44100 || get16(b, 34) != 32 || std::memcmp(b.data() + 36, "data", 4) != 0)
        throw FileError(path + ": not a mono 32-bit float 44100 Hz WAV file");
    uint32_t data = get32(b, 40);
    if (data % 4 != 0 || 44 + static_cast<size_t>(data) > b.size())
        throw FileError(path + ": truncated WAV data");
    std::vector<float> mono(data / 4);
    std::memcpy(mono.data(), b.data() + 44, data);
    return mono;
}

}  // namespace drums
