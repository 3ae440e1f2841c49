// Text conversions of the support library. Text is UTF-16 (std::u16string, like the automation
// string); bytes are std::string.
//
// Choices for what cannot be represented (the same everywhere):
// - Decoding UTF-8: each invalid sequence becomes U+FFFD, one per maximal invalid subpart (as
//   the Unicode standard recommends and Windows does); nothing is dropped silently.
// - Encoding to UTF-8: a lone surrogate becomes U+FFFD (EF BF BD).
// - Code pages other than UTF-8: a character the page lacks becomes "?".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// Text <-> UTF-8 bytes (exact round trip for every valid text).
std::string ovUNICODEToUTF8(std::u16string_view text);
std::u16string ovUTF8ToUNICODE(std::string_view bytes);
// The UTF-8 bytes of `text` after `front` zero bytes (room for a mark), made in place: whole
// files are built this way without a second copy.
std::vector<uint8_t> Utf8BytesAfter(size_t front, std::u16string_view text);

// Whole files go through in pieces, so that no copy of the whole text is made on the way.
// DecodeUtf8Piece decodes `bytes` into `out` (room for bytes.size() units) exactly as
// ovUTF8ToUNICODE decodes them inside a longer text: unless `last`, it stops before a
// character that the next piece could still complete (at most three bytes are left over, and
// they begin the next piece). Returns the number of bytes used; *units receives the number of
// units written. CountUtf8Piece is the same without writing anything.
size_t DecodeUtf8Piece(std::string_view bytes, bool last, char16_t* out, size_t* units);
size_t CountUtf8Piece(std::string_view bytes, bool last, size_t* units);
// Encodes `text` as ovUNICODEToUTF8 does into `out` (room for three bytes per unit); unless
// `last`, a high surrogate at the end is left for the next piece, which may hold its partner.
// Returns the number of units used; *size receives the number of bytes written.
size_t EncodeUtf8Piece(std::u16string_view text, bool last, char* out, size_t* size);

// Text <-> bytes in the ANSI code page (platform::AnsiIsUtf8 and friends).
std::string ovStrConvB(std::u16string_view text);
std::u16string ovStrConvW(std::string_view bytes);

// Text <-> bytes in the OEM code page.
std::string TextToOem(std::u16string_view text);
std::u16string OemToText(std::string_view bytes);

// File names. A native name is bytes (on Windows always UTF-8, which the Win32 backend takes);
// the name a client sees is text. Bytes that do not decode in the ANSI code page are carried as the lone surrogates U+DC80..U+DCFF (one per byte) and
// turned back into the same bytes, so every name on disk survives the round trip.
std::string NativeFileName(std::u16string_view name);
// Whether `name` can be a file name at all: no system's file name holds a NUL, and the C
// interfaces would cut the name short at one and act on another file. Every member that takes
// a name refuses one that fails this, as the platform's by-path operations refuse it
// (kInvalidName), including the members that only look a name up or store it.
inline bool IsPossibleFileName(std::u16string_view name) {
  return name.find(u'\0') == std::u16string_view::npos;
}
std::u16string FileNameFromNative(std::string_view native);

// UTF-8 (the program's own strings) <-> text.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace support
