// The user's and the system's locale as POSIX-style names ("ru_RU"), which the language
// functions above start from, and the ANSI code page as a charset name ("CP1251").
//
// Windows names locales "ru-RU" (GetUserDefaultLocaleName); a script part ("sr-Latn-RS")
// becomes the modifier glibc uses for it ("sr_RS@latin"), so both systems name a locale alike.
#include "platform/locale.h"

#include <string>

#include "platform/win32/internal.h"

namespace platform {
namespace {

std::string PosixName(const wchar_t* name, int length) {
  if (length <= 1) return {};
  std::string text = win32::Utf8(std::wstring_view(name, static_cast<size_t>(length - 1)));
  // "ll-Script-CC" -> "ll_CC@script"; "ll-CC" -> "ll_CC".
  std::string parts[3];
  int count = 0;
  size_t start = 0;
  while (count < 3) {
    const size_t end = text.find('-', start);
    parts[count++] = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (count == 1) return parts[0];
  if (count == 2) return parts[0] + "_" + parts[1];
  std::string modifier = parts[1];
  for (char& c : modifier) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (modifier == "latn") modifier = "latin";
  if (modifier == "cyrl") modifier = "cyrillic";
  return parts[0] + "_" + parts[2] + "@" + modifier;
}

}  // namespace

std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  return PosixName(name, GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH));
}

std::string SystemLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  return PosixName(name, GetSystemDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH));
}

std::string LocaleCharsetName() {
  const UINT code_page = GetACP();
  return code_page == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(code_page);
}

}  // namespace platform
