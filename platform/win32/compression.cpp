// FSCTL_GET_COMPRESSION and FSCTL_SET_COMPRESSION on a handle of the file or folder (opened
// with FILE_FLAG_BACKUP_SEMANTICS, which a folder needs). A file system that cannot compress
// (FAT, ReFS, a network share that does not pass the call on) answers ERROR_INVALID_FUNCTION,
// reported as kNotSupported, the code the Linux backend gives for the same case.
#include "platform/win32/internal.h"
// (after <windows.h>)
#include <winioctl.h>

#include "platform/compression.h"

namespace platform {
namespace {

uint32_t Unsupported(DWORD code) {
  return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ? error::kNotSupported
                                                                       : code;
}

HANDLE OpenForCompression(const std::string& path, DWORD access, uint32_t* code) {
  const std::wstring full = win32::LongPath(path);
  HANDLE file =
      CreateFileW(full.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  *code = file == INVALID_HANDLE_VALUE ? GetLastError() : error::kSuccess;
  return file;
}

}  // namespace

uint32_t GetFileCompression(const std::string& path, uint32_t* format) {
  uint32_t code;
  HANDLE file = OpenForCompression(path, FILE_READ_ATTRIBUTES | FILE_READ_DATA, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  USHORT state = COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  if (DeviceIoControl(file, FSCTL_GET_COMPRESSION, nullptr, 0, &state, sizeof state, &returned,
                      nullptr)) {
    *format = state;
  } else {
    code = Unsupported(GetLastError());
  }
  CloseHandle(file);
  return code;
}

uint32_t SetFileCompression(const std::string& path, uint32_t format) {
  if (format != compression::kNone && format != compression::kDefault &&
      format != compression::kLznt1) {
    return error::kInvalidParameter;
  }
  uint32_t code;
  HANDLE file = OpenForCompression(path, GENERIC_READ | GENERIC_WRITE, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  USHORT state = static_cast<USHORT>(format);
  DWORD returned = 0;
  if (!DeviceIoControl(file, FSCTL_SET_COMPRESSION, &state, sizeof state, nullptr, 0, &returned,
                       nullptr)) {
    code = Unsupported(GetLastError());
  }
  CloseHandle(file);
  return code;
}

uint32_t GetEntryCompression(const Folder& folder, std::string_view name, uint32_t* format) {
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return GetFileCompression(path, format); });
}

uint32_t SetEntryCompression(const Folder& folder, std::string_view name, uint32_t format) {
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return SetFileCompression(path, format); });
}

}  // namespace platform
