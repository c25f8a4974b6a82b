// rcp_probe: measures this processor's reciprocal estimate against the models.
//
//   rcp_probe fingerprint          which family this processor is (2^23 inputs)
//   rcp_probe compare MODEL        the instruction against MODEL (intel or
//                                  amd_zen4) over all 2^32 inputs, in the default
//                                  floating-point mode and in the engine's
//   rcp_probe table NAME FILE      measures this processor's table (12 index
//                                  bits) and writes it as the C++ header FILE,
//                                  the array RCP_<NAME>_T; refuses if the
//                                  estimate is not of the models' shape
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/data/files.h"
#include "engine/dsp/rcp_model.h"

namespace {

using namespace lf;

int usage() {
    std::fprintf(stderr,
                 "usage: rcp_probe fingerprint\n"
                 "       rcp_probe compare intel|amd_zen4\n"
                 "       rcp_probe table NAME FILE\n");
    return 2;
}

uint32_t instruction_bits(uint32_t x) {
    return bits(rcp_instruction(from_bits(Int4(static_cast<int32_t>(x))))).ulane(0);
}

// Every input, four at a time; returns the count of differences and prints the first few.
uint64_t compare_all(RcpTable table) {
    uint64_t differences = 0;
    uint32_t x = 0;
    do {
        const Int4 in = Int4::set(static_cast<int32_t>(x), static_cast<int32_t>(x + 1),
                                  static_cast<int32_t>(x + 2), static_cast<int32_t>(x + 3));
        const Int4 diff =
            bits(rcp_instruction(from_bits(in))) ^ bits(rcp_model(from_bits(in), table));
        if (!all_zero(diff)) {
            for (uint32_t i = 0; i < 4; ++i) {
                if (diff.lane(static_cast<int>(i)) == 0) continue;
                if (++differences <= 5)
                    std::printf("  input %08" PRIx32 ": instruction %08" PRIx32 ", model %08" PRIx32
                                "\n",
                                x + i, instruction_bits(x + i), rcp_model_bits(x + i, table));
            }
        }
        x += 4;
    } while (x != 0);
    return differences;
}

// The processor's name and family as the kernel reports them, for the record.
std::string processor_name() {
    std::string name, family;
    if (FILE* f = std::fopen("/proc/cpuinfo", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f) && (name.empty() || family.empty())) {
            std::string l(line);
            const size_t colon = l.find(':');
            if (colon == std::string::npos) continue;
            std::string value = l.substr(colon + 1);
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front())))
                value.erase(0, 1);
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
                value.pop_back();
            if (name.empty() && l.rfind("model name", 0) == 0) name = value;
            if (family.empty() && l.rfind("cpu family", 0) == 0) family = value;
        }
        std::fclose(f);
    }
    if (name.empty()) return "an unnamed processor";
    return family.empty() ? name : name + " (family " + family + ")";
}

// The header, replacing FILE only once complete.
bool write_table_header(const char* path, const std::string& name, const uint16_t t[4096],
                        std::string& error) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string text = "// Made by `rcp_probe table " + name + " " + path + "` (tools/rcp) on " +
                       processor_name() +
                       ", from the\n"
                       "// processor's own reciprocal estimate: T[i] is the result's top 12 "
                       "mantissa bits for inputs whose\n"
                       "// top 12 mantissa bits are i (rcp_model.h gives the whole function).\n"
                       "#pragma once\n\n#include <cstdint>\n\nnamespace lf {\n\n"
                       "inline constexpr uint16_t RCP_" +
                       upper + "_T[4096] = {\n";
    for (int i = 0; i < 4096; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%s0x%03x,%s", i % 12 == 0 ? "    " : "", t[i],
                      i % 12 == 11 || i == 4095 ? "\n" : " ");
        text += entry;
    }
    text += "};\n\n}  // namespace lf\n";
    return lf::files::write_atomically(path, text, error);
}

int compare(const std::string& model) {
    RcpTable table;
    if (model == "intel")
        table = RCP_INTEL;
    else if (model == "amd_zen4")
        table = RCP_AMD_ZEN4;
    else
        return usage();
    uint64_t total = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) set_engine_fp_mode();
        const uint64_t d = compare_all(table);
        std::printf("%s mode: %" PRIu64 " of 2^32 inputs differ from the %s model\n",
                    pass == 0 ? "default" : "engine", d, model.c_str());
        total += d;
    }
    return total == 0 ? 0 : 1;
}

int fingerprint() {
    const RcpFingerprint f = fingerprint_rcp(rcp_instruction);
    std::printf("fingerprint %016" PRIx64 ": %s\n", f.hash, rcp_family_name(f.family));
    return 0;
}

int table(const std::string& name, const char* path) {
    uint16_t t[4096];
    // The shape: in [1, 2) every result lies in [0.5, 1), has no bit below the
    // 12th, and depends on the top 12 mantissa bits alone.
    for (uint32_t m = 0; m < (1u << 23); ++m) {
        const uint32_t r = instruction_bits(0x3F800000u | m);
        if ((r >> 23) != 126 || (r & 0x7FFu) != 0 ||
            ((m & 0x7FFu) != 0 && r != (0x3F000000u | uint32_t{t[m >> 11]} << 11))) {
            std::fprintf(stderr,
                         "rcp_probe: the estimate of %08" PRIx32 " is %08" PRIx32
                         ", not of the 12-bit table shape; no table written\n",
                         0x3F800000u | m, r);
            return 1;
        }
        t[m >> 11] = static_cast<uint16_t>((r >> 11) & 0xFFFu);
    }
    std::string error;
    if (!write_table_header(path, name, t, error)) {
        std::fprintf(stderr, "rcp_probe: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s\n", path);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "fingerprint") == 0) return fingerprint();
    if (argc == 3 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "table") == 0) return table(argv[2], argv[3]);
    return usage();
}
