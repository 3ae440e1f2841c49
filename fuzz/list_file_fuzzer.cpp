// Both list-file readers, with their options taken from the first input bytes:
//   byte 0: bit 0 IsOem, bit 1 IgnoreBlanks, bit 2 TrimStrings, bits 3-4 the length of the
//           comment marker, bits 5-7 the text format ReadStandardListFile2 reads in (0 = the
//           detected one, as with the auto values);
//   then the comment marker's bytes (UTF-8), then the file's bytes.
//
// ReadStandardListFile (bytes split at CR LF or a CR alone) must give exactly the lines a plain
// splitter written here finds, less the blank and comment lines it is told to leave out;
// ReadStandardListFile2 (decoded text split at CR LF) must give pieces that, without options,
// join back with CR LF into the whole text. With any options: no blank at the ends of a trimmed
// item, no empty item when blanks are left out, and the keys "1", "2", ... in order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/collection.h"
#include "fileio/modStandardListFileSupport.h"
#include "fileio/text_format.h"
#include "fuzz/fuzz_support.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace {

struct Options {
  bool is_oem = false;
  bool ignore_blanks = false;
  bool trim_strings = false;
  std::u16string comment;
  quern::FileFormat format;
  bool detect = true;
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::vector<std::u16string> TextsOf(const automation::Collection& items) {
  std::vector<std::u16string> texts;
  for (const automation::Variant& item : items.Items()) texts.push_back(item.ToString());
  return texts;
}

// `blank_test_trims`: the byte reader leaves out lines of blanks, the text reader only empty
// pieces (a piece of blanks stays when it is not trimmed).
void CheckItems(const automation::Collection& items, const Options& options,
                bool blank_test_trims) {
  const std::vector<std::u16string> texts = TextsOf(items);
  FUZZ_CHECK(static_cast<size_t>(items.Count()) == texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::u16string& text = texts[i];
    if (options.trim_strings && !text.empty()) {
      FUZZ_CHECK(!IsBlank(text.front()) && !IsBlank(text.back()));
    }
    if (options.ignore_blanks) {
      FUZZ_CHECK(!(blank_test_trims ? quern::TrimBlanks(text) : text).empty());
    }
    // Every item is also found by its key, the position counted from 1.
    const std::u16string key = support::Utf16FromUtf8(std::to_string(i + 1));
    FUZZ_CHECK(items.Item(automation::Variant(key)).ToString() == text);
  }
}

// The lines of a list file, told apart with nothing but a loop over the bytes.
std::vector<std::string_view> PlainLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') continue;
    lines.push_back(bytes.substr(start, i - start));
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

std::string_view TrimBytes(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

void CheckByteReader(std::string_view bytes, const Options& options) {
  const auto items = quern::ParseStandardListText(bytes, options.is_oem, options.comment,
                                                  options.ignore_blanks, options.trim_strings);
  CheckItems(*items, options, true);
  std::vector<std::u16string> expected;
  for (const std::string_view line : PlainLines(bytes)) {
    const std::string_view trimmed = TrimBytes(line);
    if (options.ignore_blanks && trimmed.empty()) continue;
    if (!options.comment.empty() &&
        support::ovStrConvW(trimmed).starts_with(std::u16string_view(options.comment))) {
      continue;
    }
    const std::string_view item = options.trim_strings ? trimmed : line;
    expected.push_back(options.is_oem ? support::OemToText(item) : support::ovStrConvW(item));
  }
  FUZZ_CHECK(TextsOf(*items) == expected);
}

void CheckTextReader(const uint8_t* data, size_t size, const Options& options) {
  std::vector<uint8_t> bytes(data, data + size);
  const quern::FileFormat format =
      options.detect ? quern::DetectFileFormat(data, size) : options.format;
  std::u16string text;
  try {
    text = quern::DecodeText(bytes, format);
  } catch (const support::Error&) {
    return;  // inverted UTF-16 of an odd count: the text reader's own harness checks that case
  }
  const auto items =
      quern::ItemsOfListText(text, options.comment, options.ignore_blanks, options.trim_strings);
  CheckItems(*items, options, false);
  if (options.comment.empty() && !options.ignore_blanks && !options.trim_strings) {
    std::u16string joined;
    for (const std::u16string& piece : TextsOf(*items)) {
      joined += piece;
      joined += u"\r\n";
    }
    FUZZ_CHECK(joined.size() >= 2);  // always one piece at least
    joined.resize(joined.size() - 2);
    FUZZ_CHECK(joined == text);
  }
  for (const std::u16string& piece : TextsOf(*items)) {
    FUZZ_CHECK(piece.find(u"\r\n") == std::u16string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Options options;
  const uint8_t flags = data[0];
  options.is_oem = (flags & 1) != 0;
  options.ignore_blanks = (flags & 2) != 0;
  options.trim_strings = (flags & 4) != 0;
  size_t comment_size = (flags >> 3) & 3;
  static const quern::FileFormat kFormats[] = {
      {quern::feANSI, quern::fbNoBOM, quern::ibDontInvertBytes},
      {quern::feUTF8, quern::fbNoBOM, quern::ibDontInvertBytes},
      {quern::feUTF8, quern::fbBOM, quern::ibDontInvertBytes},
      {quern::feUTF16, quern::fbNoBOM, quern::ibDontInvertBytes},
      {quern::feUTF16, quern::fbBOM, quern::ibDontInvertBytes},
      {quern::feUTF16, quern::fbNoBOM, quern::ibInvertBytes},
      {quern::feUTF16, quern::fbBOM, quern::ibInvertBytes}};
  const size_t format = flags >> 5;
  options.detect = format == 0;
  if (format != 0) options.format = kFormats[format - 1];
  ++data;
  --size;
  if (comment_size > size) comment_size = size;
  options.comment = support::Utf16FromUtf8(fuzz::AsChars(data, comment_size));
  data += comment_size;
  size -= comment_size;

  CheckByteReader(fuzz::AsChars(data, size), options);
  CheckTextReader(data, size, options);
  return 0;
}
