// Plain files opened by handle: the one file type (File) and its openers. The run log, the
// undo records, the script loader and the library's readers hold their files through it.
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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform {

// How the lines of a text file that peers read end here: CR LF on Windows, LF on Linux.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

namespace error {
inline constexpr uint32_t kWriteProtect = 19;         // ERROR_WRITE_PROTECT
inline constexpr uint32_t kFileTooLarge = 223;        // ERROR_FILE_TOO_LARGE
inline constexpr uint32_t kLockViolation = 33;        // ERROR_LOCK_VIOLATION
inline constexpr uint32_t kBadFileType = 222;         // ERROR_BAD_FILE_TYPE: not a plain file
inline constexpr uint32_t kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
}  // namespace error

// The body of a File that a stand-in file system serves (a FileSystem other than the machine's,
// such as the tests' in-memory one): the File's calls go to it, with their meaning and error
// codes. It holds no handle of the system, and only its own file system makes one.
class StandInFile {
 public:
  virtual ~StandInFile() = default;
  virtual uint32_t Write(std::string_view data, size_t* written) = 0;
  virtual uint32_t GetSize(uint64_t* size) = 0;
  virtual uint32_t GetPosition(uint64_t* position) = 0;
  virtual uint32_t Truncate(uint64_t size) = 0;
  virtual uint32_t ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) = 0;
  virtual uint32_t TryLock(bool* locked) = 0;
  virtual uint32_t Sync() = 0;
  virtual uint32_t Close() = 0;
};

// An open regular file: the one owner of a file's descriptor (a HANDLE on Windows) anywhere in
// the program. Move-only; closes itself. Every opener below takes nothing but a regular file:
// a folder, FIFO, device or socket gives kBadFileType, and the open never waits on a FIFO.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` for reading (links followed); a link, like any path, leads to a regular file
  // or is refused.
  static File OpenForReading(const std::string& path, uint32_t* error);

  // A file served by a stand-in file system (`body` not null); its Handle() is -1.
  static File ForStandIn(std::unique_ptr<StandInFile> body, uint64_t size, const FolderId& id);

  bool IsOpen() const { return handle_ != -1 || stand_in_ != nullptr; }
  // The file's length and identity (device and inode) when it was opened.
  uint64_t Size() const { return size_; }
  const FolderId& Id() const { return id_; }

  // Writes all of `data` (retrying short writes and interruptions). On failure `*written` (when
  // given) holds how many bytes went to the file before it; 0 on success means nothing was asked.
  uint32_t Write(std::string_view data, size_t* written = nullptr) const;

  // The file's length in bytes now (Windows: GetFileSizeEx).
  uint32_t GetSize(uint64_t* size) const;

  // Where the handle's last write ended, in bytes from the start: with appending, the end of
  // this handle's own last write, even when another writer has appended since (Windows:
  // SetFilePointerEx with a distance of 0 from FILE_CURRENT).
  uint32_t GetPosition(uint64_t* position) const;

  // Cuts the file to `size` bytes; later appends go to the new end (Windows: SetFilePointerEx,
  // SetEndOfFile through a second handle).
  uint32_t Truncate(uint64_t size) const;

  // Reads exactly `count` bytes at `offset` into *out (replaced); kGenFailure when the file
  // ends before them.
  uint32_t ReadAt(uint64_t offset, size_t count, std::vector<uint8_t>* out) const;

  // Reads up to `count` bytes at `offset` into `out`; *done receives how many: fewer only where
  // the file ends (0 at or past its end). Windows: ReadFile at an offset, repeated the same way.
  uint32_t ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const;

  // Reads the whole file from its start, whatever its length now.
  uint32_t ReadAll(std::string* data) const;

  // Takes an exclusive advisory lock on the whole file without waiting (flock on POSIX). The lock
  // goes with the close or the process's end, however it ends. *locked false: another process
  // holds it.
  uint32_t TryLock(bool* locked) const;

  // Writes the file's data out to the disk (fdatasync; Windows: FlushFileBuffers).
  uint32_t Sync() const;

  // Closes now and reports a failed close (on some file systems the last write error shows up
  // only there). A closed file is left alone.
  uint32_t Close();

  // For the backend: a file that owns `handle` (closes it), what it holds, and giving it up.
  static File Adopt(intptr_t handle, uint64_t size, const FolderId& id);
  intptr_t Handle() const { return handle_; }
  intptr_t Release();

 private:
  intptr_t handle_ = -1;                   // a descriptor on POSIX, a HANDLE on Windows
  std::unique_ptr<StandInFile> stand_in_;  // set instead of handle_ for a stand-in's file
  uint64_t size_ = 0;
  FolderId id_;
};

// Opens `path` for appending and reading, creating it (mode 0644 before the umask) when
// missing. (Windows: CreateFileW with FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS, sharing
// read and write, then GetFileType == FILE_TYPE_DISK.)
uint32_t OpenForAppend(const std::string& path, File* file);

// Creates `path` for appending (mode 0600: private to the user); kFileExists when it exists.
uint32_t CreateForAppend(const std::string& path, File* file);

// Opens an existing `path` for reading and appending; kFileNotFound when missing (a link at
// `path` is not followed, and so refused as no regular file).
uint32_t OpenExistingForAppend(const std::string& path, File* file);

// Opens an existing regular file for reading only; a link is not followed.
uint32_t OpenExistingForRead(const std::string& path, File* file);

// How a file is opened relative to an open folder (OpenEntryFile; FileSystem::OpenEntryFile).
// kRead and kAppend follow a link in the entry's place, as the by-path openers above do; the
// others take the entry itself, so a link there is refused as no regular file.
enum class FileOpening {
  kRead,            // an existing file, for reading
  kReadEntry,       // an existing file, for reading, the entry itself (OpenExistingForRead)
  kAppend,          // appending and reading; created (mode 0644) when missing (OpenForAppend)
  kAppendExisting,  // an existing file, appending and reading (OpenExistingForAppend)
  kCreateNew,       // a new file (mode 0600), appending and reading; kFileExists when taken
  // A new file (mode 0600) for appending, already holding the lock of File::TryLock when the
  // name appears, so that no other process can find it unlocked; kFileExists when taken, and
  // the lock's failure (kLockViolation when another holds it) leaves no file behind.
  kCreateLocked,
  kReplace,  // writing from the start: created (mode 0644) or cut to nothing
};

// Opens the entry `name` of `folder` as `how` says (the name is one entry: a separator or NUL
// gives kInvalidName, and only a regular file is taken, as everywhere in this header). Errors
// of writing keep their own codes (kDiskFull, kWriteProtect, ...).
uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how, File* file);

// Creates the folder `name` in `folder`; kAlreadyExists when the name is taken.
uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name);

// The identity of the running process.
uint32_t CurrentProcessId();

}  // namespace platform
