#include "player/terminal.h"

#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace player {

namespace {

constexpr unsigned char ESC = 0x1b;

termios saved_modes;
volatile sig_atomic_t modes_saved = 0;

termios raw_modes;
volatile sig_atomic_t raw_taken = 0;

extern "C" void on_exit_signal(int) {
    restore_terminal();
    _exit(0);
}

// Ctrl-Z: the shell gets its terminal back as it lent it, then the process
// stops as it would have without a handler.
extern "C" void on_stop_signal(int) {
    const int saved_errno = errno;
    restore_terminal();
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    raise(SIGTSTP);
    // The stop is delivered when the mask is lifted; the process continues here.
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    struct sigaction again {};
    again.sa_handler = on_stop_signal;
    sigfillset(&again.sa_mask);
    sigaction(SIGTSTP, &again, nullptr);
    errno = saved_errno;
}

// Back in the foreground after a stop: keys without echo again. In the
// background the terminal stays the shell's.
extern "C" void on_continue_signal(int) {
    const int saved_errno = errno;
    if (raw_taken && tcgetpgrp(STDIN_FILENO) == getpgrp()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &raw_modes);
    }
    errno = saved_errno;
}

}  // namespace

void install_exit_signals() {
    struct sigaction action {};
    action.sa_handler = on_exit_signal;
    sigfillset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(number, &action, nullptr);
    action.sa_handler = on_stop_signal;
    sigaction(SIGTSTP, &action, nullptr);
    action.sa_handler = on_continue_signal;
    action.sa_flags = SA_RESTART;
    sigaction(SIGCONT, &action, nullptr);
}

void restore_terminal() {
    // tcsetattr is async-signal-safe.
    if (modes_saved) tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
}

void TerminalKey::take_terminal() {
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    if (tcgetattr(STDIN_FILENO, &saved_modes) != 0) return;
    modes_saved = 1;
    termios raw = saved_modes;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    // Reads return at once with whatever is there, possibly nothing.
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    raw_modes = raw;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    raw_taken = active_ ? 1 : 0;
}

bool holds_esc_key(const unsigned char* bytes, long count) {
    for (long i = 0; i < count; ++i) {
        if (bytes[i] != ESC) continue;
        bool starts_sequence = i + 1 < count && (bytes[i + 1] == '[' || bytes[i + 1] == 'O');
        if (!starts_sequence) return true;
    }
    return false;
}

bool TerminalKey::pressed() {
    if (!active_) return false;
    bool esc = false;
    unsigned char bytes[64];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
        if (n <= 0) break;
        esc = esc || holds_esc_key(bytes, n);
    }
    return esc;
}

}  // namespace player
