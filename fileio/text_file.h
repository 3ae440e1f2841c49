// Whole text files read and written in blocks: the bytes go through a buffer the processor's
// cache holds, and the text is decoded straight into the result (or encoded straight into the
// file), so that no copy of the whole contents is made on the way and each page of the result
// is written once.
#pragma once

#include <cstdint>
#include <string>

#include "fileio/text_format.h"

namespace platform {
class FileSystem;  // platform/file_system.h
}  // namespace platform

namespace quern {

struct TextFile {
  std::u16string text;
  FileFormat format;          // the effective format: each auto value replaced by the detected one
  bool odd_inverted = false;  // inverted UTF-16 of an odd byte count: text is empty
};

// Reads the file at the native `path` of `files` as GetFile2 defines it (text_format.h:
// DecodeText), the format detected from its first bytes. UTF-8 text, and ANSI text where the ANSI
// code page is UTF-8, is read twice: once to count the code units, so that the result is allocated
// once at its exact size, and once to decode. Raises the errors of a failed read (RaiseFileError),
// and error 7 for a file of more than 2147483647 bytes (a Byte() array could not hold it).
TextFile ReadTextFile(platform::FileSystem& files, const std::string& path,
                      FileEncodingConst encoding, FileBOMConst bom, InvertBytesConst invert);

// Replaces the file at the native `path` of `files` with `text` in `format` (no auto values) as
// platform::ReplaceWholeFile does, encoding it while it is written. Returns the Windows error
// code (0 on success).
uint32_t WriteTextFile(platform::FileSystem& files, const std::string& path,
                       const std::u16string& text, const FileFormat& format);

}  // namespace quern
