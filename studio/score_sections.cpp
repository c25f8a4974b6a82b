// score_sections: the sections the score declares, as a C++ table the studio
// compiles in, so that it names the sections of the score its engine plays.
//   score_sections MAIN.score OUT.cpp
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "engine/data/files.h"
#include "tools/score/score.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: score_sections MAIN.score OUT.cpp\n");
        return 2;
    }
    std::vector<score::Problem> problems;
    score::Score s = score::score_read(argv[1], problems);
    if (!problems.empty()) {
        for (const score::Problem& p : problems)
            std::fprintf(stderr, "%s\n", score::format_problem(p).c_str());
        return 1;
    }
    std::ostringstream out;
    out << "// Written by score_sections from " << argv[1] << ".\n"
        << "#include \"studio/position.h\"\n\nnamespace studio {\n\n"
        << "const std::vector<Section>& score_sections() {\n"
        << "    static const std::vector<Section> sections = {\n";
    for (const score::Section& section : s.sections) {
        // A beat is 64 ticks and 14700 frames: a tick is 3675/16 frames.
        int64_t frame = static_cast<int64_t>(section.start) * 3675 / 16;
        if (frame < 0) frame = 0;
        out << "        {\"" << section.name << "\", " << frame << "u},\n";
    }
    out << "    };\n    return sections;\n}\n\n}  // namespace studio\n";
    std::string error;
    if (!lf::files::write_atomically(argv[2], out.str(), error)) {
        std::fprintf(stderr, "score_sections: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
