// Hints about memory for big buffers that are about to be filled. A fresh page costs a fault
// when it is first touched; on a virtual machine that is about as much time as filling it, so
// results of hundreds of megabytes ask for fewer, larger pages and have them mapped in bulk.
// Only hints: where the system cannot follow them nothing happens, and the buffer works as
// any other.
#pragma once

#include <cstddef>

namespace platform {

// Asks for large pages (2 MiB) for [start, start + size), only where the system hands them
// out without stopping to make room for them; buffers under 4 MiB are left alone. Call it
// before the buffer is first touched. Windows: nothing (its large pages need a privilege
// that ordinary users lack and must be allocated as such).
void AdviseLargePages(const void* start, size_t size);

// Maps the whole pages of [start, start + size) now, in one call instead of a fault per page.
// Windows: nothing (committed memory is mapped by the first touch).
void MapPages(const void* start, size_t size);

// Both of the above for a buffer that is filled at once from start to end; buffers under
// 4 MiB are left alone.
void PrepareForFilling(const void* start, size_t size);

}  // namespace platform
