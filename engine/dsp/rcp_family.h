// The reciprocal estimate's processor families, by name: what a front end or a
// test needs to know about the track a build renders, without the SIMD types.
#pragma once

#include <cstdint>

namespace lf {

enum class RcpFamily { none, intel, amd_zen4 };

// "intel", "amd_zen4", or "none".
const char* rcp_family_name(RcpFamily family);

// The family this build renders: a model's own, or for the native build the
// running processor's, found by comparing it with each model (none where it
// matches no model). `fingerprint`, if given, receives the hash of the
// estimate's results over the binade [1, 2), which names an unknown family.
RcpFamily rcp_build_family(uint64_t* fingerprint = nullptr);

}  // namespace lf
