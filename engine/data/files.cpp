#include "engine/data/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
        const bool same_file = exists && in.st_dev == resolved.st_dev && in.st_ino == resolved.st_ino;
        if (same_name || same_file) {
            error = path + ": cannot write: it is the input " + input +
                    ", and an output never replaces an input";
            return false;
        }
    }
    return true;
}

bool write_atomically(const std::string& path, std::string_view data, std::string& error) {
    std::string temporary = folder_of(path) + "/." + name_of(path) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = path + ": cannot write (" + reason(errno) + ")";
        return false;
    }
    // mkstemp makes the file private; the output gets the modes a plain
    // creation would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error_number = 0;
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 || (error_number = errno, false);
    ok = ok && write_all(fd, data.data(), data.size(), error_number);
    ok = ok && (::fsync(fd) == 0 || (error_number = errno, false));
    if (::close(fd) != 0 && ok) {
        error_number = errno;
        ok = false;
    }
    ok = ok && (::rename(temporary.c_str(), path.c_str()) == 0 || (error_number = errno, false));
    if (!ok) {
        ::unlink(temporary.c_str());
        error = path + ": cannot write (" + reason(error_number) + "); nothing was replaced";
    }
    return ok;
}

bool write_atomically(const std::string& path, const std::vector<uint8_t>& data,
                      std::string& error) {
    return write_atomically(
        path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), error);
}

}  // namespace lf::files
