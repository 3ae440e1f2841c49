// Every query a version block answers, run over one block by the PE and the version-block
// harnesses: the root ("\"), the translation list, and every standard string of every string
// table the block names (by its translations and by its own tables). Each value found must lie
// wholly inside the block, and the readers must agree with the queries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fileio/version_resource.h"
#include "fuzz/fuzz_support.h"
#include "support/ov_unicode.h"

namespace fuzz {

inline void CheckInside(std::span<const uint8_t> block, const quern::VersionValue& value) {
  const uint8_t* begin = block.data();
  const uint8_t* end = begin + block.size();
  FUZZ_CHECK(value.bytes.empty() ||
             (value.bytes.data() >= begin && value.bytes.data() + value.bytes.size() <= end));
}

inline std::optional<quern::VersionValue> Query(std::span<const uint8_t> block,
                                                const std::u16string& path) {
  std::optional<quern::VersionValue> value = quern::QueryVersionValue(block, path);
  if (value) {
    CheckInside(block, *value);
    quern::VersionValueText(*value);
  }
  return value;
}

inline std::u16string TranslationKey(const quern::Translation& translation) {
  char key[9];
  std::snprintf(key, sizeof(key), "%04X%04X", translation.language, translation.code_page);
  return support::Utf16FromUtf8(key);
}

inline void RunEveryQuery(std::span<const uint8_t> block) {
  static const char16_t* const kStandardNames[] = {
      u"Comments",     u"CompanyName",    u"FileDescription", u"FileVersion",
      u"InternalName", u"LegalCopyright", u"LegalTrademarks", u"OriginalFilename",
      u"PrivateBuild", u"ProductName",    u"ProductVersion",  u"SpecialBuild"};

  const std::optional<quern::VersionValue> root = Query(block, u"\\");
  const std::optional<quern::FixedFileInfo> fixed = quern::ReadFixedFileInfo(block);
  if (fixed) FUZZ_CHECK(root && root->bytes.size() == quern::kFixedFileInfoSize);

  const std::optional<quern::VersionValue> list = Query(block, u"\\VarFileInfo\\Translation");
  const std::vector<quern::Translation> translations = quern::ReadTranslations(block);
  FUZZ_CHECK(translations.size() == (list ? list->bytes.size() / 4 : 0));
  // Spellings the queries must treat alike: letter case and empty parts of the path.
  const std::optional<quern::VersionValue> again =
      Query(block, u"\\\\varfileinfo\\\\TRANSLATION\\");
  FUZZ_CHECK(again.has_value() == list.has_value());
  if (again) FUZZ_CHECK(again->bytes.data() == list->bytes.data());

  std::vector<std::u16string> tables;
  for (const quern::Translation& translation : translations) {
    tables.push_back(TranslationKey(translation));
  }
  const std::vector<quern::StringTable> read_tables = quern::ReadStringTables(block);
  for (const quern::StringTable& table : read_tables) tables.push_back(table.key);
  for (const std::u16string& table : tables) {
    for (const char16_t* name : kStandardNames) {
      Query(block, u"\\StringFileInfo\\" + table + u"\\" + name);
    }
  }
  // Texts end at their first NUL.
  for (const quern::StringTable& table : read_tables) {
    for (const auto& entry : table.strings) {
      FUZZ_CHECK(entry.second.find(u'\0') == std::u16string::npos);
    }
  }
}

}  // namespace fuzz
