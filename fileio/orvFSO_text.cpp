// orvFSO's text files. GetFile2 and PutFile2 convert whole files in blocks on their way
// (text_file.h); the other members turn text into a byte image and hand it to a binary member
// (text_format.h holds the model).
//
// GetFile2 reports success only once the text is decoded: a failure while decoding (error 9 of
// an odd inverted UTF-16 file) leaves *lpSuccess false, so a caller that ignores the error
// never takes an empty text for the file's contents.
#include <cstdint>
#include <string>
#include <vector>

#include "fileio/orvFSO.h"
#include "fileio/text_file.h"
#include "fileio/text_format.h"
#include "platform/file_system.h"
#include "support/ov_error.h"
#include "support/ov_paths.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

// Auto values of the writing members: ANSI, with a mark, natural byte order.
FileFormat WritingFormat(FileEncodingConst encoding, FileBOMConst bom, InvertBytesConst invert) {
  return {encoding == feAuto ? feANSI : encoding, bom == fbAuto ? fbBOM : bom,
          invert == ibAuto ? ibDontInvertBytes : invert};
}

void Report(const FileFormat& format, FileEncodingConst* lpEncoding, FileBOMConst* lpFileBOM,
            InvertBytesConst* lpInvertBytes) {
  if (lpEncoding != nullptr) *lpEncoding = format.encoding;
  if (lpFileBOM != nullptr) *lpFileBOM = format.bom;
  if (lpInvertBytes != nullptr) *lpInvertBytes = format.invert;
}

}  // namespace

bool orvFSO::PutFile2(const std::u16string& FileName, const std::u16string& Data, bool RaiseErrors,
                      FileEncodingConst Encoding, FileBOMConst FileBOM,
                      InvertBytesConst InvertBytes) {
  CheckFormatArguments(Encoding, FileBOM, InvertBytes);
  return UnderRaiseErrors(RaiseErrors, false, [&] {
    const uint32_t code = WriteTextFile(Files(), support::NativeFileName(FileName), Data,
                                        WritingFormat(Encoding, FileBOM, InvertBytes));
    if (code != 0) RaiseFileError(code);
    return true;
  });
}

bool orvFSO::GetFileFormat2(const std::u16string& FileName, bool RaiseErrors,
                            FileEncodingConst* lpEncoding, FileBOMConst* lpFileBOM,
                            InvertBytesConst* lpInvertBytes) {
  return UnderRaiseErrors(RaiseErrors, false, [&] {
    const std::string path = support::NativeFileName(FileName);
    if (!IsFileThere(path)) {
      throw support::MakeError(support::errnum::kFileNotFound, "orvFSO");
    }
    std::vector<uint8_t> start;
    uint64_t size = 0;
    const uint32_t code = platform::ReadFileStart(Files(), path, 3, &start, &size);
    if (code != 0) RaiseFileError(code);
    // A file of one byte is not looked at: no mark is that short.
    const size_t count = size > 1 ? start.size() : 0;
    Report(DetectFileFormat(start.data(), count), lpEncoding, lpFileBOM, lpInvertBytes);
    return true;
  });
}

uint8_t orvFSO::OverwriteFile2(const std::u16string& FileName, const std::u16string& Data,
                               bool RaiseErrors, FileEncodingConst Encoding, FileBOMConst FileBOM,
                               InvertBytesConst InvertBytes) {
  CheckFormatArguments(Encoding, FileBOM, InvertBytes);
  const std::vector<uint8_t> bytes =
      EncodeText(Data, WritingFormat(Encoding, FileBOM, InvertBytes));
  // The low byte of a Boolean: True has every bit set.
  return OverwriteFileB(FileName, bytes, RaiseErrors) ? 255 : 0;
}

bool orvFSO::AppendFile2(const std::u16string& FileName, const std::u16string& Data,
                         bool RaiseErrors, FileEncodingConst Encoding, FileBOMConst FileBOM,
                         InvertBytesConst InvertBytes, FileEncodingConst* lpEncoding,
                         FileBOMConst* lpFileBOM, InvertBytesConst* lpInvertBytes) {
  CheckFormatArguments(Encoding, FileBOM, InvertBytes);
  FileFormat format;
  const std::string path = support::NativeFileName(FileName);
  if (IsFileThere(path)) {
    FileEncodingConst encoding = lpEncoding != nullptr ? *lpEncoding : feAuto;
    FileBOMConst bom = lpFileBOM != nullptr ? *lpFileBOM : fbAuto;
    InvertBytesConst invert = lpInvertBytes != nullptr ? *lpInvertBytes : ibAuto;
    if (!GetFileFormat2(FileName, RaiseErrors, &encoding, &bom, &invert)) return false;
    format = Effective({encoding, bom, invert}, Encoding, FileBOM, InvertBytes);
    Report(format, lpEncoding, lpFileBOM, lpInvertBytes);
    // No mark in the middle of a file; the caller is still told the file's own mark.
    uint64_t size = 0;
    const bool sized = UnderRaiseErrors(RaiseErrors, false, [&] {
      const uint32_t code = platform::GetFileSize(Files(), path, &size);
      if (code != 0) RaiseFileError(code);
      return true;
    });
    if (!sized) return false;
    if (size > 0) format.bom = fbNoBOM;
  } else {
    format = WritingFormat(Encoding, FileBOM, InvertBytes);
    Report(format, lpEncoding, lpFileBOM, lpInvertBytes);
  }
  return AppendFileB(FileName, EncodeText(Data, format), RaiseErrors);
}

std::u16string orvFSO::GetFile2(const std::u16string& FileName, bool RaiseErrors,
                                FileEncodingConst Encoding, FileBOMConst FileBOM,
                                InvertBytesConst InvertBytes, FileEncodingConst* lpEncoding,
                                FileBOMConst* lpFileBOM, InvertBytesConst* lpInvertBytes,
                                bool* lpSuccess) {
  if (lpSuccess != nullptr) *lpSuccess = false;
  CheckFormatArguments(Encoding, FileBOM, InvertBytes);
  bool read = false;
  TextFile file = UnderRaiseErrors(RaiseErrors, TextFile{}, [&] {
    const std::string path = support::NativeFileName(FileName);
    if (!IsFileThere(path)) {
      throw support::MakeError(support::errnum::kFileNotFound, "orvFSO");
    }
    TextFile result = ReadTextFile(Files(), path, Encoding, FileBOM, InvertBytes);
    read = true;
    return result;
  });
  if (!read) return {};
  Report(file.format, lpEncoding, lpFileBOM, lpInvertBytes);
  if (file.odd_inverted) {
    throw support::MakeError(support::errnum::kSubscriptOutOfRange, "orvFSO");
  }
  if (lpSuccess != nullptr) *lpSuccess = true;
  return std::move(file.text);
}

orvFSO::orvFSO() = default;

}  // namespace quern
