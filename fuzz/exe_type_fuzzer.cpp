// The executable-type reader (MZ / NE / PE headers). For any bytes:
// - every read it asks for starts inside the file or right at its end, and asks for a small
//   piece (at most three reads);
// - the reader over bytes and the reader through reads agree;
// - the value is 0 or has one of the three signatures in its low word, a signature only comes
//   from a file that begins with "MZ", and the high word is 0 unless the format gives a version.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "fileio/exe_type.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const uint32_t type = quern::ExeTypeOfBytes(bytes);

  int reads = 0;
  const uint32_t through_reads =
      quern::ReadExeType([&](uint64_t offset, uint8_t* buffer, size_t count) -> size_t {
        ++reads;
        FUZZ_CHECK(count <= 4096);
        if (offset >= size) return 0;
        const size_t available = std::min<uint64_t>(count, size - offset);
        std::memcpy(buffer, data + offset, available);
        return available;
      });
  FUZZ_CHECK(through_reads == type);
  FUZZ_CHECK(reads <= 3);

  const uint16_t signature = static_cast<uint16_t>(type & 0xFFFF);
  const uint16_t version = static_cast<uint16_t>(type >> 16);
  FUZZ_CHECK(signature == 0 || signature == quern::kExeTypeMZ || signature == quern::kExeTypeNE ||
             signature == quern::kExeTypePE);
  if (type != 0) FUZZ_CHECK(size >= 2 && data[0] == 'M' && data[1] == 'Z');
  if (signature == quern::kExeTypeMZ || signature == 0) FUZZ_CHECK(version == 0);

  // The file cut at any length reads without trouble as well.
  if (size > 0) quern::ExeTypeOfBytes(bytes.first(data[size - 1] % size));
  return 0;
}
