// orvFSO's standard list files: ReadStandardListFile reads lines in the ANSI or OEM page through
// ParseStandardListFile; ReadStandardListFile2 reads any format through GetFile2 and splits the
// text at CR LF.
//
// ReadStandardListFile2 reports *lpSuccess false for every failure it swallows, including a
// decoding error raised after the bytes were read, so that success always means items.
#include <string>
#include <vector>

#include "fileio/modStandardListFileSupport.h"
#include "fileio/orvFSO.h"
#include "fileio/text_format.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

// The pieces of `text` between CR LF pairs; a CR or an LF alone does not split, and a final
// CR LF leaves an empty last piece.
std::vector<std::u16string> SplitAtCrLf(const std::u16string& text) {
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// Upper case in the user's locale, as the support library folds letters.
std::u16string Upper(std::u16string_view text) {
  return support::Utf16FromUtf8(support::UpperCase(support::Utf8FromUtf16(text)));
}

Ref<Collection> ItemsOfText(const std::u16string& text, const std::u16string& CommentChar,
                            bool IgnoreBlanks, bool TrimStrings) {
  auto items = automation::MakeObject<Collection>();
  const std::u16string marker = Upper(CommentChar);
  const size_t n = CommentChar.size();
  for (std::u16string& piece : SplitAtCrLf(text)) {
    if (TrimStrings) piece = TrimBlanks(piece);
    if (IgnoreBlanks && piece.empty()) continue;
    if (!marker.empty() && Upper(std::u16string_view(piece).substr(0, n)) == marker) continue;
    items->Add(piece, support::Utf16FromUtf8(std::to_string(items->Count() + 1)));
  }
  return items;
}

}  // namespace

Ref<Collection> orvFSO::ReadStandardListFile(const std::u16string& FileName,
                                             const std::u16string& CommentChar, bool IgnoreBlanks,
                                             bool TrimStrings, bool IsOem, bool RaiseErrors) {
  return UnderRaiseErrors(RaiseErrors, Ref<Collection>(), [&] {
    return ParseStandardListFile(FileName, IsOem, CommentChar, IgnoreBlanks, TrimStrings);
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
    Ref<Collection> result = ItemsOfText(text, CommentChar, IgnoreBlanks, TrimStrings);
    success = true;
    return result;
  });
  if (items == empty) success = false;
  if (lpSuccess != nullptr) *lpSuccess = success;
  return items;
}

}  // namespace quern
