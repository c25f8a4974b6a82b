// The score reader on arbitrary text: reading, checking against the
// arrangement and packing must end in problems or a packed score, never in a
// crash, a hang or undefined behaviour. The text is written to a file of its
// own because the reader follows includes relative to it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/score/score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_score_" + std::to_string(::getpid()) + ".score";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::vector<score::Problem> problems;
    score::Score s = score::score_read(path, problems);
    if (problems.empty()) score::score_check(s, problems);
    if (problems.empty()) (void)score::score_pack(s);
    return 0;
}
