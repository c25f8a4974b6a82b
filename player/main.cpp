// [lumenfrost_32k]: renders the track on a second thread while it plays it.
//
// Built without the engine's instruction-set flags: it checks the processor
// before anything calls into the engine.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/frame/cpu_check.h"
#include "engine/frame/engine.h"
#include "player/playback.h"
#include "player/render_thread.h"
#include "player/sdl_audio.h"
#include "player/terminal.h"

namespace {

// One write per message; a short write (rare, on a pipe) is finished off.
void write_fully(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

class StdConsole final : public player::Console {
  public:
    void write(std::string_view text) override { write_fully(STDOUT_FILENO, text); }
    void write_error(std::string_view text) override { write_fully(STDERR_FILENO, text); }
};

class SleepClock final : public player::Clock {
  public:
    void sleep_ms(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

class EngineRender final : public player::Render {
  public:
    void startup() override { engine_startup(); }
    void start_thread() override { player::start_render_thread(); }
};

}  // namespace

int main() {
    if (!engine_runs_here("[lumenfrost_32k]", "play")) return 1;

    player::install_exit_signals();
    static player::TerminalKey key;
    key.take_terminal();

    static StdConsole console;
    static SleepClock clock;
    static player::SdlAudioDevice device(player::RenderProgress);
    static EngineRender render;
    int status = player::run_player({console, clock, device, key, render}, player::RenderProgress);

    // The render thread may still be running: end the process without running
    // destructors under its feet.
    device.close();
    player::restore_terminal();
    std::_Exit(status);
}
