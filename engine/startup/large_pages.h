// Large pages for the engine's static state.
//
// The units' state (about a hundred delay rings of half a megabyte each) lives
// in the program's zero-initialised static storage, some 60 MB. A frame
// touches a few hundred places spread over all of it, more 4 KiB pages than
// the processor's address cache holds, so on Linux start-up asks for that
// storage to be backed by 2 MiB pages before anything touches it.
//
// The track buffer, which shares that storage, keeps small pages: a frame
// writes 8 bytes of it, in order, so its pages cost the address cache nothing,
// and a fresh 2 MiB page can take far longer to come by than 512 small ones
// (on a virtual machine the host may have to find and clear it as well).
// Only where the memory comes from changes; no value does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lf {

// A range of whole pages; empty when begin == end.
struct StaticStorage {
    uintptr_t begin;  // first whole page
    uintptr_t end;    // end of the last whole page; equal to begin when unknown
};

// The whole pages of the program's zero-initialised static storage, as the
// linker marks it.
StaticStorage static_storage();

// The pages that hold any part of the track buffer (all of it, not only the
// frames of the track).
StaticStorage track_buffer_pages();

// Asks the system to back static_storage() with large pages, except for the
// track buffer's pages, which it asks to keep small. Returns the bytes given
// large pages, or 0 where that cannot be asked (another system, no such pages,
// no linker marks); the engine runs the same either way.
size_t advise_large_pages();

}  // namespace lf
