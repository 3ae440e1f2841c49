// Big buffers on Linux. A fresh 4 KiB page costs a fault when it is first touched, and on a
// virtual machine each fault is dear (about 15 µs on some): a 200 MiB result is 51 200 of them,
// several times the work of filling it. Transparent huge pages bring that to 100 faults, but
// where the kernel must first compact memory to find them it stops the caller for as long as
// it takes, which made the same read up to five times slower. So huge pages are asked for only
// when they cannot stall:
// - the kernel offers them for advised memory (enabled is [always] or [madvise]);
// - and either its defrag setting never compacts in the caller ([defer] or [never]: a fault
//   that finds no huge page takes a small one at once), or /proc/buddyinfo shows enough free
//   blocks of 2 MiB or more for the whole buffer, so none has to be made.
// Otherwise the small pages are mapped in one MADV_POPULATE_WRITE call, which is steadily
// faster than a fault per page. Every failure (an older kernel, no /proc, no /sys) just leaves
// the buffer to the ordinary faults.
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

constexpr size_t kMinimum = 4 * 1024 * 1024;
constexpr uintptr_t kPage = 4096;
constexpr uintptr_t kHugePage = 2 * 1024 * 1024;
constexpr int kHugeOrder = 9;  // 2 MiB = 2^9 pages of 4 KiB
// Free 2 MiB blocks left over beyond the buffer's own, so that the kernel's reserve and whoever
// allocates at the same moment do not send it to compaction after all.
constexpr uint64_t kMarginBlocks = 32;

// The word in [brackets] of a /sys/kernel/mm/transparent_hugepage setting, "" when unreadable.
std::string_view SelectedSetting(const char* path, char* buffer, size_t size) {
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return {};
  const size_t got = std::fread(buffer, 1, size - 1, file);
  std::fclose(file);
  buffer[got] = '\0';
  const char* open = std::strchr(buffer, '[');
  const char* close = open != nullptr ? std::strchr(open, ']') : nullptr;
  if (close == nullptr) return {};
  return std::string_view(open + 1, static_cast<size_t>(close - open - 1));
}

enum class HugePages { kNever, kWithoutStall, kIfFree };

// Read once: the settings belong to the machine and change only by an administrator's hand.
HugePages HugePagePolicy() {
  static const HugePages policy = [] {
    char buffer[256];
    const std::string_view enabled =
        SelectedSetting("/sys/kernel/mm/transparent_hugepage/enabled", buffer, sizeof(buffer));
    if (enabled != "always" && enabled != "madvise") return HugePages::kNever;
    const std::string_view defrag =
        SelectedSetting("/sys/kernel/mm/transparent_hugepage/defrag", buffer, sizeof(buffer));
    if (defrag == "defer" || defrag == "never") return HugePages::kWithoutStall;
    if (defrag.empty()) return HugePages::kNever;
    return HugePages::kIfFree;  // always, madvise, defer+madvise: advised memory may compact
  }();
  return policy;
}

// The number of free blocks of 2 MiB or more in every zone, in 2 MiB units (0 when unknown).
// Read at each call: it changes from one moment to the next.
uint64_t FreeHugeBlocks() {
  std::FILE* file = std::fopen("/proc/buddyinfo", "re");
  if (file == nullptr) return 0;
  uint64_t blocks = 0;
  char line[512];
  while (std::fgets(line, sizeof(line), file) != nullptr) {
    // "Node 0, zone   Normal  68124  50817 ...": one count per order from 0 on.
    const char* counts = std::strstr(line, "zone");
    if (counts == nullptr) continue;
    counts += 4;
    while (*counts == ' ') ++counts;
    while (*counts != ' ' && *counts != '\0') ++counts;  // the zone's name
    int order = 0;
    char* end = nullptr;
    for (unsigned long long count = std::strtoull(counts, &end, 10); end != counts;
         counts = end, count = std::strtoull(counts, &end, 10), ++order) {
      if (order >= kHugeOrder) blocks += count << (order - kHugeOrder);
    }
  }
  std::fclose(file);
  return blocks;
}

}  // namespace

void AdviseLargePages(const void* start, size_t size) {
  if (size < kMinimum) return;
  // Only whole 2 MiB blocks inside the buffer can be huge pages; the ends stay small.
  const auto begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (last <= first) return;
  const HugePages policy = HugePagePolicy();
  if (policy == HugePages::kWithoutStall ||
      (policy == HugePages::kIfFree &&
       FreeHugeBlocks() >= (last - first) / kHugePage + kMarginBlocks)) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

void MapPages(const void* start, size_t size) {
  const auto begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = (begin + size) & ~(kPage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}

void PrepareForFilling(const void* start, size_t size) {
  if (size < kMinimum) return;
  AdviseLargePages(start, size);
  MapPages(start, size);
}

}  // namespace platform
