// What the shell knows about a file, from SHGetFileInfoW itself. The query flags of
// platform/shell.h are the system's SHGFI_* values and are passed on as they are.
//
// Decisions of this backend:
// - The shell takes no \\?\ paths: the path is made absolute without the prefix, so a path
//   longer than MAX_PATH is answered 0 (as the shell itself answers it).
// - For kIcon the shell's HICON itself becomes the record's picture: an OLE picture made with
//   fOwn, so the picture is the icon's only owner and destroys it once, with its last
//   reference (when no picture can be made the icon is destroyed here at once). The HICON is
//   the one to keep because the shell draws the flags into it: the link overlay, the open and
//   the selected state; the icon's file and index (SHGFI_ICONLOCATION) could only give the
//   plain icon back. The record also names that file, with the pixel size Windows draws the
//   icon at (SM_CXICON, SM_CXSMICON, or 48 for the shell size); no overlay file is named.
// - The default icon is that of shell32.dll in the system folder: its document icon
//   (resource 1) as a picture, at the size asked for.
#include "platform/shell.h"

#include "platform/win32/internal.h"
// (first: it brings <windows.h> in)
#include <olectl.h>

namespace platform {
namespace {

std::string SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return win32::Utf8(std::wstring(folder, length) + L"\\" + name);
}

// The picture that owns `icon` (an empty picture for a null one). On failure the icon is
// destroyed here and the picture is none.
IconPicture PictureOf(HICON icon) {
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = icon ? PICTYPE_ICON : PICTYPE_NONE;
  description.icon.hicon = icon;
  IPicture* picture = nullptr;
  if (FAILED(OleCreatePictureIndirect(&description, IID_IPicture, TRUE,
                                      reinterpret_cast<void**>(&picture)))) {
    if (icon) DestroyIcon(icon);
    return {};
  }
  IconPicture made;
  OLE_HANDLE handle = 0;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  picture->get_Handle(&handle);
  picture->get_Type(&made.type);
  picture->get_Width(&width);
  picture->get_Height(&height);
  made.handle = handle;
  made.width = width;
  made.height = height;
  made.object = std::shared_ptr<void>(static_cast<IUnknown*>(picture), [](void* object) {
    static_cast<IUnknown*>(object)->Release();
  });
  return made;
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
    info->picture = PictureOf(record.hIcon);
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

IconPicture DefaultIconPicture(int pixels) {
  // shell32.dll is loaded: this module links it.
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  HANDLE icon =
      shell ? LoadImageW(shell, MAKEINTRESOURCEW(1), IMAGE_ICON, pixels, pixels, 0) : nullptr;
  return PictureOf(static_cast<HICON>(icon));
}

}  // namespace platform
