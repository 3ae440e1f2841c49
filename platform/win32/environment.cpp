// The user's environment: the per-user application-data folder and %NAME% expansion.

#include <string>

#include "platform/win32/internal.h"

namespace platform {

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
