// The run log's file: opened for appending by handle.
#include "platform/file.h"

#include "platform/win32/internal.h"

namespace platform {

uint32_t OpenForAppend(const std::string& path, FileHandle* handle) {
  const std::wstring full = win32::LongPath(path);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even when another
  // run appends to the same log at the same time. Others may read it meanwhile.
  HANDLE file =
      CreateFileW(full.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *handle = kInvalidFile;
    return GetLastError();
  }
  *handle = reinterpret_cast<FileHandle>(file);
  return error::kSuccess;
}

uint32_t WriteAll(FileHandle handle, std::string_view data) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  while (!data.empty()) {
    const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return error::kGenFailure;
    data.remove_prefix(written);
  }
  return error::kSuccess;
}

void CloseFile(FileHandle handle) {
  if (handle != kInvalidFile) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace platform
