#include "engine/startup/large_pages.h"

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

size_t advise_large_pages() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const StaticStorage s = static_storage();
    const size_t bytes = s.end - s.begin;
    if (bytes == 0) return 0;
    if (madvise(reinterpret_cast<void*>(s.begin), bytes, MADV_HUGEPAGE) != 0) return 0;
    return bytes;
#else
    return 0;
#endif
}

}  // namespace lf
