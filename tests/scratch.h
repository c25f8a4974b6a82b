// Scratch folders, whole-file text, and programs run with their status and
// standard error: what every test of a file-writing program or tool needs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace lf::test {

namespace fs = std::filesystem;

inline std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder under the system's temporary folder, removed with the object
// together with whatever a test left in it (read-only folders included).
struct Scratch {
    fs::path path;

    Scratch() {
        std::string name = (fs::temp_directory_path() / "lumenfrost-XXXXXX").string();
        if (::mkdtemp(name.data()) != nullptr) path = name;
    }
    ~Scratch() {
        if (path.empty()) return;
        std::error_code ignored;
        for (const auto& e : fs::recursive_directory_iterator(path, ignored))
            if (e.is_directory(ignored))
                fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string operator/(const std::string& name) const { return (path / name).string(); }
    // The names in the folder, to see that no temporary was left behind.
    size_t entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(path), {}));
    }
};

struct ToolRun {
    int status = -1;  // exit status, or 128 + signal
    std::string err;
};

// Runs `command` in bash, standard output discarded; `file_limit_kib` > 0 caps
// every file it writes (a write past the cap fails as on a full disk).
inline ToolRun run_tool(const std::string& command, long file_limit_kib = 0) {
    const Scratch log_dir;
    const std::string log = log_dir / "stderr";
    std::string line = command + " 2>'" + log + "' >/dev/null";
    if (file_limit_kib > 0)
        line = "trap '' XFSZ; ulimit -f " + std::to_string(file_limit_kib) + "; " + line;
    std::string quoted = "'";
    for (char c : line) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const int raw = std::system(("bash -c " + quoted + "'").c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.err = read_text(log);
    return r;
}

}  // namespace lf::test
