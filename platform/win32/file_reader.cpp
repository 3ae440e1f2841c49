// A regular file opened once and read at any offset, through its handle.
#include "platform/file_reader.h"

#include <algorithm>
#include <utility>

#include "platform/win32/internal.h"

namespace platform {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile at `offset`; *got receives what was read (0 at or past the end).
uint32_t ReadAtOffset(HANDLE file, uint64_t offset, void* out, DWORD count, DWORD* got) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  *got = 0;
  if (ReadFile(file, out, count, got, &at)) return error::kSuccess;
  const DWORD code = GetLastError();
  return code == ERROR_HANDLE_EOF ? error::kSuccess : code;
}

constexpr size_t kLargestRead = size_t{1} << 30;

}  // namespace

void FileReader::Close() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

FileReader FileReader::Open(const std::string& path, uint32_t* error) {
  FileReader reader;
  if (uint32_t code = win32::CheckFilePath(path); code != error::kSuccess) {
    *error = code;
    return reader;
  }
  const std::wstring full = win32::LongPath(path);
  HANDLE file = CreateFileW(full.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return reader;
  }
  // A pipe or a device is never waited on: only a disk file is read.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = error::kAccessDenied;
    CloseHandle(file);
    return reader;
  }
  reader.handle_ = reinterpret_cast<intptr_t>(file);
  reader.size_ = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  reader.id_ = {info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  *error = error::kSuccess;
  return reader;
}

uint32_t FileReader::ReadAt(uint64_t offset, size_t count, std::vector<uint8_t>* out) const {
  out->resize(count);
  size_t done = 0;
  uint32_t code = ReadUpTo(offset, out->data(), count, &done);
  if (code == error::kSuccess && done < count) code = error::kGenFailure;
  if (code != error::kSuccess) out->clear();
  return code;
}

uint32_t FileReader::ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const {
  *done = 0;
  auto* bytes = static_cast<uint8_t*>(out);
  while (*done < count) {
    const DWORD piece = static_cast<DWORD>(std::min(count - *done, kLargestRead));
    DWORD got = 0;
    if (uint32_t code = ReadAtOffset(AsHandle(handle_), offset + *done, bytes + *done, piece, &got);
        code != error::kSuccess) {
      return code;
    }
    if (got == 0) break;
    *done += got;
  }
  return error::kSuccess;
}

bool ExistsAsOtherThanRegularFile(const std::string& path) {
  const std::wstring full = win32::LongPath(path);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  // Reserved device names (CON, NUL, COM1...) are no files either.
  HANDLE file = CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool disk_file = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return !disk_file;
}

uint32_t GetFileId(const std::string& path, FolderId* id) {
  const std::wstring full = win32::LongPath(path);
  HANDLE file = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  uint32_t code = error::kSuccess;
  if (GetFileInformationByHandle(file, &info)) {
    *id = {info.dwVolumeSerialNumber,
           (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  } else {
    code = GetLastError();
  }
  CloseHandle(file);
  return code;
}

}  // namespace platform
