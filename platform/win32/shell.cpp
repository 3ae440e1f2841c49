// What the shell knows about a file, from SHGetFileInfoW itself. The query flags of
// platform/shell.h are the system's SHGFI_* values and are passed on as they are.
//
// Decisions of this backend:
// - The shell takes no \\?\ paths: the path is made absolute without the prefix, so a path
//   longer than MAX_PATH is answered 0 (as the shell itself answers it).
// - An icon is a file and an index in it on Windows: for kIcon the record names the file the
//   shell's icon comes from (SHGFI_ICONLOCATION), with the pixel size Windows draws it at
//   (SM_CXICON, SM_CXSMICON, or 48 for the shell size); the icon handle itself is destroyed at
//   once. The link overlay is drawn into the shell's own icon, so no overlay file is named.
// - The default icon is that of shell32.dll in the system folder.
#include "platform/shell.h"

#include "platform/file_reader.h"
#include "platform/win32/internal.h"

namespace platform {
namespace {

std::string SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return win32::Utf8(std::wstring(folder, length) + L"\\" + name);
}

}  // namespace

uint64_t GetShellFileInfo(const std::string& path, uint32_t flags, ShellFileInfo* info) {
  *info = ShellFileInfo{};
  if (path.empty() || path.find('\0') != std::string::npos) return 0;
  const std::wstring full = win32::PlainAbsolutePath(path);
  if (full.size() >= MAX_PATH) return 0;
  SHFILEINFOW record{};
  const DWORD_PTR result = SHGetFileInfoW(full.c_str(), 0, &record, sizeof record, flags);
  if (result == 0) return 0;
  info->attributes = record.dwAttributes;
  info->icon_index = record.iIcon;
  if (flags & (shgfi::kDisplayName | shgfi::kIconLocation)) {
    info->display_name = win32::Utf8(record.szDisplayName);
  }
  if (flags & shgfi::kTypeName) info->type_name = win32::Utf8(record.szTypeName);
  if (flags & shgfi::kIcon) {
    if (record.hIcon != nullptr) DestroyIcon(record.hIcon);
    info->icon_pixels = (flags & shgfi::kShellIconSize) ? kShellIconPixels
                        : (flags & shgfi::kSmallIcon)   ? GetSystemMetrics(SM_CXSMICON)
                                                        : GetSystemMetrics(SM_CXICON);
    SHFILEINFOW location{};
    if (SHGetFileInfoW(full.c_str(), 0, &location, sizeof location,
                       SHGFI_ICONLOCATION | (flags & (shgfi::kOpenIcon))) != 0) {
      info->icon_file = win32::Utf8(location.szDisplayName);
    }
  }
  return static_cast<uint64_t>(result);
}

std::string DefaultIconFile(int) { return SystemFile(L"shell32.dll"); }

std::string MimeTypeOf(const std::string&) { return {}; }

uint32_t ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes) {
  bytes->clear();
  uint32_t code = error::kSuccess;
  const FileReader file = FileReader::Open(path, &code);
  if (!file.IsOpen()) return code;
  bytes->resize(size);
  size_t done = 0;
  code = file.ReadUpTo(offset, bytes->data(), size, &done);
  bytes->resize(code == error::kSuccess ? done : 0);
  return code;
}

}  // namespace platform
