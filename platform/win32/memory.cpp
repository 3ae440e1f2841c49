// Windows commits the pages of a large allocation lazily too, but faults them in cheaply
// enough that no hint is needed.
#include "platform/memory.h"

namespace platform {

// Large pages need SeLockMemoryPrivilege and an allocation made for them (VirtualAlloc with
// MEM_LARGE_PAGES): a buffer already allocated cannot be given them, so there is nothing to ask.
void AdviseLargePages(const void*, size_t) {}
void MapPages(const void*, size_t) {}
void PrepareForFilling(const void*, size_t) {}

}  // namespace platform
