// orvFileVersion.
//
// Decisions of this implementation:
// - The version block is read from the file with a few positioned reads (headers, section
//   table, resource directory, the resource itself), never the whole file, so the time does not
//   grow with the size of the executable (pe_image.h).
// - The library's own file (libquern0102.so) carries no PE resources; it answers with the
//   version block of LibraryVersion() (quern0102.h), as its DLL's resource would.
// - The user's language is read from the environment at each ReadFile (LC_ALL, LC_MESSAGES,
//   LANG), the system's from /etc/default/locale or /etc/locale.conf, the ANSI code page from
//   the process's locale (language_names.h).
#include "fileio/orvFileVersion.h"

#include <optional>

#include "automation/component.h"
#include "fileio/language_names.h"
#include "fileio/pe_image.h"
#include "fileio/quern0102.h"
#include "platform/file.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr uint16_t kUnicodeCodePage = 1200;
constexpr uint16_t kEnglishUnitedStates = 0x0409;

std::u16string Hex4(uint16_t value) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text(4, u'0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

// The identity of the library's own file, looked up once.
const std::optional<platform::FolderId>& LibraryFileId() {
  static const std::optional<platform::FolderId> id = []() -> std::optional<platform::FolderId> {
    const std::string path =
        automation::ModulePathOf(reinterpret_cast<const void*>(&LibraryVersion));
    if (path.empty()) return std::nullopt;
    uint32_t error = platform::error::kSuccess;
    const platform::File library = platform::File::OpenForReading(path, &error);
    if (!library.IsOpen()) return std::nullopt;
    return library.Id();
  }();
  return id;
}

std::optional<std::vector<uint8_t>> LoadVersionBlock(const std::string& path) {
  uint32_t error = platform::error::kSuccess;
  const platform::File file = platform::File::OpenForReading(path, &error);
  if (!file.IsOpen()) return std::nullopt;
  if (LibraryFileId() && file.Id() == *LibraryFileId()) {
    return BuildVersionBlock(LibraryVersion());
  }
  return FindVersionResource(file.Size(),
                             [&file](uint64_t offset, size_t size, std::vector<uint8_t>* out) {
                               return file.ReadAt(offset, size, out) == platform::error::kSuccess;
                             });
}

}  // namespace

std::u16string ChooseTranslation(const std::vector<Translation>& translations,
                                 uint16_t user_language, uint16_t system_language,
                                 int32_t ansi_code_page) {
  if (translations.empty()) return u"040904B0";
  auto meets = [&](int rule, const Translation& t) {
    const bool ansi = static_cast<int16_t>(t.code_page) == ansi_code_page;
    const bool unicode = t.code_page == kUnicodeCodePage;
    switch (rule) {
      case 0:
        return t.language == user_language && ansi;
      case 1:
        return t.language == user_language && unicode;
      case 2:
        return t.language == user_language;
      case 3:
        return t.language == system_language && ansi;
      case 4:
        return t.language == system_language && unicode;
      case 5:
        return t.language == system_language;
      case 6:
        return t.language == kEnglishUnitedStates;
      default:
        return true;
    }
  };
  for (int rule = 0; rule < 8; ++rule) {
    for (const Translation& entry : translations) {
      if (meets(rule, entry)) return Hex4(entry.language) + Hex4(entry.code_page);
    }
  }
  return u"040904B0";  // not reached: the last rule takes the first entry
}

void orvFileVersion::Clear() {
  buffer_.clear();
  fixed_ = {};
  language_key_.clear();
  file_name_.clear();
}

bool orvFileVersion::ReadFile(const std::u16string& FileName) {
  Clear();
  auto block = LoadVersionBlock(support::NativeFileName(FileName));
  if (!block) return false;
  buffer_ = std::move(*block);
  fixed_ = ReadFixedFileInfo(buffer_).value_or(FixedFileInfo{});
  language_key_ = ChooseTranslation(ReadTranslations(buffer_), UserDefaultLanguage(),
                                    SystemDefaultLanguage(), SystemAnsiCodePage());
  file_name_ = FileName;
  return true;
}

std::u16string orvFileVersion::GetLanguageName(int32_t LanguageID) const {
  return quern::LanguageName(LanguageID);
}

std::u16string orvFileVersion::LanguageName() const {
  if (language_key_.size() < 4) return {};
  int32_t id = 0;
  for (char16_t c : language_key_.substr(0, 4)) {
    int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                : c >= u'A' && c <= u'F' ? c - u'A' + 10
                : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                         : -1;
    if (digit < 0) return {};
    id = id * 16 + digit;
  }
  try {
    return GetLanguageName(id);
  } catch (...) {
    return {};
  }
}

std::u16string orvFileVersion::GetVersionInfoString(const std::u16string& Name) const {
  if (buffer_.empty() || Name.empty()) return {};
  auto value = QueryVersionValue(buffer_, u"\\StringFileInfo\\" + language_key_ + u"\\" + Name);
  return value ? VersionValueText(*value) : std::u16string();
}

}  // namespace quern
