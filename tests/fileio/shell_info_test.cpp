// Shell information of a file: the executable type read from MZ/NE/PE headers, and
// orvShellFileInfo with its type names, icons and cached result objects.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "fileio/exe_type.h"

namespace quern {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& b, size_t at, uint16_t value) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(value);
  b[at + 1] = static_cast<uint8_t>(value >> 8);
}
void PutLong(Bytes& b, size_t at, uint32_t value) {
  PutWord(b, at, static_cast<uint16_t>(value));
  PutWord(b, at + 2, static_cast<uint16_t>(value >> 16));
}

// A DOS header with its stub; e_lfanew = `new_header`.
Bytes DosHeader(uint32_t new_header = 0x80) {
  Bytes b(0x80, 0);
  b[0] = 'M';
  b[1] = 'Z';
  PutLong(b, 0x3C, new_header);
  return b;
}

// An MZ file with a PE header at 0x80: PE32 (optional magic 0x10B) or PE32+ (0x20B).
Bytes PeFile(uint16_t subsystem, uint16_t major, uint16_t minor, bool pe32_plus = false,
             uint16_t characteristics = 0x0102) {
  Bytes b = DosHeader();
  const size_t pe = 0x80;
  b.resize(pe + 24 + (pe32_plus ? 240 : 224), 0);
  b[pe] = 'P';
  b[pe + 1] = 'E';
  PutWord(b, pe + 4, pe32_plus ? 0x8664 : 0x14C);
  PutWord(b, pe + 20, pe32_plus ? 240 : 224);
  PutWord(b, pe + 22, characteristics);
  const size_t optional = pe + 24;
  PutWord(b, optional, pe32_plus ? 0x20B : 0x10B);
  PutWord(b, optional + 48, major);
  PutWord(b, optional + 50, minor);
  PutWord(b, optional + 68, subsystem);
  return b;
}

Bytes NeFile(uint8_t target_os, uint8_t major, uint8_t minor) {
  Bytes b = DosHeader();
  b.resize(0x80 + 0x40, 0);
  b[0x80] = 'N';
  b[0x81] = 'E';
  b[0x80 + 0x36] = target_os;
  b[0x80 + 0x3E] = minor;
  b[0x80 + 0x3F] = major;
  return b;
}

uint32_t TypeOf(const Bytes& b) { return ExeTypeOfBytes(b); }
uint32_t TypeOf(const std::string& s) {
  return ExeTypeOfBytes(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

TEST(ExeTypeTest, WindowedPeGivesItsSubsystemVersion) {
  EXPECT_EQ(TypeOf(PeFile(2, 4, 0)), 0x04004550u);
  EXPECT_EQ(TypeOf(PeFile(2, 6, 1, /*pe32_plus=*/true)), 0x06014550u);
  EXPECT_EQ(TypeOf(PeFile(2, 10, 0, true)), 0x0A004550u);
}

TEST(ExeTypeTest, ConsoleAndOtherPeSubsystemsGivePeWithoutVersion) {
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0)), 0x4550u);
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0, true)), 0x4550u);
  EXPECT_EQ(TypeOf(PeFile(1, 6, 0)), 0x4550u);  // native
}

TEST(ExeTypeTest, PeLibraryIsNoProgram) {
  EXPECT_EQ(TypeOf(PeFile(2, 4, 0, false, 0x2102)), 0u);
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0, true, 0x2022)), 0u);
}

TEST(ExeTypeTest, WindowsNeGivesItsExpectedVersionOtherNeNothing) {
  EXPECT_EQ(TypeOf(NeFile(2, 3, 10)), 0x030A454Eu);
  EXPECT_EQ(TypeOf(NeFile(1, 1, 0)), 0u);  // OS/2
}

TEST(ExeTypeTest, PlainDosAndBrokenNewHeadersAreMz) {
  Bytes dos = DosHeader(0);  // e_lfanew 0 leads back to "MZ"
  EXPECT_EQ(TypeOf(dos), 0x5A4Du);
  EXPECT_EQ(TypeOf(DosHeader(0x7FFFFFF0)), 0x5A4Du);  // past the end
  EXPECT_EQ(TypeOf(DosHeader(0xFFFFFFFF)), 0x5A4Du);
  Bytes cut_pe = PeFile(2, 4, 0);
  cut_pe.resize(0x80 + 60);  // signature there, subsystem cut off
  EXPECT_EQ(TypeOf(cut_pe), 0x5A4Du);
  Bytes cut_ne = NeFile(2, 3, 10);
  cut_ne.resize(0x80 + 0x30);
  EXPECT_EQ(TypeOf(cut_ne), 0x5A4Du);
  EXPECT_EQ(TypeOf(std::string("MZ")), 0x5A4Du);  // too short for e_lfanew
  EXPECT_EQ(TypeOf(std::string("MZ\x90\0\x03\0", 6)), 0x5A4Du);
}

TEST(ExeTypeTest, NonExecutablesGiveZero) {
  EXPECT_EQ(TypeOf(std::string()), 0u);
  EXPECT_EQ(TypeOf(std::string("M")), 0u);
  EXPECT_EQ(TypeOf(std::string("Hello, world\n")), 0u);
  EXPECT_EQ(TypeOf(std::string("ZM\0\0", 4)), 0u);
  EXPECT_EQ(TypeOf(std::string("\x7F"
                               "ELF\x02\x01\x01",
                               7)),
            0u);
}

TEST(ExeTypeTest, ReadsOnlyTheHeaderPieces) {
  const Bytes file = PeFile(2, 5, 1);
  size_t reads = 0, largest = 0;
  const uint32_t type = ReadExeType([&](uint64_t offset, uint8_t* buffer, size_t size) {
    ++reads;
    largest = std::max(largest, size);
    if (offset >= file.size()) return size_t{0};
    const size_t count = std::min<size_t>(size, file.size() - offset);
    std::copy_n(file.begin() + static_cast<ptrdiff_t>(offset), count, buffer);
    return count;
  });
  EXPECT_EQ(type, 0x05014550u);
  EXPECT_LE(reads, 3u);
  EXPECT_LE(largest, 128u);
}

}  // namespace
}  // namespace quern
