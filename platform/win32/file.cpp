// The one file type on Windows: a HANDLE of a disk file, and the openers of file.h.
#include "platform/file.h"

#include <algorithm>
#include <cwctype>
#include <utility>

#include "platform/win32/internal.h"

namespace platform {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr size_t kLargestPiece = size_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (towupper(text[i]) != towupper(prefix[i])) return false;
  }
  return true;
}

bool IsFolderAt(const std::wstring& full) {
  const DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool win32::NamesDevice(std::wstring_view full) {
  std::wstring_view rest;
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) {
    rest = full.substr(4);
  } else {
    return false;
  }
  // What stays in the file namespace: a drive ("C:\..."), a share ("UNC\...") or a volume by
  // its name ("Volume{...}\..."). Everything else there is an object of the device namespace: a
  // port, a pipe, a mailslot, a raw disk or volume ("\\.\C:"), \\?\GLOBALROOT\Device\...
  if (rest.size() >= 3 && iswalpha(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return false;
  if (StartsWith(rest, L"UNC\\")) return false;
  if (StartsWith(rest, L"Volume{") && rest.find(L"}\\") != std::wstring_view::npos) return false;
  return true;
}

File win32::OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                        DWORD flags, uint32_t* error) {
  if (const uint32_t code = CheckFilePath(path); code != error::kSuccess) {
    *error = code;
    return File();
  }
  const std::wstring full = LongPath(path);
  // A device is never opened at all: opening one can act on it (a tape rewinds, a port is
  // taken), and a read of one may never end.
  if (NamesDevice(full)) {
    *error = error::kBadFileType;
    return File();
  }
  // CreateFileW refuses a folder as access denied, the same as a file that may not be read; the
  // folder is told apart first, and again after a refusal (it may have been put there since).
  if (disposition != CREATE_NEW && IsFolderAt(full)) {
    *error = error::kBadFileType;
    return File();
  }
  HANDLE handle = CreateFileW(full.c_str(), access, share, nullptr, disposition,
                              flags | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
      *error = error::kFileExists;
    } else if (code == ERROR_ACCESS_DENIED && IsFolderAt(full)) {
      *error = error::kBadFileType;
    } else {
      *error = code;
    }
    return File();
  }
  // Whatever the handle stands for decides now: a pipe, a console or any other device is no
  // file; nor is a link when the caller asked for the entry itself (FILE_FLAG_OPEN_REPARSE_POINT).
  BY_HANDLE_FILE_INFORMATION info{};
  bool regular = GetFileType(handle) == FILE_TYPE_DISK;
  if (regular && !GetFileInformationByHandle(handle, &info)) {
    *error = GetLastError();
    CloseHandle(handle);
    return File();
  }
  regular = regular && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (regular && (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
    DWORD attributes = 0;
    DWORD tag = 0;
    if (QueryAttributeTag(handle, &attributes, &tag) == error::kSuccess && IsLinkTag(tag)) {
      regular = false;
    }
  }
  if (!regular) {
    CloseHandle(handle);
    *error = error::kBadFileType;
    return File();
  }
  *error = error::kSuccess;
  return File::Adopt(reinterpret_cast<intptr_t>(handle),
                     (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                     {info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow});
}

File File::OpenForReading(const std::string& path, uint32_t* error) {
  return win32::OpenRegular(path, GENERIC_READ, kShareAll, OPEN_EXISTING, 0, error);
}

uint32_t File::Close() {
  if (stand_in_) return std::exchange(stand_in_, nullptr)->Close();

  if (handle_ == -1) return error::kSuccess;
  return CloseHandle(AsHandle(Release())) ? error::kSuccess : GetLastError();
}

uint32_t File::Write(std::string_view data, size_t* written) const {
  if (stand_in_) return stand_in_->Write(data, written);

  size_t total = 0;
  if (written != nullptr) *written = 0;
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min(data.size(), kLargestPiece));
    DWORD done = 0;
    uint32_t code = error::kSuccess;
    if (!WriteFile(AsHandle(handle_), data.data(), chunk, &done, nullptr)) {
      code = GetLastError();
    } else if (done == 0) {
      code = error::kGenFailure;
    }
    total += done;
    if (code != error::kSuccess) {
      if (written != nullptr) *written = total;
      return code;
    }
    data.remove_prefix(done);
  }
  return error::kSuccess;
}

uint32_t File::GetSize(uint64_t* size) const {
  if (stand_in_) return stand_in_->GetSize(size);

  LARGE_INTEGER length{};
  if (!GetFileSizeEx(AsHandle(handle_), &length)) return GetLastError();
  *size = static_cast<uint64_t>(length.QuadPart);
  return error::kSuccess;
}

uint32_t File::GetPosition(uint64_t* position) const {
  if (stand_in_) return stand_in_->GetPosition(position);

  LARGE_INTEGER zero{}, now{};
  if (!SetFilePointerEx(AsHandle(handle_), zero, &now, FILE_CURRENT)) return GetLastError();
  *position = static_cast<uint64_t>(now.QuadPart);
  return error::kSuccess;
}

uint32_t File::Truncate(uint64_t size) const {
  if (stand_in_) return stand_in_->Truncate(size);

  // An appending handle may not set the end: a second handle to the same file, with the right
  // to write, does it.
  HANDLE writer =
      ReOpenFile(AsHandle(handle_), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
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

uint32_t File::ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const {
  if (stand_in_) return stand_in_->ReadUpTo(offset, out, count, done);

  *done = 0;
  auto* bytes = static_cast<uint8_t*>(out);
  while (*done < count) {
    OVERLAPPED at{};
    const uint64_t where = offset + *done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const DWORD piece = static_cast<DWORD>(std::min(count - *done, kLargestPiece));
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), bytes + *done, piece, &got, &at)) {
      const DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      return code;
    }
    if (got == 0) break;
    *done += got;
  }
  return error::kSuccess;
}

uint32_t File::TryLock(bool* locked) const {
  if (stand_in_) return stand_in_->TryLock(locked);

  OVERLAPPED whole{};
  if (LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                 MAXDWORD, MAXDWORD, &whole)) {
    *locked = true;
    return error::kSuccess;
  }
  const DWORD code = GetLastError();
  *locked = false;
  return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING ? error::kSuccess : code;
}

uint32_t File::Sync() const {
  if (stand_in_) return stand_in_->Sync();

  return FlushFileBuffers(AsHandle(handle_)) ? error::kSuccess : GetLastError();
}

uint32_t OpenForAppend(const std::string& path, File* file) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even when another
  // run appends to the same log at the same time. Others may read it meanwhile.
  uint32_t code = error::kSuccess;
  *file = win32::OpenRegular(path,
                             FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, 0, &code);
  return code;
}

namespace {

// The files a process keeps for itself: the entry at `path` itself, a link there is refused.
uint32_t OpenOwn(const std::string& path, DWORD access, DWORD disposition, File* file) {
  uint32_t code = error::kSuccess;
  *file = win32::OpenRegular(path, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                             FILE_FLAG_OPEN_REPARSE_POINT, &code);
  return code;
}

}  // namespace

namespace {

constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);

uint32_t CreateError(NTSTATUS status) {
  if (status == kStatusObjectNameCollision) return error::kFileExists;
  if (status == kStatusFileIsADirectory || status == kStatusNotADirectory) {
    return error::kBadFileType;
  }
  return win32::ErrorFromStatus(status);
}

}  // namespace

uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how, File* file) {
  *file = File();
  if (!folder.IsOpen() || folder.StandInToken() != 0) return error::kInvalidHandle;
  std::wstring wide;
  if (const uint32_t code = win32::CheckedEntryName(name, &wide); code != error::kSuccess) {
    return code;
  }
  if (wide.empty()) return error::kBadFileType;  // "." is the folder itself
  ACCESS_MASK access = FILE_READ_DATA | FILE_READ_ATTRIBUTES;
  ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  ULONG disposition = FILE_OPEN;
  bool follow = false;
  switch (how) {
    case FileOpening::kRead:
      share |= FILE_SHARE_DELETE;
      follow = true;
      break;
    case FileOpening::kReadEntry:
      share |= FILE_SHARE_DELETE;
      break;
    case FileOpening::kAppend:
      // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even when
      // another writer appends at the same time.
      access |= FILE_APPEND_DATA;
      disposition = FILE_OPEN_IF;
      follow = true;
      break;
    case FileOpening::kAppendExisting:
      access |= FILE_APPEND_DATA;
      break;
    case FileOpening::kCreateNew:
    case FileOpening::kCreateLocked:
      access |= FILE_APPEND_DATA;
      disposition = FILE_CREATE;
      break;
    case FileOpening::kReplace:
      access = FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES;
      share = FILE_SHARE_READ;
      disposition = FILE_OVERWRITE_IF;
      break;
  }
  const ULONG options = FILE_NON_DIRECTORY_FILE | (follow ? 0 : FILE_OPEN_REPARSE_POINT);
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status = win32::CreateRelative(win32::HandleOf(folder), wide, access, share,
                                                disposition, options, &handle);
  if (!NT_SUCCESS(status)) return CreateError(status);
  // Whatever the handle stands for decides now: only a disk file that is no link is taken.
  BY_HANDLE_FILE_INFORMATION info{};
  bool regular = GetFileType(handle) == FILE_TYPE_DISK;
  if (regular && !GetFileInformationByHandle(handle, &info)) {
    const uint32_t code = GetLastError();
    CloseHandle(handle);
    return code;
  }
  regular = regular && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (regular && !follow) {
    DWORD attributes = 0;
    DWORD tag = 0;
    if (win32::QueryAttributeTag(handle, &attributes, &tag) == error::kSuccess &&
        win32::IsLinkTag(tag)) {
      regular = false;
    }
  }
  if (!regular) {
    CloseHandle(handle);
    return error::kBadFileType;
  }
  *file = File::Adopt(reinterpret_cast<intptr_t>(handle),
                      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                      {info.dwVolumeSerialNumber,
                       (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow});
  if (how != FileOpening::kCreateLocked) return error::kSuccess;
  // Locked right after it is made (no record is written on Windows, as the recycle bin names no
  // entry; this keeps the pair whole). A file that cannot be locked goes again.
  bool locked = false;
  uint32_t code = file->TryLock(&locked);
  if (code == error::kSuccess && !locked) code = error::kLockViolation;
  if (code != error::kSuccess) {
    file->Close();
    DeleteEntryFile(folder, name);
  }
  return code;
}

uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen() || folder.StandInToken() != 0) return error::kInvalidHandle;
  std::wstring wide;
  if (const uint32_t code = win32::CheckedEntryName(name, &wide); code != error::kSuccess) {
    return code;
  }
  if (wide.empty()) return error::kAlreadyExists;  // "." is the folder itself
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status = win32::CreateRelative(
      win32::HandleOf(folder), wide, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
      FILE_CREATE, FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &handle);
  if (status == kStatusObjectNameCollision) return error::kAlreadyExists;
  if (!NT_SUCCESS(status)) return win32::ErrorFromStatus(status);
  CloseHandle(handle);
  return error::kSuccess;
}

uint32_t CreateForAppend(const std::string& path, File* file) {
  // The user's own profile folder keeps the file private, as mode 0600 does on POSIX.
  return OpenOwn(path, FILE_APPEND_DATA | FILE_READ_DATA, CREATE_NEW, file);
}

uint32_t OpenExistingForAppend(const std::string& path, File* file) {
  return OpenOwn(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_EXISTING, file);
}

uint32_t OpenExistingForRead(const std::string& path, File* file) {
  return OpenOwn(path, FILE_READ_DATA, OPEN_EXISTING, file);
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
