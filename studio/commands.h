// The subcommands of lumenfrost, each a function from checked options to an
// exit status (0, 1 for a failure at run time). Argument errors throw UsageError.
#pragma once

#include <cstdint>
#include <string>

#include "studio/audio_file.h"
#include "studio/position.h"

namespace studio {

struct RenderOptions {
    Range range;
    Format format;
    std::string output;
    bool report = true;
    bool json = false;
};
int run_render(const RenderOptions& options);

struct StemsOptions {
    Range range;
    Format format;
    std::string dir;
};
int run_stems(const StemsOptions& options);

// Prints the report of `path`, whose first frame is track frame `start`.
int run_report(const std::string& path, uint32_t start, bool json);

int run_play(uint32_t from);

struct WatchOptions {
    std::string from;  // passed on to play or render as written
    bool play = true;
    std::string output;  // with --no-play
    std::string format;
};
int run_watch(const WatchOptions& options, const char* self_path);

// The first line every subcommand prints for a failure: "lumenfrost: ..." on stderr.
void print_error(const std::string& what);

}  // namespace studio
