#include "engine/data/bundle.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace lf::bundle {

namespace {

std::string format(const char* fmt, auto... args) {
    char text[512];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// The expected block types of a sample, one byte per block.
std::vector<uint8_t> expected_types(int sample) {
    std::vector<uint8_t> types;
    for (const BlockRun& run : PACKED_SAMPLE_LAYOUTS[sample - 1].runs) {
        types.insert(types.end(), run.count, run.type);
    }
    return types;
}

// Reads little-endian values from a byte string and remembers whether it ran out.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool short_read = false;

    bool has(size_t n) const { return bytes.size() - at >= n; }
    uint32_t u32() {
        if (!has(4)) {
            short_read = true;
            at = bytes.size();
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
        at += 4;
        return v;
    }
    template <typename T>
    void read(std::vector<T>& out, uint32_t count) {
        out.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            if constexpr (sizeof(T) == 1) {
                if (!has(1)) {
                    short_read = true;
                    out.resize(i);
                    return;
                }
                out[i] = static_cast<T>(bytes[at++]);
            } else {
                uint32_t v = u32();
                if (short_read) {
                    out.resize(i);
                    return;
                }
                out[i] = static_cast<T>(v);
            }
        }
    }
};

void check_note_times(const NoteList& list, const std::string& where, Findings& findings) {
    const std::vector<int32_t> starts = note_start_ticks(list);
    const std::vector<int32_t> ends = note_end_ticks(list);
    for (size_t i = 0; i < starts.size(); ++i) {
        if (i > 0 && starts[i] < starts[i - 1]) {
            findings.warnings.push_back(format("%s: note %zu starts at tick %d, before note %zu",
                                               where.c_str(), i, starts[i], i - 1));
            break;
        }
    }
    for (size_t i = 0; i < starts.size(); ++i) {
        if (starts[i] < 0 || starts[i] > TRACK_TICKS) {
            findings.warnings.push_back(format("%s: note %zu starts at tick %d, outside the track",
                                               where.c_str(), i, starts[i]));
            break;
        }
        if (ends[i] < starts[i]) {
            findings.warnings.push_back(format("%s: note %zu ends at tick %d, before its start",
                                               where.c_str(), i, ends[i]));
            break;
        }
    }
}

void check_curve_times(const Curve& curve, const std::string& where, Findings& findings) {
    for (size_t i = 1; i < curve.times.size(); ++i) {
        if (curve.times[i] < 0) {
            findings.warnings.push_back(
                format("%s: breakpoint %zu is %d ticks before the one "
                       "ahead of it",
                       where.c_str(), i, -curve.times[i]));
            break;
        }
    }
}

}  // namespace

std::string sample_path(const std::string& content_dir, int sample) {
    return content_dir + "/samples/sample" + std::to_string(sample) + ".bin";
}

std::string score_path(const std::string& content_dir) {
    return content_dir + "/score/score.bin";
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

void check_sample(int sample, const std::vector<uint8_t>& bytes, const std::string& name,
                  Findings& findings) {
    const PackedSampleLayout& layout = PACKED_SAMPLE_LAYOUTS[sample - 1];
    const uint32_t want_blocks = packed_block_count(layout);
    if (bytes.size() < 2) {
        findings.errors.push_back(
            format("%s: %zu bytes, too short for a packed sample (the "
                   "engine is built for %u bytes)",
                   name.c_str(), bytes.size(), layout.bytes));
        return;
    }
    const uint32_t blocks = (bytes[0] | (static_cast<uint32_t>(bytes[1]) << 8)) + 1u;
    if (blocks != want_blocks) {
        findings.errors.push_back(
            format("%s: %u blocks, the engine is built for %u", name.c_str(), blocks, want_blocks));
        return;
    }
    if (bytes.size() < 2 + blocks) {
        findings.errors.push_back(
            format("%s: %zu bytes end inside the block types (the engine "
                   "is built for %u bytes)",
                   name.c_str(), bytes.size(), layout.bytes));
        return;
    }
    const std::vector<uint8_t> want_types = expected_types(sample);
    for (uint32_t i = 0; i < blocks; ++i) {
        if (bytes[2 + i] != want_types[i]) {
            findings.errors.push_back(
                format("%s: block %u has type %u, the engine is built for "
                       "type %u there",
                       name.c_str(), i, bytes[2 + i], want_types[i]));
            return;
        }
    }
    if (bytes.size() != layout.bytes) {
        findings.errors.push_back(format(
            "%s: %zu bytes, the engine is built for %u (%u blocks, "
            "%u short)",
            name.c_str(), bytes.size(), layout.bytes, blocks, packed_short_block_count(layout)));
    }
}

void parse_score(const std::vector<uint8_t>& bytes, const std::string& name, Score& score,
                 Findings& findings) {
    Reader in{bytes};
    std::string place = "the first note list";
    score.note_lists.clear();
    score.curves.clear();
    for (int k = 0; k < PACKED_NOTE_LIST_COUNT && !in.short_read; ++k) {
        place = format("note list %d", k);
        const uint32_t count = in.u32();
        if (in.short_read) break;
        if (count != NOTE_LIST_LENGTHS[k]) {
            findings.errors.push_back(
                format("%s: note list %d has %u notes, the engine is built "
                       "for %u",
                       name.c_str(), k, count, NOTE_LIST_LENGTHS[k]));
            if (count > bytes.size()) return;  // not a count: reading on would be noise
        }
        NoteList& list = score.note_lists.emplace_back();
        in.read(list.notes, count);
        in.read(list.velocities, count);
        in.read(list.starts, count);
        in.read(list.durations, count);
        if (!in.short_read)
            check_note_times(list, format("%s: note list %d", name.c_str(), k), findings);
    }
    for (int c = 0; c < PACKED_CURVE_COUNT && !in.short_read; ++c) {
        place = format("curve %d", c);
        const uint32_t count = in.u32();
        if (in.short_read) break;
        if (count != CURVE_LENGTHS[c]) {
            findings.errors.push_back(
                format("%s: curve %d has %u breakpoints, the engine is "
                       "built for %u",
                       name.c_str(), c, count, CURVE_LENGTHS[c]));
            if (count > bytes.size()) return;
        }
        Curve& curve = score.curves.emplace_back();
        in.read(curve.times, count);
        in.read(curve.values, count);
        in.read(curve.shapes, count);
        if (!in.short_read)
            check_curve_times(curve, format("%s: curve %d", name.c_str(), c), findings);
    }
    if (in.short_read) {
        findings.errors.push_back(
            format("%s: %zu bytes end inside %s", name.c_str(), bytes.size(), place.c_str()));
    } else if (in.at != bytes.size()) {
        findings.errors.push_back(format("%s: %zu bytes left over after the last curve",
                                         name.c_str(), bytes.size() - in.at));
    }
}

void load_bundle(const std::string& content_dir, Bundle& bundle, Findings& findings) {
    std::string error;
    for (int n = 1; n <= PACKED_SAMPLE_COUNT; ++n) {
        const std::string path = sample_path(content_dir, n);
        if (!read_file(path, bundle.samples[n - 1], error)) {
            findings.errors.push_back(error);
            continue;
        }
        check_sample(n, bundle.samples[n - 1], path, findings);
    }
    std::vector<uint8_t> score_bytes;
    const std::string path = score_path(content_dir);
    if (!read_file(path, score_bytes, error)) {
        findings.errors.push_back(error);
        return;
    }
    parse_score(score_bytes, path, bundle.score, findings);
}

std::vector<int32_t> note_start_ticks(const NoteList& list) {
    std::vector<int32_t> ticks;
    uint32_t sum = 0;
    for (uint32_t v : list.starts) {
        sum += static_cast<uint32_t>(zigzag_decode(v));
        ticks.push_back(static_cast<int32_t>(sum));
    }
    return ticks;
}

std::vector<int32_t> note_end_ticks(const NoteList& list) {
    std::vector<int32_t> ticks = note_start_ticks(list);
    uint32_t sum = 0;
    for (size_t i = 0; i < ticks.size() && i < list.durations.size(); ++i) {
        sum += static_cast<uint32_t>(zigzag_decode(list.durations[i]));
        ticks[i] = static_cast<int32_t>(static_cast<uint32_t>(ticks[i]) + sum);
    }
    return ticks;
}

std::vector<int32_t> curve_time_ticks(const Curve& curve) {
    std::vector<int32_t> ticks;
    uint32_t sum = 0;
    for (int32_t v : curve.times) {
        sum += static_cast<uint32_t>(v);
        ticks.push_back(static_cast<int32_t>(sum));
    }
    return ticks;
}

}  // namespace lf::bundle
