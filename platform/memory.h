// Hints about memory.
#pragma once

#include <cstddef>

namespace platform {

// Asks for large pages for the whole-page part of [start, start + size) before it is first
// written: filling a buffer of hundreds of megabytes page by page otherwise costs a fault for
// every 4 KiB, as much time as the work itself. Only a hint; small buffers are left alone.
void AdviseLargePages(const void* start, size_t size);

}  // namespace platform
