// orvFSO's standard list files: ReadStandardListFile reads lines in the ANSI or OEM page through
// ParseStandardListFile; ReadStandardListFile2 reads any format through GetFile2 and splits the
// text at CR LF.
//
// ReadStandardListFile2 reports *lpSuccess false for every failure it swallows, including a
// decoding error raised after the bytes were read, so that success always means items.
#include <string>

#include "fileio/modStandardListFileSupport.h"
#include "fileio/orvFSO.h"
#include "fileio/text_format.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
Ref<Collection> orvFSO::ReadStandardListFile(const std::u16string& FileName,
                                             const std::u16string& CommentChar, bool IgnoreBlanks,
                                             bool TrimStrings, bool IsOem, bool RaiseErrors) {
  return UnderRaiseErrors(RaiseErrors, Ref<Collection>(), [&] {
    return ParseStandardListFile(Files(), FileName, IsOem, CommentChar, IgnoreBlanks, TrimStrings);
  });
}

Ref<Collection> orvFSO::ReadStandardListFile2(
    const std::u16string& FileName, const std::u16string& CommentChar, bool IgnoreBlanks,
    bool TrimStrings, bool RaiseErrors, FileEncodingConst Encoding, FileBOMConst FileBOM,
    InvertBytesConst InvertBytes, FileEncodingConst* lpEncoding, FileBOMConst* lpFileBOM,
    InvertBytesConst* lpInvertBytes, bool* lpSuccess) {
  auto empty = automation::MakeObject<Collection>();
  if (lpSuccess != nullptr) *lpSuccess = false;  // also when an error goes on to the caller
  bool success = false;
  Ref<Collection> items = UnderRaiseErrors(RaiseErrors, empty, [&] {
    const std::u16string text = GetFile2(FileName, RaiseErrors, Encoding, FileBOM, InvertBytes,
                                         lpEncoding, lpFileBOM, lpInvertBytes, &success);
    if (!success) return empty;
    success = false;
    Ref<Collection> result = ItemsOfListText(text, CommentChar, IgnoreBlanks, TrimStrings);
    success = true;
    return result;
  });
  if (items == empty) success = false;
  if (lpSuccess != nullptr) *lpSuccess = success;
  return items;
}

}  // namespace quern
