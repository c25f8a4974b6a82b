#include "engine/data/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/frame/engine.h"

namespace lf::files {

namespace {

std::string reason(int error_number) {
    return std::strerror(error_number);
}

std::string kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens without blocking on a pipe, then insists on a regular file.
int open_regular(const std::string& path, uint64_t limit, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = path + ": cannot open (" + reason(errno) + ")";
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": cannot examine (" + reason(errno) + ")";
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": is " + kind_of(st.st_mode) + ", not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) > limit) {
        error = path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
                size_text(limit) + " such a file may have";
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

template <typename Bytes>
bool read_all(const std::string& path, uint64_t limit, Bytes& bytes, std::string& error) {
    bytes.clear();
    const int fd = open_regular(path, limit, error);
    if (fd < 0) return false;
    // The size is read as it comes: a file that grows past the limit while it
    // is read is refused like one that was too large from the start.
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path + ": cannot read (" + reason(errno) + ")";
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<uint64_t>(n) > limit) {
            error = path + ": more than the " + size_text(limit) + " such a file may have";
            ::close(fd);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return true;
}

bool write_all(int fd, const char* data, size_t size, int& error_number) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_number = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string size_text(uint64_t bytes) {
    if (bytes >= MiB && bytes % MiB == 0) return std::to_string(bytes / MiB) + " MiB";
    if (bytes >= KiB && bytes % KiB == 0) return std::to_string(bytes / KiB) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool read_input(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes,
                std::string& error) {
    return read_all(path, limit, bytes, error);
}

bool read_input(const std::string& path, uint64_t limit, std::string& text, std::string& error) {
    return read_all(path, limit, text, error);
}

bool check_output(const std::string& path, const std::vector<std::string>& inputs,
                  std::string& error) {
    if (path.empty() || path.back() == '/') {
        error = path + ": cannot write: the name is a folder's, not a file's";
        return false;
    }
    struct stat folder {};
    const std::string dir = folder_of(path);
    if (::stat(dir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        error = path + ": cannot write: the folder " + dir + " does not exist";
        return false;
    }
    struct stat target {};
    if (::lstat(path.c_str(), &target) != 0) {
        if (errno == ENOENT) return true;
        error = path + ": cannot examine (" + reason(errno) + ")";
        return false;
    }
    // A link is replaced by the new file, not written through; what it points
    // to is checked all the same, so that no input is lost through a link.
    if (!S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode)) {
        error = path + ": cannot write: it is " + kind_of(target.st_mode) +
                ", and an output must be a regular file";
        return false;
    }
    struct stat resolved {};
    const bool exists = ::stat(path.c_str(), &resolved) == 0;
    for (const std::string& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) != 0) continue;
        const bool same_name = in.st_dev == target.st_dev && in.st_ino == target.st_ino;
        const bool same_file =
            exists && in.st_dev == resolved.st_dev && in.st_ino == resolved.st_ino;
        if (same_name || same_file) {
            error = path + ": cannot write: it is the input " + input +
                    ", and an output never replaces an input";
            return false;
        }
    }
    return true;
}

Replacement::~Replacement() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool Replacement::fail(int error_number, std::string& error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    error = path_ + ": cannot write (" + reason(error_number) + "); nothing was replaced";
    errno = error_number;
    return false;
}

bool Replacement::open(std::string& error) {
    std::string temporary = folder_of(path_) + "/." + name_of(path_) + ".XXXXXX";
    fd_ = ::mkstemp(temporary.data());
    if (fd_ < 0) return fail(errno, error);
    temporary_ = std::move(temporary);
    // mkstemp makes the file private; the output gets the modes a plain
    // creation would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) return fail(errno, error);
    return true;
}

bool Replacement::write(std::string_view bytes, std::string& error) {
    int error_number = 0;
    return write_all(fd_, bytes.data(), bytes.size(), error_number) || fail(error_number, error);
}

bool Replacement::commit(std::string& error) {
    if (::fsync(fd_) != 0) return fail(errno, error);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(errno, error);
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return fail(errno, error);
    temporary_.clear();
    return true;
}

bool write_atomically(const std::string& path, std::string_view data, std::string& error) {
    Replacement out(path);
    return out.open(error) && out.write(data, error) && out.commit(error);
}

bool write_atomically(const std::string& path, const std::vector<uint8_t>& data,
                      std::string& error) {
    return write_atomically(
        path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), error);
}

namespace {

void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// Laid out by hand, not through libsndfile: the track's file is fixed to the
// byte (this 58-byte header, nothing aligned, no other chunk), and the library
// lays out a float file its own way, with chunks of its own.
std::array<uint8_t, WAV_HEADER_BYTES> float_wav_header(uint16_t channels, uint32_t frames) {
    const uint32_t frame_bytes = 4u * channels;
    const uint32_t data_bytes = frames * frame_bytes;
    std::array<uint8_t, WAV_HEADER_BYTES> h{};
    uint8_t* p = h.data();
    std::memcpy(p + 0, "RIFF", 4);
    put_u32(p + 4, WAV_HEADER_BYTES - 8 + data_bytes);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    put_u32(p + 16, 18);
    put_u16(p + 20, 3);  // IEEE float
    put_u16(p + 22, channels);
    put_u32(p + 24, SAMPLE_RATE);
    put_u32(p + 28, SAMPLE_RATE * frame_bytes);
    put_u16(p + 32, static_cast<uint16_t>(frame_bytes));
    put_u16(p + 34, 32);
    put_u16(p + 36, 0);  // no extension
    std::memcpy(p + 38, "fact", 4);
    put_u32(p + 42, 4);
    put_u32(p + 46, frames);
    std::memcpy(p + 50, "data", 4);
    put_u32(p + 54, data_bytes);
    return h;
}

bool write_float_wav(const std::string& path, const float* samples, uint16_t channels,
                     uint32_t frames, std::string& error) {
    const auto header = float_wav_header(channels, frames);
    Replacement out(path);
    return out.open(error) &&
           out.write({reinterpret_cast<const char*>(header.data()), header.size()}, error) &&
           out.write({reinterpret_cast<const char*>(samples),
                      static_cast<size_t>(frames) * channels * sizeof(float)},
                     error) &&
           out.commit(error);
}

}  // namespace lf::files
