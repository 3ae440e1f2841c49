#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

// Large pages (MADV_HUGEPAGE) were tried first: faster when the kernel has them at hand, but
// where memory is fragmented it stops to compact it, and a read of 200 MiB then took up to five
// times as long. Populating the page tables in one call is steadily fast.
void PrepareForFilling(const void* start, size_t size) {
  constexpr uintptr_t kMinimum = 4 * 1024 * 1024;
  constexpr uintptr_t kPage = 4096;
  if (size < kMinimum) return;
  const auto begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = (begin + size) & ~(kPage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}

}  // namespace platform
