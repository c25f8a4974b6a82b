#include "engine/startup/large_pages.h"

#include <algorithm>

#include "engine/frame/engine.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

// The linker's marks around the zero-initialised storage of an ELF program.
// Weak, so that a toolchain without them links and finds null here.
extern "C" {
extern char __bss_start[] __attribute__((weak));
extern char _end[] __attribute__((weak));
}

namespace lf {

namespace {

constexpr uintptr_t PAGE = 4096;

}  // namespace

StaticStorage static_storage() {
    const uintptr_t first = reinterpret_cast<uintptr_t>(__bss_start);
    const uintptr_t last = reinterpret_cast<uintptr_t>(_end);
    if (first == 0 || last <= first) return {0, 0};
    // The first page may share its start with initialised data: only whole
    // pages are advised.
    const uintptr_t begin = (first + PAGE - 1) & ~(PAGE - 1);
    const uintptr_t end = last & ~(PAGE - 1);
    if (end <= begin) return {begin, begin};
    return {begin, end};
}

StaticStorage track_buffer_pages() {
    const uintptr_t first = reinterpret_cast<uintptr_t>(TrackBuffer);
    const uintptr_t last = first + sizeof TrackBuffer;
    return {first & ~(PAGE - 1), (last + PAGE - 1) & ~(PAGE - 1)};
}

size_t advise_large_pages() {
#if defined(__linux__) && defined(MADV_HUGEPAGE) && defined(MADV_NOHUGEPAGE)
    const StaticStorage s = static_storage();
    if (s.end == s.begin) return 0;
    // The storage either side of the track buffer's pages (the buffer may lie
    // anywhere in it, or, built differently, outside it).
    const StaticStorage track = track_buffer_pages();
    const uintptr_t cut_begin = std::clamp(track.begin, s.begin, s.end);
    const uintptr_t cut_end = std::clamp(track.end, cut_begin, s.end);
    const StaticStorage large[2] = {{s.begin, cut_begin}, {cut_end, s.end}};
    size_t bytes = 0;
    for (const StaticStorage& part : large) {
        if (part.end == part.begin) continue;
        const size_t size = part.end - part.begin;
        if (madvise(reinterpret_cast<void*>(part.begin), size, MADV_HUGEPAGE) != 0) return 0;
        bytes += size;
    }
    // Where large pages are the system's default, the track buffer still asks
    // for small ones.
    if (cut_end > cut_begin) {
        madvise(reinterpret_cast<void*>(cut_begin), cut_end - cut_begin, MADV_NOHUGEPAGE);
    }
    return bytes;
#else
    return 0;
#endif
}

}  // namespace lf
