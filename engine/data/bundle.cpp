#include "engine/data/bundle.h"

#include <algorithm>
#include <cstdio>

#include "engine/data/files.h"
#include "tools/score/arrangement.h"

namespace lf::bundle {

namespace {

std::string format(const char* fmt, auto... args) {
    char text[512];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
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

// The running sums of a note list in 64 bits, so that a corrupted stream
// shows as a value out of range rather than wrapping into a plausible one.
void check_notes(const NoteList& list, const std::string& where, Findings& findings) {
    int64_t note = 0, velocity = 0, start = 0, duration = 0;
    for (size_t i = 0; i < list.notes.size(); ++i) {
        const int64_t previous_start = start;
        note += zigzag_decode(list.notes[i]);
        velocity += zigzag_decode(list.velocities[i]);
        start += zigzag_decode(list.starts[i]);
        duration += zigzag_decode(list.durations[i]);
        const char* fault = nullptr;
        int64_t value = 0;
        if (note < 0 || note > MAX_NOTE) {
            fault = "has note number %lld, outside 0..127", value = note;
        } else if (velocity < 0 || velocity > MAX_VELOCITY) {
            fault = "has velocity %lld, outside 0..127", value = velocity;
        } else if (start < 0 || start > TRACK_TICKS) {
            fault = "starts at tick %lld, outside the track (0..26528)", value = start;
        } else if (i > 0 && start < previous_start) {
            fault = "starts at tick %lld, before the note ahead of it", value = start;
        } else if (duration < 0 || duration > TRACK_TICKS) {
            fault = "lasts %lld ticks, outside 0..26528", value = duration;
        }
        if (fault) {
            findings.errors.push_back(format(("%s: note %zu " + std::string(fault)).c_str(),
                                             where.c_str(), i, static_cast<long long>(value)));
            return;
        }
    }
}

// Times in 64 bits, values and shapes against what the engine reads.
void check_curve(int c, const Curve& curve, const std::string& where, Findings& findings) {
    const int64_t low = score::engine_value_low(c);
    const int64_t high = score::engine_value_high(c);
    int64_t time = 0;
    for (size_t i = 0; i < curve.times.size(); ++i) {
        time += curve.times[i];
        if (i > 0 && curve.times[i] < 0) {
            // Negated in 64 bits: the most negative step has no 32-bit opposite.
            findings.errors.push_back(
                format("%s: breakpoint %zu is %lld ticks before the one ahead of it", where.c_str(),
                       i, -static_cast<long long>(curve.times[i])));
            return;
        }
        if (time < -TRACK_TICKS || time > TRACK_TICKS) {
            findings.errors.push_back(
                format("%s: breakpoint %zu at tick %lld, outside -26528..26528", where.c_str(), i,
                       static_cast<long long>(time)));
            return;
        }
        if (curve.values[i] < low || curve.values[i] > high) {
            findings.errors.push_back(
                format("%s: breakpoint %zu has value %d/128, outside %lld..%lld", where.c_str(), i,
                       curve.values[i], static_cast<long long>(low), static_cast<long long>(high)));
            return;
        }
        if (curve.shapes[i] < -MAX_SHAPE || curve.shapes[i] > MAX_SHAPE) {
            findings.errors.push_back(
                format("%s: breakpoint %zu has shape %d/128, outside -128..128", where.c_str(), i,
                       curve.shapes[i]));
            return;
        }
    }
}

// The running band gains of a sample of the right layout, against MAX_GAIN.
void check_gains(const std::vector<uint8_t>& bytes, uint32_t blocks, const std::string& name,
                 Findings& findings) {
    size_t at = 2 + blocks + size_t{CODED_BYTES_PER_BLOCK} * blocks;
    uint8_t gain[GAIN_BYTES_PER_WINDOW] = {};
    for (uint32_t i = 0; i < blocks; ++i) {
        const int windows = bytes[2 + i] == SHORT_BLOCK_TYPE ? 8 : 1;
        for (int j = 0; j < windows; ++j) {
            for (uint32_t k = 0; k < GAIN_BYTES_PER_WINDOW; ++k) {
                gain[k] = static_cast<uint8_t>(gain[k] + bytes[at++]);
                if (gain[k] > MAX_GAIN) {
                    findings.errors.push_back(
                        format("%s: block %u, window %d, band %u: gain %u is above %u (the decoded "
                               "sample would leave the range of a float)",
                               name.c_str(), i, j, k, gain[k], MAX_GAIN));
                    return;
                }
            }
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
    return files::read_input(path, MAX_FILE_BYTES, bytes, error);
}

PackedSampleLayout sample_layout(const std::vector<uint8_t>& bytes) {
    PackedSampleLayout layout{static_cast<uint32_t>(bytes.size()), 0, 0};
    if (bytes.size() < 2) return layout;
    layout.blocks = (bytes[0] | (static_cast<uint32_t>(bytes[1]) << 8)) + 1u;
    for (uint32_t i = 0; i < layout.blocks && 2 + i < bytes.size(); ++i) {
        layout.short_blocks += bytes[2 + i] == SHORT_BLOCK_TYPE;
    }
    return layout;
}

void check_sample(const std::vector<uint8_t>& bytes, const std::string& name, Findings& findings) {
    if (bytes.size() < 2) {
        findings.errors.push_back(
            format("%s: %zu bytes, too short for a packed sample (a block count of 2 bytes "
                   "comes first)",
                   name.c_str(), bytes.size()));
        return;
    }
    const PackedSampleLayout layout = sample_layout(bytes);
    const uint32_t blocks = layout.blocks;
    if (blocks > MAX_SAMPLE_BLOCKS) {
        findings.errors.push_back(
            format("%s: %u blocks, more than the engine's %u (%u floats "
                   "decoded)",
                   name.c_str(), blocks, MAX_SAMPLE_BLOCKS, MAX_DECODED_SAMPLE_LENGTH));
        return;
    }
    if (bytes.size() < 2 + blocks) {
        findings.errors.push_back(format("%s: %zu bytes end inside the %u block types",
                                         name.c_str(), bytes.size(), blocks));
        return;
    }
    for (uint32_t i = 0; i < blocks; ++i) {
        if (bytes[2 + i] >= BLOCK_TYPE_COUNT) {
            findings.errors.push_back(
                format("%s: block %u has type %u, not one of 0..3", name.c_str(), i, bytes[2 + i]));
            return;
        }
    }
    const uint32_t want = packed_sample_bytes(blocks, layout.short_blocks);
    if (bytes.size() != want) {
        findings.errors.push_back(format("%s: %zu bytes, its %u blocks (%u short) take %u",
                                         name.c_str(), bytes.size(), blocks, layout.short_blocks,
                                         want));
        return;
    }
    check_gains(bytes, blocks, name, findings);
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
        if (count > MAX_NOTES_PER_LIST) {
            findings.errors.push_back(
                format("%s: note list %d has %u notes, more than the "
                       "engine's %u",
                       name.c_str(), k, count, MAX_NOTES_PER_LIST));
            if (count > bytes.size()) return;  // not a count: reading on would be noise
        }
        NoteList& list = score.note_lists.emplace_back();
        in.read(list.notes, count);
        in.read(list.velocities, count);
        in.read(list.starts, count);
        in.read(list.durations, count);
        if (!in.short_read)
            check_notes(list, format("%s: note list %d", name.c_str(), k), findings);
    }
    for (int c = 0; c < PACKED_CURVE_COUNT && !in.short_read; ++c) {
        place = format("curve %d", c);
        const uint32_t count = in.u32();
        if (in.short_read) break;
        if (count < 1 || count > MAX_BREAKPOINTS_PER_CURVE) {
            // The engine holds a curve's last breakpoint: it needs one.
            findings.errors.push_back(
                format("%s: curve %d has %u breakpoints, the engine takes "
                       "1..%u",
                       name.c_str(), c, count, MAX_BREAKPOINTS_PER_CURVE));
            if (count > bytes.size()) return;
        }
        Curve& curve = score.curves.emplace_back();
        in.read(curve.times, count);
        in.read(curve.values, count);
        in.read(curve.shapes, count);
        if (!in.short_read)
            check_curve(c, curve, format("%s: curve %d", name.c_str(), c), findings);
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
        check_sample(bundle.samples[n - 1], path, findings);
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
