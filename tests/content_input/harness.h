// Scratch folders, a copy of the content, and the tools run as programs with
// their status and standard error, optionally with a limit on the size of any
// file they write (writes past it fail as on a full disk).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace content_test {

namespace fs = std::filesystem;

inline std::string source_dir() {
    return LUMENFROST_SOURCE_DIR;
}

inline std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder, removed with the object.
struct Scratch {
    fs::path path;
    Scratch() {
        static int serial = 0;
        path = fs::temp_directory_path() / ("lumenfrost_input_" + std::to_string(::getpid()) +
                                            "_" + std::to_string(serial++));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    // A copy of content/ (samples, score, drums) to spoil.
    std::string copy_content() const {
        fs::copy(source_dir() + "/content", path / "content", fs::copy_options::recursive);
        return (path / "content").string();
    }
    // The names in the folder, to see that no temporary was left behind.
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), {})); }
};

struct ToolRun {
    int status = -1;  // exit status, or 128 + signal
    std::string err;
    bool exited(int code) const { return status == code; }
};

// Runs `command` in a shell; `file_limit_kib` > 0 caps every file it writes.
inline ToolRun run(const std::string& command, long file_limit_kib = 0) {
    static int serial = 0;
    const std::string log = (fs::temp_directory_path() / ("lumenfrost_input_err_" +
                                                         std::to_string(::getpid()) + "_" +
                                                         std::to_string(serial++)))
                                .string();
    std::string line = command + " 2>'" + log + "' >/dev/null";
    if (file_limit_kib > 0) {
        line = "trap '' XFSZ; ulimit -f " + std::to_string(file_limit_kib) + "; " + line;
    }
    const int raw = std::system(("bash -c \"" + line + "\"").c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.err = read_text(log);
    std::remove(log.c_str());
    return r;
}

inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

inline size_t lines_of(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace content_test
