// Hints about memory.
#pragma once

#include <cstddef>

namespace platform {

// Maps the whole pages of [start, start + size) at once, before a buffer of hundreds of
// megabytes is filled: filling it page by page otherwise costs a fault for every 4 KiB, about
// as much time as the work itself. Only a hint (ignored where the system cannot do it); small
// buffers are left alone.
void PrepareForFilling(const void* start, size_t size);

}  // namespace platform
