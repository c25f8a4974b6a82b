// Large pages for the engine's static storage.
//
// The track buffer and the units' state (about a hundred delay rings of half a
// megabyte each) live in the program's zero-initialised static storage, some
// 125 MB. A frame touches a few hundred places spread over all of it, more
// 4 KiB pages than the processor's address cache holds, so on Linux start-up
// asks for that storage to be backed by 2 MiB pages before anything touches it.
// Only where the memory comes from changes; no value does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lf {

struct StaticStorage {
    uintptr_t begin;  // first whole page
    uintptr_t end;    // end of the last whole page; equal to begin when unknown
};

// The whole pages of the program's zero-initialised static storage, as the
// linker marks it.
StaticStorage static_storage();

// Asks the system to back static_storage() with large pages. Returns the bytes
// it was asked for, or 0 where that cannot be asked (another system, no such
// pages, no linker marks); the engine runs the same either way.
size_t advise_large_pages();

}  // namespace lf
