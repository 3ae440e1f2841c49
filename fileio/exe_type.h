// The executable type of a file, read from its MZ/NE/PE headers: the 32-bit value the shell's
// file-information query gives for its "executable type" question, so that ShellFileEXE shows
// the same Signature and versions as on Windows.
//
//   low word  "MZ", "NE" or "PE" (the two signature bytes, first one in the low byte)
//   high word the Windows version the program needs (major in the high byte), where the
//             format says one: a windowed PE (subsystem 2) gives its subsystem version, a
//             Windows NE its expected Windows version; everything else 0
//
// Values: a windowed PE -> "PE" + MajorSubsystemVersion.MinorSubsystemVersion; a console PE
// (and any other PE subsystem) -> "PE" with 0; a PE library (IMAGE_FILE_DLL) -> 0, since it is
// not a program; a Windows NE (target OS byte 2) -> "NE" + its expected version; another NE
// (OS/2, ...) -> 0; an MZ header whose e_lfanew leads to neither a whole PE nor a whole NE
// header (a plain DOS program, a pointer past the end, a cut-off header) -> "MZ" with 0;
// anything else (text, an empty file, fewer than two bytes) -> 0.
//
// Only content decides: Windows also answers "MZ" for any name ending in .com, .bat or .cmd,
// but on Linux a name says nothing about what the system would run, so the name is not looked at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace quern {

// Reads up to `size` bytes at `offset` of a file into `buffer`; returns how many it read (fewer
// at the end of the file, 0 past it or on an error).
using ReadAtFunction = std::function<size_t(uint64_t offset, uint8_t* buffer, size_t size)>;

// The executable type of the file `read` reaches. Reads at most three small pieces (the DOS
// header, then at most 120 bytes at e_lfanew); never reads anywhere else and never fails.
uint32_t ReadExeType(const ReadAtFunction& read);

// The same over the whole file (or its first bytes) in memory.
uint32_t ExeTypeOfBytes(std::span<const uint8_t> bytes);

// The signature words of the value.
inline constexpr uint16_t kExeTypeMZ = 0x5A4D;  // 'M' 'Z'
inline constexpr uint16_t kExeTypeNE = 0x454E;  // 'N' 'E'
inline constexpr uint16_t kExeTypePE = 0x4550;  // 'P' 'E'

}  // namespace quern
