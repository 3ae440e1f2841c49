// The PE reader's search for the version resource, then every query over what it found.
// For any bytes:
// - the search over the bytes and the search through reads give the same block;
// - every read it asks for lies wholly inside the file, and there are few of them;
// - the block is at least one node header long and at most what a 16-bit length can count;
// - then every query of version_queries.h holds over the block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fileio/pe_image.h"
#include "fuzz/version_queries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  const std::optional<std::vector<uint8_t>> block = quern::FindVersionResource(file);

  int reads = 0;
  const std::optional<std::vector<uint8_t>> read_block = quern::FindVersionResource(
      size, [&](uint64_t offset, size_t count, std::vector<uint8_t>* out) {
        ++reads;
        FUZZ_CHECK(offset <= size && count <= size - offset);
        out->assign(data + offset, data + offset + count);
        return true;
      });
  FUZZ_CHECK(block == read_block);
  FUZZ_CHECK(reads <= 4096);

  if (!block) return 0;
  FUZZ_CHECK(block->size() >= 6 && block->size() <= quern::kMaxVersionBlock);
  fuzz::RunEveryQuery(*block);
  return 0;
}
