// The run log's file: opened for appending by handle.
#include "platform/file.h"

#include <algorithm>

#include "platform/win32/internal.h"

namespace platform {

uint32_t OpenForAppend(const std::string& path, FileHandle* handle) {
  const std::wstring full = win32::LongPath(path);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even when another
  // run appends to the same log at the same time. Others may read it meanwhile.
  HANDLE file =
      CreateFileW(full.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *handle = kInvalidFile;
    return GetLastError();
  }
  *handle = reinterpret_cast<FileHandle>(file);
  return error::kSuccess;
}

uint32_t WriteAll(FileHandle handle, std::string_view data, size_t* written_before_error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  size_t total = 0;
  if (written_before_error != nullptr) *written_before_error = 0;
  while (!data.empty()) {
    const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    uint32_t code = error::kSuccess;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr)) {
      code = GetLastError();
    } else if (written == 0) {
      code = error::kGenFailure;
    }
    total += written;
    if (code != error::kSuccess) {
      if (written_before_error != nullptr) *written_before_error = total;
      return code;
    }
    data.remove_prefix(written);
  }
  return error::kSuccess;
}

uint32_t GetFileSize(FileHandle handle, uint64_t* size) {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &length)) return GetLastError();
  *size = static_cast<uint64_t>(length.QuadPart);
  return error::kSuccess;
}

uint32_t GetFilePosition(FileHandle handle, uint64_t* position) {
  LARGE_INTEGER zero{}, now{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle), zero, &now, FILE_CURRENT)) {
    return GetLastError();
  }
  *position = static_cast<uint64_t>(now.QuadPart);
  return error::kSuccess;
}

uint32_t TruncateFile(FileHandle handle, uint64_t size) {
  // An appending handle may not set the end: a second handle to the same file, with the right
  // to write, does it.
  HANDLE writer = ReOpenFile(reinterpret_cast<HANDLE>(handle), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (writer == INVALID_HANDLE_VALUE) return GetLastError();
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  uint32_t code = error::kSuccess;
  if (!SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end)) {
    code = GetLastError();
  }
  CloseHandle(writer);
  return code;
}

uint32_t ReadFileAt(FileHandle handle, uint64_t offset, size_t count, std::string* out) {
  out->assign(count, '\0');
  size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - done, size_t{1} << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), out->data() + done, piece, &got, &at)) {
      const DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      out->clear();
      return code;
    }
    if (got == 0) break;
    done += got;
  }
  out->resize(done);
  return error::kSuccess;
}

namespace {

uint32_t OpenAppending(const std::string& path, DWORD disposition, FileHandle* handle) {
  const std::wstring full = win32::LongPath(path);
  HANDLE file = CreateFileW(full.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *handle = kInvalidFile;
    const DWORD code = GetLastError();
    return code == ERROR_ALREADY_EXISTS ? error::kFileExists : code;
  }
  *handle = reinterpret_cast<FileHandle>(file);
  return error::kSuccess;
}

}  // namespace

uint32_t CreateForAppend(const std::string& path, FileHandle* handle) {
  // The user's own profile folder keeps the file private, as mode 0600 does on POSIX.
  return OpenAppending(path, CREATE_NEW, handle);
}

uint32_t OpenExistingForAppend(const std::string& path, FileHandle* handle) {
  return OpenAppending(path, OPEN_EXISTING, handle);
}

uint32_t OpenExistingForRead(const std::string& path, FileHandle* handle) {
  const std::wstring full = win32::LongPath(path);
  HANDLE file = CreateFileW(full.c_str(), FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *handle = kInvalidFile;
    return GetLastError();
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    *handle = kInvalidFile;
    return error::kBadFileType;
  }
  *handle = reinterpret_cast<FileHandle>(file);
  return error::kSuccess;
}

uint32_t CreateLockedForAppend(const std::string& path, FileHandle* handle) {
  // No record is written on Windows (the recycle bin names no entry); this keeps the pair whole.
  uint32_t code = CreateForAppend(path, handle);
  if (code != error::kSuccess) return code;
  bool locked = false;
  code = TryLockFile(*handle, &locked);
  if (code == error::kSuccess && !locked) code = error::kLockViolation;
  if (code != error::kSuccess) {
    CloseHandle(reinterpret_cast<HANDLE>(*handle));
    DeleteFileW(win32::LongPath(path).c_str());
    *handle = kInvalidFile;
  }
  return code;
}

uint32_t TryLockFile(FileHandle handle, bool* locked) {
  OVERLAPPED whole{};
  if (LockFileEx(reinterpret_cast<HANDLE>(handle),
                 LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                 &whole)) {
    *locked = true;
    return error::kSuccess;
  }
  const DWORD code = GetLastError();
  *locked = false;
  return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING ? error::kSuccess : code;
}

uint32_t SyncFile(FileHandle handle) {
  return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) ? error::kSuccess : GetLastError();
}

uint32_t ReadAllFrom(FileHandle handle, std::string* data) {
  uint64_t size = 0;
  if (uint32_t code = GetFileSize(handle, &size); code != error::kSuccess) return code;
  return ReadFileAt(handle, 0, static_cast<size_t>(size), data);
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

void CloseFile(FileHandle handle) {
  if (handle != kInvalidFile) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace platform
