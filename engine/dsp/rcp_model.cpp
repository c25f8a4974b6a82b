// Naming a reciprocal estimate's family by what it returns.
#include "engine/dsp/rcp_model.h"

namespace lf {

const char* rcp_family_name(RcpFamily family) {
    switch (family) {
        case RcpFamily::intel:
            return "intel";
        case RcpFamily::amd_zen4:
            return "amd_zen4";
        case RcpFamily::none:
            break;
    }
    return "none";
}

inline namespace LF_ABI {

RcpFingerprint fingerprint_rcp(Vec4 (*estimate)(Vec4)) {
    bool intel = true, amd_zen4 = true;
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a over the result bits
    for (uint32_t m = 0; m < (1u << 23); m += 4) {
        const Int4 in = Int4::set(static_cast<int32_t>(0x3F800000u | m),
                                  static_cast<int32_t>(0x3F800000u | (m + 1)),
                                  static_cast<int32_t>(0x3F800000u | (m + 2)),
                                  static_cast<int32_t>(0x3F800000u | (m + 3)));
        const Vec4 x = from_bits(in);
        const Int4 r = bits(estimate(x));
        intel &= all_zero(r ^ bits(rcp_estimate_intel(x)));
        amd_zen4 &= all_zero(r ^ bits(rcp_estimate_amd_zen4(x)));
        for (int i = 0; i < 4; ++i) hash = (hash ^ r.ulane(i)) * 0x100000001b3ull;
    }
    const RcpFamily family = intel      ? RcpFamily::intel
                             : amd_zen4 ? RcpFamily::amd_zen4
                                        : RcpFamily::none;
    return {family, hash};
}

}  // namespace LF_ABI

RcpFamily rcp_build_family(uint64_t* fingerprint) {
    const RcpFingerprint f = fingerprint_rcp(rcp_estimate);
    if (fingerprint) *fingerprint = f.hash;
    return f.family;
}

}  // namespace lf
