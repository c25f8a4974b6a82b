#include "player/playback.h"

#include <cstdio>

namespace player {

// The frame lines are 53 characters wide; the greetings thank the free software
// the player is built, tested and heard with.
const std::string_view BANNER =
    "-----------------------------------------------------\n"
    "\n"
    "/ / / / / / /    north~cascade  presents    / / / / /\n"
    " / / / / / /                               / / / / / \n"
    "/ / / / / /   [  l u m e n f r o s t  ]   / / / / / /\n"
    " / / / / /                               / / / / / / \n"
    "/ / / / /  a color DnB track in 32 KiB  / / / / / / /\n"
    "\n"
    " with a new synth engine and a few spectral tricks!\n"
    "-----------------------------------------------------\n"
    "\n"
    "                    Shout-out to:\n"
    "   GCC          glibc        libstdc++    binutils\n"
    "   CMake        Ninja        GNU Make     pkg-config\n"
    "   SDL2         PipeWire     PulseAudio   ALSA\n"
    "   Linux        Debian       APT          dpkg\n"
    "   Git          GNU Bash     coreutils    util-linux\n"
    "   GoogleTest   Benchmark    clang-format LLVM\n"
    "   ASan         UBSan        tmux         GNU grep\n"
    "     and the Debian, GNU and freedesktop.org crews\n"
    "\n"
    "Initializing...\n";

void wait_until_rendered(const std::atomic<uint32_t>& rendered, Clock& clock) {
    while (rendered.load(std::memory_order_acquire) < TRACK_FRAMES) clock.sleep_ms(POLL_MS);
}

namespace {

// The one line the player writes when it has no device to play on.
void report_no_device(Console& console, const char* reason) {
    char line[512];
    int n = std::snprintf(line, sizeof line,
                          "[lumenfrost_32k]: no audio device could be opened (%s). "
                          "Use wavrender to render the track to a WAV file instead.\n",
                          reason);
    if (n < 0) return;
    size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
    if (line[length - 1] != '\n') line[length - 1] = '\n';  // a long reason was cut short
    console.write_error(std::string_view(line, length));
}

}  // namespace

int run_player(const Ports& ports, const std::atomic<uint32_t>& rendered) {
    // The device before anything else: without one there is nothing to wait for.
    if (!ports.device.open(TrackBuffer, TRACK_FRAMES)) {
        report_no_device(ports.console, ports.device.error());
        return 1;
    }
    ports.console.write(BANNER);
    ports.render.startup();
    ports.console.write(START_RENDER_TEXT);
    ports.render.start_thread();

    // The render's head start. A render that has not made five seconds of audio
    // in five seconds will not stay ahead of the device: play once it is done.
    ports.clock.sleep_ms(HEAD_START_MS);
    if (rendered.load(std::memory_order_acquire) < HEAD_START_FRAMES) {
        ports.console.write(TOO_SLOW_TEXT);
        wait_until_rendered(rendered, ports.clock);
    }

    ports.console.write(START_PLAYBACK_TEXT);
    ports.device.play();

    // The under-run test looks at the position read one poll earlier: a device
    // that has got past the render has played unrendered frames as silence, so
    // hold it until the whole track is there; it then never catches up again.
    uint32_t position = 0;
    for (;;) {
        ports.clock.sleep_ms(POLL_MS);
        if (position > rendered.load(std::memory_order_acquire)) {
            ports.console.write(UNDERRUN_TEXT);
            ports.device.pause();
            wait_until_rendered(rendered, ports.clock);
            ports.device.restart();
        }
        position = ports.device.position();
        if (position >= TRACK_FRAMES) break;
        if (ports.key.pressed()) break;
    }
    return 0;
}

}  // namespace player
