// The reciprocal estimate's processor families, by name: what a front end or a
// test needs to know about the track a build renders, without the SIMD types.
#pragma once

namespace lf {

enum class RcpFamily { none, intel, amd_zen4 };

// "intel", "amd_zen4", or "none".
const char* rcp_family_name(RcpFamily family);

// The family this build renders: a model's own, or for the native build the
// running processor's, found by comparing it with each model (none where it
// matches no model).
RcpFamily rcp_build_family();

}  // namespace lf
