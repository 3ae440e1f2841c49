// The process set-up, the user's environment: the per-user folders and %NAME% expansion.

#include <clocale>
#include <string>

#include "platform/win32/internal.h"

namespace platform {

void Initialize() {
  // The C runtime's locale follows the user's, as on Linux; and a drive without its medium
  // (an empty card reader named by a script) gives an error, never a dialog that stops a
  // scheduled run until someone answers it.
  std::setlocale(LC_ALL, "");
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

// Roaming application data serves both: Windows keeps a program's settings there too.
std::string GetUserConfigFolder() { return GetUserDataFolder(); }

std::string GetUserDataFolder() {
  wchar_t folder[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return win32::Utf8(folder);
  }
  // No profile folder (a service account without one): %APPDATA% may still say.
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", value, 32768);
  return length > 0 && length < 32768 ? win32::Utf8(std::wstring_view(value, length))
                                      : std::string();
}

// ExpandEnvironmentStringsW itself: names without letter case, an unknown name stays as
// written. Its result is limited to 32767 characters; a longer one is left unexpanded.
std::string ExpandEnvironmentStrings(std::string_view text) {
  const std::wstring wide = win32::Wide(text);
  if (wide.find(L'%') == std::wstring::npos) return std::string(text);
  std::wstring expanded(32768, L'\0');
  const DWORD length = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), 32768);
  if (length == 0 || length > 32768) return std::string(text);
  expanded.resize(length - 1);  // the count includes the terminating zero
  return win32::Utf8(expanded);
}

}  // namespace platform
