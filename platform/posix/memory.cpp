#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

void AdviseLargePages(const void* start, size_t size) {
  constexpr uintptr_t kLargePage = 2 * 1024 * 1024;
  if (size < 2 * kLargePage) return;
  const auto begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t last = (begin + size) & ~(kLargePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace platform
