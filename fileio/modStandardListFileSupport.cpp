#include "fileio/modStandardListFileSupport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/text_format.h"
#include "fileio/text_lines.h"
#include "platform/file_system.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The line without blanks at its ends. Blanks and tabs are the same bytes in every ANSI and OEM
// page (and in UTF-8), so the bytes are trimmed before they are decoded.
std::string_view TrimBytes(std::string_view line) {
  size_t first = 0, last = line.size();
  while (first < last && IsBlank(line[first])) ++first;
  while (last > first && IsBlank(line[last - 1])) --last;
  return line.substr(first, last - first);
}

// The pieces of `text` between CR LF pairs (and, see kLoneLfEndsLine, lone LFs); a CR alone
// does not split, and a final line end leaves an empty last piece.
std::vector<std::u16string> SplitAtCrLf(const std::u16string& text) {
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = kLoneLfEndsLine ? text.find(u'\n', start) : text.find(u"\r\n", start);
    if (end == std::u16string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    // With lone LFs as line ends every LF ends a piece, and a CR just before it is the first
    // half of a CR LF.
    const size_t cut = kLoneLfEndsLine && end > start && text[end - 1] == u'\r' ? end - 1 : end;
    pieces.push_back(text.substr(start, cut - start));
    start = end + (kLoneLfEndsLine ? 1 : 2);
  }
}

// Upper case in the user's locale, as the support library folds letters.
std::u16string Upper(std::u16string_view text) {
  return support::Utf16FromUtf8(support::UpperCase(support::Utf8FromUtf16(text)));
}

}  // namespace

std::u16string TrimBlanks(const std::u16string& text) {
  size_t first = 0, last = text.size();
  while (first < last && (text[first] == u' ' || text[first] == u'\t')) ++first;
  while (last > first && (text[last - 1] == u' ' || text[last - 1] == u'\t')) --last;
  return text.substr(first, last - first);
}

automation::Ref<automation::Collection> ParseStandardListFile(platform::FileSystem& files,
                                                              const std::u16string& FileName,
                                                              bool IsOem,
                                                              const std::u16string& CommentChar,
                                                              bool IgnoreBlanks, bool TrimStrings) {
  std::vector<uint8_t> bytes;
  const uint32_t code = platform::ReadWholeFile(files, support::NativeFileName(FileName), &bytes);
  if (code != 0) RaiseFileError(code);
  return ParseStandardListText(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), IsOem,
      CommentChar, IgnoreBlanks, TrimStrings);
}

automation::Ref<automation::Collection> ParseStandardListText(std::string_view text, bool IsOem,
                                                              const std::u16string& CommentChar,
                                                              bool IgnoreBlanks, bool TrimStrings) {
  auto items = automation::MakeObject<automation::Collection>();
  for (const std::string_view line : SplitLines(text, kLoneLfEndsLine)) {
    const std::string_view trimmed = TrimBytes(line);
    if (trimmed.empty() && IgnoreBlanks) continue;
    // The marker is text: the line is read in the ANSI page for the test, as the file is.
    if (!CommentChar.empty() &&
        std::u16string_view(support::ovStrConvW(trimmed)).starts_with(CommentChar)) {
      continue;
    }
    const std::string_view item = TrimStrings ? trimmed : line;
    items->Add(IsOem ? support::OemToText(item) : support::ovStrConvW(item),
               support::Utf16FromUtf8(std::to_string(items->Count() + 1)));
  }
  return items;
}

automation::Ref<automation::Collection> ItemsOfListText(const std::u16string& text,
                                                        const std::u16string& CommentChar,
                                                        bool IgnoreBlanks, bool TrimStrings) {
  auto items = automation::MakeObject<automation::Collection>();
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

}  // namespace quern
