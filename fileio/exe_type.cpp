#include "fileio/exe_type.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quern {

namespace {

// Offsets in the headers (all values little-endian).
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kDosNewHeaderOffset = 0x3C;  // e_lfanew
// From the "PE\0\0" signature: the file header's Characteristics, then the optional header's
// subsystem version and subsystem, which sit at the same place in PE32 and PE32+.
constexpr size_t kPeCharacteristics = 4 + 18;
constexpr size_t kPeMajorSubsystemVersion = 4 + 20 + 48;
constexpr size_t kPeMinorSubsystemVersion = 4 + 20 + 50;
constexpr size_t kPeSubsystem = 4 + 20 + 68;
constexpr size_t kPeNeededSize = kPeSubsystem + 2;
constexpr uint16_t kPeFileDll = 0x2000;
constexpr uint16_t kSubsystemWindowsGui = 2;
// From the "NE" signature: the target system and the expected Windows version (minor, major).
constexpr size_t kNeTargetOs = 0x36;
constexpr size_t kNeExpectedVersion = 0x3E;
constexpr size_t kNeNeededSize = kNeExpectedVersion + 2;
constexpr uint8_t kNeTargetWindows = 2;

constexpr size_t kNewHeaderReadSize = 120;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DoubleWord(const uint8_t* p) {
  return static_cast<uint32_t>(Word(p)) | static_cast<uint32_t>(Word(p + 2)) << 16;
}

uint32_t TypeOfNewHeader(const uint8_t* header, size_t size) {
  if (size >= kPeNeededSize && std::memcmp(header, "PE\0\0", 4) == 0) {
    if (Word(header + kPeCharacteristics) & kPeFileDll) return 0;
    if (Word(header + kPeSubsystem) != kSubsystemWindowsGui) return kExeTypePE;
    const uint32_t major = header[kPeMajorSubsystemVersion];
    const uint32_t minor = header[kPeMinorSubsystemVersion];
    return kExeTypePE | major << 24 | minor << 16;
  }
  if (size >= kNeNeededSize && header[0] == 'N' && header[1] == 'E') {
    if (header[kNeTargetOs] != kNeTargetWindows) return 0;
    return kExeTypeNE | static_cast<uint32_t>(Word(header + kNeExpectedVersion)) << 16;
  }
  return kExeTypeMZ;
}

}  // namespace

uint32_t ReadExeType(const ReadAtFunction& read) {
  std::array<uint8_t, kDosHeaderSize> dos{};
  const size_t dos_size = std::min(read(0, dos.data(), dos.size()), dos.size());
  if (dos_size < 2 || dos[0] != 'M' || dos[1] != 'Z') return 0;
  // A DOS header too short to hold e_lfanew can only be a DOS program.
  if (dos_size < kDosNewHeaderOffset + 4) return kExeTypeMZ;
  const uint32_t new_header_offset = DoubleWord(dos.data() + kDosNewHeaderOffset);
  std::array<uint8_t, kNewHeaderReadSize> header{};
  const size_t header_size =
      std::min(read(new_header_offset, header.data(), header.size()), header.size());
  return TypeOfNewHeader(header.data(), header_size);
}

uint32_t ExeTypeOfBytes(std::span<const uint8_t> bytes) {
  return ReadExeType([bytes](uint64_t offset, uint8_t* buffer, size_t size) -> size_t {
    if (offset >= bytes.size()) return 0;
    const size_t count = std::min<uint64_t>(size, bytes.size() - offset);
    std::memcpy(buffer, bytes.data() + offset, count);
    return count;
  });
}

}  // namespace quern
