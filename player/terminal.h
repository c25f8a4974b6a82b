// Esc from the terminal, and the terminal left as it was found.
//
// On a terminal the player turns off line editing and echo, so a single Esc
// byte reaches it at once and keys typed during playback do not litter the
// screen. The saved modes come back on every way out: the end of the track,
// Esc, no device, and SIGINT, SIGTERM, SIGHUP or SIGQUIT (Ctrl-C, Ctrl-\),
// which end the player with status 0 like Esc. Ctrl-Z (SIGTSTP) gives the
// shell its modes back while the player is stopped; SIGCONT in the foreground
// takes the terminal again. Without a terminal on standard input there is no key.
#pragma once

#include "player/playback.h"

namespace player {

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT restore the terminal and end the
// process with status 0; SIGTSTP restore it before the stop, SIGCONT take it again.
void install_exit_signals();

// Undoes take_terminal; safe to call more than once and from a signal handler.
void restore_terminal();

class TerminalKey final : public EscKey {
  public:
    // If standard input is this process's foreground terminal: saves its modes
    // and switches to non-canonical, no-echo input that never blocks.
    void take_terminal();
    bool pressed() override;

  private:
    bool active_ = false;
};

// True if `bytes` hold an Esc key press: an Esc byte that does not start one
// of the escape sequences that arrow and function keys send (Esc [ or Esc O).
bool holds_esc_key(const unsigned char* bytes, long count);

}  // namespace player
