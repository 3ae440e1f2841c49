// The version-block queries over any bytes taken as a version block (VS_VERSIONINFO tree):
// what a resource holds once the PE reader has found it. See version_queries.h for what must
// hold.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/version_queries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RunEveryQuery(std::span<const uint8_t>(data, size));
  return 0;
}
