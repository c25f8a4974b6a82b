// Launching the programs under test: exec with an environment, a program run
// to its end with its output collected, and a program on a pseudo-terminal
// driven as a user at the keyboard would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace lf::test {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The child's side of a launch: environment, working directory, exec of
// argv[0] with its arguments.
[[noreturn]] inline void exec_in(const std::string& dir, const std::vector<std::string>& env,
                                 const std::vector<std::string>& argv) {
    for (const std::string& entry : env) {
        size_t eq = entry.find('=');
        setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

inline bool exited_with(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

struct Outcome {
    bool finished = false;  // false: killed at the time limit
    int status = -1;        // waitpid status
    std::string out, err;
    double seconds = 0;
    // The exit status, or -1 when it was killed or ended by a signal.
    int code() const { return finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

// Runs argv in `dir` with the environment assignments `env` and standard
// input from /dev/null, collecting its output; killed after `limit_s`.
inline Outcome run_program(const std::vector<std::string>& argv, const std::string& dir,
                           const std::vector<std::string>& env, double limit_s) {
    Outcome result;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    const auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, STDIN_FILENO);
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(err_pipe[0]);
        exec_in(dir, env, argv);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_fds = 2;
    while (open_fds > 0 && seconds_since(start) < limit_s) {
        if (poll(fds, 2, 200) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    if (open_fds > 0) kill(pid, SIGKILL);
    for (pollfd& f : fds) {
        if (f.fd >= 0) close(f.fd);
    }
    waitpid(pid, &result.status, 0);
    result.finished = open_fds == 0;
    result.seconds = seconds_since(start);
    return result;
}

// A program (the player, the studio) on a pseudo-terminal of its own, as in a
// terminal window: a small shell leads the terminal's session and runs the
// program as its foreground job, so that the terminal's Ctrl-C, Ctrl-\ and
// Ctrl-Z reach it and a stop really stops it (the stop signals of the terminal are not
// delivered to a process group without a parent in its session). The shell
// reports the job's stops and continues on a pipe and exits with its status.
class PtyProgram {
  public:
    PtyProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
        tcgetattr(slave_, &before_);
        int events[2];
        if (pipe(events) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(master_);
            close(events[0]);
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            ::signal(SIGTTOU, SIG_IGN);
            const pid_t player = fork();
            if (player == 0) {
                setpgid(0, 0);
                ::signal(SIGTTOU, SIG_DFL);
                dup2(slave_, STDIN_FILENO);
                dup2(slave_, STDOUT_FILENO);
                dup2(slave_, STDERR_FILENO);
                if (slave_ > STDERR_FILENO) close(slave_);
                close(events[1]);
                // Wait until the shell has made this the terminal's foreground job.
                while (tcgetpgrp(STDIN_FILENO) != getpgrp()) usleep(1000);
                exec_in("", env, argv);
            }
            setpgid(player, player);
            tcsetpgrp(slave_, player);
            (void)!write(events[1], &player, sizeof player);
            for (;;) {
                int status = 0;
                if (waitpid(player, &status, WUNTRACED | WCONTINUED) != player) _exit(125);
                char event = WIFSTOPPED(status) ? 's' : WIFCONTINUED(status) ? 'c' : 0;
                if (event != 0) {
                    (void)!write(events[1], &event, 1);
                    continue;
                }
                if (WIFSIGNALED(status)) _exit(128 + WTERMSIG(status));
                _exit(WEXITSTATUS(status));
            }
        }
        close(events[1]);
        events_ = events[0];
        if (read(events_, &player_, sizeof player_) != sizeof player_) player_ = -1;
        fcntl(events_, F_SETFL, O_NONBLOCK);
    }
    ~PtyProgram() {
        if (player_ > 0 && !exited_) kill(player_, SIGKILL);
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        if (events_ >= 0) close(events_);
    }

    // Stops ('s') and continues ('c') of the player as its shell saw them.
    std::string job_events() {
        char buffer[64];
        ssize_t n;
        while ((n = read(events_, buffer, sizeof buffer)) > 0) events_seen_.append(buffer, n);
        return events_seen_;
    }
    bool wait_for_event(char event, double limit_s) {
        const auto start = Clock::now();
        while (job_events().find(event) == std::string::npos) {
            if (seconds_since(start) > limit_s || reap()) return false;
            drain(20);
        }
        return true;
    }

    bool started() const { return pid_ > 0 && player_ > 0; }
    const termios& modes_before() const { return before_; }
    termios modes() const {
        termios now{};
        tcgetattr(slave_, &now);
        return now;
    }
    const std::string& screen() const { return screen_; }

    bool wait_for_text(const std::string& text, double limit_s) {
        const auto start = Clock::now();
        while (screen_.find(text) == std::string::npos) {
            if (seconds_since(start) > limit_s || reap()) return false;
            drain(100);
        }
        return true;
    }
    void send(const std::string& bytes) { (void)!write(master_, bytes.data(), bytes.size()); }
    void signal(int number) { kill(player_, number); }
    // Waits for the player to end; false if it is still running after `limit_s`.
    bool wait_exit(double limit_s) {
        const auto start = Clock::now();
        while (!reap()) {
            if (seconds_since(start) > limit_s) return false;
            drain(50);
        }
        return true;
    }
    int status() const { return status_; }

  private:
    bool reap() {
        if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    void drain(int wait_ms) {
        pollfd f{master_, POLLIN, 0};
        if (poll(&f, 1, wait_ms) <= 0) return;
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) screen_.append(buffer, static_cast<size_t>(n));
    }

    int master_ = -1, slave_ = -1, events_ = -1;
    pid_t pid_ = -1, player_ = -1;
    std::string events_seen_;
    bool exited_ = false;
    int status_ = -1;
    termios before_{};
    std::string screen_;
};

}  // namespace lf::test
