#include "renderer/wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[noreturn]] void fail(int err) { throw std::runtime_error(std::strerror(err)); }

// Writes all `size` bytes, retrying short writes and interruptions.
void write_all(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// The temporary file: removed on every path that does not rename it.
struct TempFile {
    std::string path;
    int fd = -1;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }
};

}  // namespace

std::array<uint8_t, WAV_HEADER_BYTES> wav_header(uint32_t frames) {
    const uint32_t data_bytes = frames * 8;
    std::array<uint8_t, WAV_HEADER_BYTES> h{};
    uint8_t* p = h.data();
    std::memcpy(p + 0, "RIFF", 4);
    put_u32(p + 4, WAV_HEADER_BYTES - 8 + data_bytes);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    put_u32(p + 16, 18);
    put_u16(p + 20, 3);  // IEEE float
    put_u16(p + 22, 2);
    put_u32(p + 24, SAMPLE_RATE);
    put_u32(p + 28, SAMPLE_RATE * 8);
    put_u16(p + 32, 8);
    put_u16(p + 34, 32);
    put_u16(p + 36, 0);
    std::memcpy(p + 38, "fact", 4);
    put_u32(p + 42, 4);
    put_u32(p + 46, frames);
    std::memcpy(p + 50, "data", 4);
    put_u32(p + 54, data_bytes);
    return h;
}

void save_wav(const std::string& path, const StereoFrame* frames, uint32_t count) {
    const auto header = wav_header(count);

    TempFile tmp;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + base + ".XXXXXX";
    tmp.fd = ::mkstemp(pattern.data());
    if (tmp.fd < 0) fail(errno);
    tmp.path = pattern;

    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(tmp.fd, 0666 & ~mask) != 0) fail(errno);

    write_all(tmp.fd, header.data(), header.size());
    write_all(tmp.fd, frames, static_cast<size_t>(count) * sizeof(StereoFrame));
    if (::fsync(tmp.fd) != 0) fail(errno);
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::close(fd) != 0) fail(errno);
    if (::rename(tmp.path.c_str(), path.c_str()) != 0) fail(errno);
    tmp.keep = true;
}
