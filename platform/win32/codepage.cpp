// The ANSI (GetACP) and OEM (GetOEMCP) code pages. Conversions go through UTF-16; a character
// the page lacks becomes "?" (no best-fit look-alikes: a name must not turn into another name).
#include <string>

#include "platform/locale.h"
#include "platform/win32/internal.h"

namespace platform {
namespace {

constexpr char kRussianAlphabet[] =
    "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя";

std::string FromUtf8(std::string_view text, UINT code_page) {
  if (code_page == CP_UTF8) return std::string(text);
  const std::wstring wide = win32::Wide(text);
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  // These flags are refused for a few pages (the DBCS and symbol ones take none): asked plain.
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int length = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, "?", nullptr);
  if (length == 0) {
    flags = 0;
    length = WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  }
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), size, bytes.data(), length,
                      flags != 0 ? "?" : nullptr, nullptr);
  return bytes;
}

std::string ToUtf8(std::string_view bytes, UINT code_page) {
  if (code_page == CP_UTF8 || bytes.empty()) return std::string(bytes);
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), length);
  return win32::Utf8(wide);
}

}  // namespace

bool AnsiIsUtf8() { return GetACP() == CP_UTF8; }
std::string Utf8ToAnsi(std::string_view text) { return FromUtf8(text, GetACP()); }
std::string AnsiToUtf8(std::string_view text) { return ToUtf8(text, GetACP()); }

bool AnsiHoldsCyrillic() {
  static const bool holds = [] {
    const std::string_view letters = kRussianAlphabet;
    return ToUtf8(FromUtf8(letters, GetACP()), GetACP()) == letters;
  }();
  return holds;
}

bool RunTextIsUtf8() { return true; }

bool OemIsUtf8() { return GetOEMCP() == CP_UTF8; }
std::string Utf8ToOem(std::string_view text) { return FromUtf8(text, GetOEMCP()); }
std::string OemToUtf8(std::string_view text) { return ToUtf8(text, GetOEMCP()); }

}  // namespace platform
