// The whole-track hash: FNV-1a over the bytes of the rendered frames, and the
// file that stores one hash per reciprocal-estimate family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/frame/engine.h"

uint64_t hash_frames(const StereoFrame* frames, size_t count);

// Renders frames [0, count) into TrackBuffer (after engine_startup) and hashes them.
uint64_t render_and_hash(uint32_t count);

// The stored hash of `family` in the hash file ("family hash" lines, # comments),
// or an empty string where the file has none.
std::string stored_track_hash(const std::string& path, const std::string& family);

// Writes `hash` as the family's line of the file, keeping the other lines;
// the file is replaced whole through a temporary. False with errno set on
// failure.
bool store_track_hash(const std::string& path, const std::string& family, const std::string& hash);

// Sixteen lower-case hex digits.
std::string hash_text(uint64_t hash);
