#include "player/terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace player {

namespace {

constexpr unsigned char ESC = 0x1b;

termios saved_modes;
volatile sig_atomic_t modes_saved = 0;

extern "C" void on_exit_signal(int) {
    restore_terminal();
    _exit(0);
}

}  // namespace

void install_exit_signals() {
    struct sigaction action {};
    action.sa_handler = on_exit_signal;
    sigfillset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
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
