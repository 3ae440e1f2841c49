// The message boxes around the console window, and the program's own text resources and name.
#include <windows.h>

#include "platform/console_window.h"
#include "platform/win32/console_window_internal.h"

namespace platform {

namespace console_window_internal {

std::wstring ForDisplay(std::u16string_view text) {
  std::wstring shown;
  shown.reserve(text.size() + text.size() / 32 + 2);
  char16_t previous = u'\0';
  for (char16_t c : text) {
    if (c == u'\n' && previous != u'\r') shown.push_back(L'\r');
    shown.push_back(c == u'\0' ? L'\xFFFD' : static_cast<wchar_t>(c));
    previous = c;
  }
  return shown;
}

}  // namespace console_window_internal

using console_window_internal::ForDisplay;
using console_window_internal::WideAscii;

void ShowAboutBox(uintptr_t owner, const AboutBoxText& about) {
  std::u16string text =
      about.title + u"\n" + u"Версия " + about.version + u"\n\n" + about.description;
  std::wstring shown = ForDisplay(text);
  std::wstring caption = ForDisplay(about.caption);
  MessageBoxW(reinterpret_cast<HWND>(owner), shown.c_str(), caption.c_str(),
              MB_OK | MB_ICONINFORMATION | MB_APPLMODAL);
}

void ShowUsageBox(std::u16string_view title, std::u16string_view text) {
  std::wstring shown = ForDisplay(text);
  std::wstring caption = ForDisplay(title);
  // No window of the program exists yet, so the box brings itself to the front.
  MessageBoxW(nullptr, shown.c_str(), caption.c_str(),
              MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

std::u16string LoadTextResource(std::string_view type, std::string_view name, unsigned code_page) {
  HMODULE module = GetModuleHandleW(nullptr);
  std::wstring wide_type = WideAscii(type);
  std::wstring wide_name = WideAscii(name);
  HRSRC found = FindResourceW(module, wide_name.c_str(), wide_type.c_str());
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  DWORD size = SizeofResource(module, found);
  const char* bytes = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr || size == 0) return {};
  // Resource data is padded, and a text resource may or may not carry a closing NUL.
  while (size > 0 && bytes[size - 1] == '\0') --size;
  if (size == 0) return {};
  int length = MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), text.data(), length);
  return std::u16string(text.begin(), text.end());
}

std::u16string ProgramFileTitle() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: a long (\\?\) path
  }
  size_t name_start = path.find_last_of(L"\\/");
  std::wstring name = name_start == std::wstring::npos ? path : path.substr(name_start + 1);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return std::u16string(name.begin(), name.end());
}

}  // namespace platform
