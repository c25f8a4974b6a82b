// watch: plays (or renders) the track, and whenever a .score file changes,
// re-packs the score, rebuilds this program and runs the new build again.
//
// The score is compiled into the engine, so hearing an edit takes a rebuild:
// score_pack writes score.bin and the MIDI file (replacing the last good ones
// only when the score has no problems), then cmake --build
// rebuilds the lumenfrost target in the folder this program was built in, and
// the new binary runs as a child: play --from POS, or render -o FILE.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "studio/commands.h"

namespace studio {

namespace {

const std::string SCORE_DIR = LUMENFROST_CONTENT_DIR "/score";
const std::string SCORE_MAIN = SCORE_DIR + "/lumenfrost.score";
const std::string SCORE_BIN = SCORE_DIR + "/score.bin";
const std::string SCORE_MIDI = LUMENFROST_SOURCE_DIR "/docs/score/lumenfrost.mid";

// Starts argv[0] with its arguments as a child; returns its id (or -1).
pid_t start(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        std::fprintf(stderr, "lumenfrost: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    return pid;
}

// Runs argv to its end; returns its exit status (-1 if it could not run).
int run_to_end(const std::vector<std::string>& args) {
    pid_t pid = start(args);
    if (pid < 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ends the child we started (by its id) and collects it.
void stop(pid_t& child) {
    if (child <= 0) return;
    kill(child, SIGTERM);
    int status;
    waitpid(child, &status, 0);
    child = 0;
}

// Packs the score. score_pack writes nothing when the score has problems, and
// replaces each file only once its new bytes are complete.
bool repack() {
    if (run_to_end({SCORE_PACK_PATH, SCORE_MAIN, "-o", SCORE_BIN, "--midi", SCORE_MIDI}) != 0) {
        std::fprintf(stderr,
                     "lumenfrost: the score has problems (above); the last good "
                     "score.bin stays. Waiting for the next change.\n");
        return false;
    }
    return true;
}

bool rebuild() {
    std::fprintf(stderr, "lumenfrost: rebuilding in %s\n", LUMENFROST_BUILD_DIR);
    int status =
        run_to_end({CMAKE_COMMAND_PATH, "--build", LUMENFROST_BUILD_DIR, "--target", "lumenfrost"});
    if (status != 0) {
        std::fprintf(stderr,
                     "lumenfrost: the build failed (above). Waiting for the next change.\n");
        return false;
    }
    return true;
}

// True once a .score file was written, moved in or removed; drains the queue.
bool score_changed(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return false;
    alignas(inotify_event) char buffer[8192];
    bool changed = false;
    ssize_t n = read(fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < n;) {
        auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        std::string name = e->len ? e->name : "";
        if (name.size() > 6 && name.compare(name.size() - 6, 6, ".score") == 0) changed = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    return changed;
}

volatile sig_atomic_t ending = 0;
extern "C" void on_end_signal(int) {
    ending = 1;
}

time_t modified(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? s.st_mtime : 0;
}

bool sources_newer_than_bin() {
    time_t bin = modified(SCORE_BIN);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(SCORE_DIR, ec)) {
        if (entry.path().extension() == ".score" && modified(entry.path().string()) > bin)
            return true;
    }
    return false;
}

}  // namespace

int run_watch(const WatchOptions& o, const char* self_path) {
    // The binary's path now: after a rebuild the same path holds the new one.
    std::error_code ec;
    std::string self = std::filesystem::canonical("/proc/self/exe", ec).string();
    if (ec) self = self_path;

    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 ||
        inotify_add_watch(fd, SCORE_DIR.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) < 0) {
        print_error("cannot watch " + SCORE_DIR + ": " + std::strerror(errno));
        return 1;
    }
    std::vector<std::string> child_args{self};
    if (o.play) {
        child_args.insert(child_args.end(), {"play"});
    } else {
        child_args.insert(child_args.end(), {"render", "--no-report"});
        if (!o.output.empty()) child_args.insert(child_args.end(), {"-o", o.output});
        if (!o.format.empty()) child_args.insert(child_args.end(), {"--format", o.format});
    }
    if (!o.from.empty()) child_args.insert(child_args.end(), {"--from", o.from});

    // Ctrl-C or SIGTERM: the child we started ends too, and then we do.
    struct sigaction action {};
    action.sa_handler = on_end_signal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::fprintf(stderr, "lumenfrost: watching %s/*.score (Ctrl-C ends)\n", SCORE_DIR.c_str());
    bool build_first = sources_newer_than_bin();
    pid_t child = 0;
    for (;;) {
        if (!build_first || (repack() && rebuild())) child = start(child_args);
        build_first = true;
        // Wait for an edit; the child plays or renders meanwhile.
        for (;;) {
            if (ending) {
                stop(child);
                return 0;
            }
            if (score_changed(fd, 200)) break;
            if (child > 0) {
                int status;
                if (waitpid(child, &status, WNOHANG) == child) child = 0;
            }
        }
        // Editors write in several steps: let them settle.
        while (score_changed(fd, 300)) {
        }
        std::fprintf(stderr, "\nlumenfrost: the score changed\n");
        stop(child);
    }
}

}  // namespace studio
