// SetFileAttributesW: the attribute bits are the system's own. A symbolic link or junction in
// the last place is left alone (success), so a link planted under a known name never lets a
// caller change what it leads to, as on Linux.
#include "platform/attributes.h"

#include "platform/win32/internal.h"

namespace platform {

uint32_t SetFileAttributes(const std::string& path, uint32_t attributes) {
  const std::wstring full = win32::LongPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data)) return GetLastError();
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    HANDLE entry = CreateFileW(
        full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD seen = 0, tag = 0;
    const uint32_t code = win32::QueryAttributeTag(entry, &seen, &tag);
    CloseHandle(entry);
    if (code != error::kSuccess) return code;
    if (win32::IsLinkTag(tag)) return error::kSuccess;
  }
  if (!SetFileAttributesW(full.c_str(), attributes)) return GetLastError();
  return error::kSuccess;
}

uint32_t SetEntryAttributes(const Folder& folder, std::string_view name, uint32_t attributes) {
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return SetFileAttributes(path, attributes); });
}

}  // namespace platform
