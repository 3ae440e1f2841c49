// Plain files opened by handle: what the run log needs (append, whole writes, the length, a
// cut back to an earlier length, a read of its last byte, close).
//
// Errors are Windows error codes, as everywhere in the platform layer, with a few kept apart
// that the general mapping folds together, because the program names them to the user when its
// log cannot be written: kDiskFull (no space left; on Windows also ERROR_HANDLE_DISK_FULL),
// kDiskQuotaExceeded (the user's quota), kWriteProtect (a read-only file system; Windows gives
// it for a write-protected medium) apart from kAccessDenied (permission), and kFileTooLarge
// (the file system's largest file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// How the lines of a text file that peers read end here: CR LF on Windows, LF on Linux.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

namespace error {
inline constexpr uint32_t kWriteProtect = 19;         // ERROR_WRITE_PROTECT
inline constexpr uint32_t kFileTooLarge = 223;        // ERROR_FILE_TOO_LARGE
inline constexpr uint32_t kLockViolation = 33;        // ERROR_LOCK_VIOLATION
inline constexpr uint32_t kBadFileType = 222;         // ERROR_BAD_FILE_TYPE: not a plain file
inline constexpr uint32_t kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
}  // namespace error

// Opens `path` for appending and reading, creating it (mode 0644 before the umask) when
// missing. Only a regular file is taken: a folder, FIFO, device or socket gives kBadFileType,
// and the open never waits for a FIFO's reader. (Windows: CreateFileW with FILE_APPEND_DATA |
// FILE_READ_DATA, OPEN_ALWAYS, sharing read and write, then GetFileType == FILE_TYPE_DISK.)
uint32_t OpenForAppend(const std::string& path, FileHandle* handle);

// Appends all of `data` (retrying short writes and interruptions). On failure `*written` (when
// given) holds how many bytes went to the file before it; 0 on success means nothing was asked.
uint32_t WriteAll(FileHandle handle, std::string_view data, size_t* written = nullptr);

// The file's length in bytes now (Windows: GetFileSizeEx).
uint32_t GetFileSize(FileHandle handle, uint64_t* size);

// Where the handle's last write ended, in bytes from the start: with appending, the end of
// this handle's own last write, even when another writer has appended since (Windows:
// SetFilePointerEx with a distance of 0 from FILE_CURRENT).
uint32_t GetFilePosition(FileHandle handle, uint64_t* position);

// Cuts the file to `size` bytes; later appends go to the new end (Windows: SetFilePointerEx,
// SetEndOfFile).
uint32_t TruncateFile(FileHandle handle, uint64_t size);

// Reads up to `count` bytes at `offset` into *out (replaced); fewer at the end of the file
// (Windows: ReadFile with an OVERLAPPED offset).
uint32_t ReadFileAt(FileHandle handle, uint64_t offset, size_t count, std::string* out);

// Closes the handle; kInvalidFile is ignored.
void CloseFile(FileHandle handle);

// Creates `path` for appending (mode 0600: private to the user); kFileExists when it exists.
uint32_t CreateForAppend(const std::string& path, FileHandle* handle);

// Opens an existing `path` for reading and appending; kFileNotFound when missing, kBadFileType
// for anything but a regular file (never waited on; a link at `path` is not followed).
uint32_t OpenExistingForAppend(const std::string& path, FileHandle* handle);

// Creates `path` for appending (mode 0600), already holding the lock of TryLockFile when the
// name appears, so that no other process can find it unlocked; kFileExists when it exists, and
// the lock's failure (kLockViolation when another holds it) leaves no file behind.
uint32_t CreateLockedForAppend(const std::string& path, FileHandle* handle);

// Opens an existing regular file for reading only; kBadFileType for a link, FIFO, device,
// socket or folder, which is never waited on.
uint32_t OpenExistingForRead(const std::string& path, FileHandle* handle);

// Takes an exclusive advisory lock on the whole file without waiting (flock on POSIX). The lock
// goes with the handle's close or the process's end, however it ends. *locked false: another
// process holds it.
uint32_t TryLockFile(FileHandle handle, bool* locked);

// Writes the file's data out to the disk (fdatasync).
uint32_t SyncFile(FileHandle handle);

// Reads the whole file from its start through the handle.
uint32_t ReadAllFrom(FileHandle handle, std::string* data);

// The identity of the running process.
uint32_t CurrentProcessId();

}  // namespace platform
