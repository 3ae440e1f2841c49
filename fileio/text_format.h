// The encoding model of orvFSO's text files: the format triple, its detection from a file's
// first bytes, and the byte image of a text in a given format (and back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "fileio/enums.h"
#include "support/ov_error.h"

namespace quern {

struct FileFormat {
  FileEncodingConst encoding = feANSI;
  FileBOMConst bom = fbNoBOM;
  InvertBytesConst invert = ibDontInvertBytes;
};

// The format told by a byte-order mark among the first `count` bytes (at most three are looked
// at): FF FE is UTF-16, FE FF inverted UTF-16, EF BB BF UTF-8; anything else is ANSI without a
// mark.
FileFormat DetectFileFormat(const uint8_t* bytes, size_t count);

// The format a reading member works in: each value the caller gave wins, each auto value takes
// the `detected` one.
FileFormat Effective(const FileFormat& detected, FileEncodingConst encoding, FileBOMConst bom,
                     InvertBytesConst invert);

// The number of bytes of an array (0 for an array without elements).
int32_t ByteCount(const std::vector<uint8_t>& bytes);

// Swaps the two bytes of every pair in place. An odd count raises error 9 (source "orvFSO"):
// the last pair would reach past the end.
void SwapBytePairs(std::vector<uint8_t>& bytes);

// Raises error 5 (source "orvFSO") unless Encoding is 0..3, FileBOM 0..2 and InvertBytes 0..2,
// tested in that order.
void CheckFormatArguments(FileEncodingConst encoding, FileBOMConst bom, InvertBytesConst invert);

// The byte image of `text` in `format` (no auto values): ANSI without a mark; UTF-8 with
// EF BB BF when a mark is asked for; UTF-16 little-endian with U+FEFF when a mark is asked for,
// every pair swapped when inverted.
std::vector<uint8_t> EncodeText(const std::u16string& text, const FileFormat& format);

// The text of `bytes` read in `format` (no auto values). A mark asked for is dropped whatever
// the bytes are (three bytes of UTF-8, one character of UTF-16). Inverted UTF-16 of an odd
// count raises error 9; without inversion an odd last byte becomes U+FFFD, so that no byte of
// the file vanishes without a trace.
std::u16string DecodeText(std::vector<uint8_t>& bytes, const FileFormat& format);

// Shared by the orvFSO members: raises the run-time error of a failed file operation (the
// Windows error `code` mapped to 53, 76, 70 or 75), with its standard description and the
// source "orvFSO".
[[noreturn]] void RaiseFileError(uint32_t code);

// The RaiseErrors convention: runs `body`; a raised error (or memory running out, error 7)
// goes on to the caller when `raise_errors` is true, else the result is `failure`.
template <class Result, class Body>
Result UnderRaiseErrors(bool raise_errors, Result failure, Body body) {
  try {
    return body();
  } catch (const support::Error&) {
    if (raise_errors) throw;
  } catch (const std::bad_alloc&) {
    if (raise_errors) throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
  }
  return failure;
}

}  // namespace quern
