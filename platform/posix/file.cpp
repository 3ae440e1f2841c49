// The one file type on POSIX: a descriptor of a regular file, and the openers of file.h.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

uint32_t PlainError(int errno_value) { return ErrorFromErrno(errno_value); }

int Fd(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

File posix::OpenRegularAt(int dir, const char* name, int flags, mode_t mode, uint32_t* error,
                          uint32_t (*map)(int)) {
  if (map == nullptr) map = PlainError;
  auto fail = [&](int errno_value) {
    *error = errno_value == EEXIST ? error::kFileExists : map(errno_value);
    return File();
  };
  const bool exclusive = (flags & O_CREAT) != 0 && (flags & O_EXCL) != 0;
  if (!exclusive) {
    struct stat seen;
    const int look = (flags & O_NOFOLLOW) != 0 ? AT_SYMLINK_NOFOLLOW : 0;
    if (::fstatat(dir, name, &seen, look) == 0 && !S_ISREG(seen.st_mode)) {
      *error = error::kBadFileType;
      return File();
    }
  }
  int fd;
  do {
    fd = ::openat(dir, name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // ENXIO: a FIFO without a reader or a socket; EISDIR: a folder opened for writing; ELOOP
    // with O_NOFOLLOW: a link put in the file's place.
    if (errno == ENXIO || errno == EISDIR || (errno == ELOOP && (flags & O_NOFOLLOW) != 0)) {
      *error = error::kBadFileType;
      return File();
    }
    return fail(errno);
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int cause = errno;
    ::close(fd);
    return fail(cause);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    *error = error::kBadFileType;
    return File();
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  *error = error::kSuccess;
  return File::Adopt(fd, info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0,
                     {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)});
}

File File::OpenForReading(const std::string& path, uint32_t* error) {
  if (path.find('\0') != std::string::npos) {
    *error = error::kInvalidName;
    return File();
  }
  return posix::OpenRegularAt(AT_FDCWD, path.c_str(), O_RDONLY, 0, error);
}

uint32_t File::Close() {
  if (stand_in_) return std::exchange(stand_in_, nullptr)->Close();

  if (handle_ == -1) return error::kSuccess;
  const int fd = Fd(Release());
  return ::close(fd) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

uint32_t File::Write(std::string_view data, size_t* written) const {
  if (stand_in_) return stand_in_->Write(data, written);

  size_t done = 0;
  if (written != nullptr) *written = 0;
  while (done < data.size()) {
    ssize_t count = ::write(Fd(handle_), data.data() + done, data.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return FileErrorFromErrno(errno);
    }
    done += static_cast<size_t>(count);
    if (written != nullptr) *written = done;
  }
  return error::kSuccess;
}

uint32_t File::GetSize(uint64_t* size) const {
  if (stand_in_) return stand_in_->GetSize(size);

  struct stat info;
  if (::fstat(Fd(handle_), &info) != 0) return FileErrorFromErrno(errno);
  *size = static_cast<uint64_t>(info.st_size);
  return error::kSuccess;
}

uint32_t File::GetPosition(uint64_t* position) const {
  if (stand_in_) return stand_in_->GetPosition(position);

  off_t offset = ::lseek(Fd(handle_), 0, SEEK_CUR);
  if (offset < 0) return FileErrorFromErrno(errno);
  *position = static_cast<uint64_t>(offset);
  return error::kSuccess;
}

uint32_t File::Truncate(uint64_t size) const {
  if (stand_in_) return stand_in_->Truncate(size);

  int result;
  do {
    result = ::ftruncate(Fd(handle_), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? error::kSuccess : FileErrorFromErrno(errno);
}

uint32_t File::ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const {
  if (stand_in_) return stand_in_->ReadUpTo(offset, out, count, done);

  *done = 0;
  auto* bytes = static_cast<uint8_t*>(out);
  while (*done < count) {
    const ssize_t got =
        ::pread(Fd(handle_), bytes + *done, count - *done, static_cast<off_t>(offset + *done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    if (got == 0) break;
    *done += static_cast<size_t>(got);
  }
  return error::kSuccess;
}

uint32_t File::TryLock(bool* locked) const {
  if (stand_in_) return stand_in_->TryLock(locked);

  *locked = false;
  while (::flock(Fd(handle_), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return error::kSuccess;
    return ErrorFromErrno(errno);
  }
  *locked = true;
  return error::kSuccess;
}

uint32_t File::Sync() const {
  if (stand_in_) return stand_in_->Sync();

  return ::fdatasync(Fd(handle_)) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

uint32_t OpenForAppend(const std::string& path, File* file) {
  uint32_t code = error::kSuccess;
  *file = posix::OpenRegularAt(AT_FDCWD, path.c_str(), O_RDWR | O_APPEND | O_CREAT, 0644, &code,
                               FileErrorFromErrno);
  return code;
}

uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how, File* file) {
  *file = File();
  if (!folder.IsOpen() || folder.StandInToken() != 0) return error::kInvalidHandle;
  const posix::EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  int flags = 0;
  mode_t mode = 0;
  switch (how) {
    case FileOpening::kRead:
      flags = O_RDONLY;
      break;
    case FileOpening::kReadEntry:
      flags = O_RDONLY | O_NOFOLLOW;
      break;
    case FileOpening::kAppend:
      flags = O_RDWR | O_APPEND | O_CREAT;
      mode = 0644;
      break;
    case FileOpening::kAppendExisting:
      flags = O_RDWR | O_APPEND | O_NOFOLLOW;
      break;
    case FileOpening::kCreateNew:
      flags = O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW;
      mode = 0600;
      break;
    case FileOpening::kReplace:
      flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
      mode = 0644;
      break;
    case FileOpening::kCreateLocked:
      return posix::CreateLockedAt(posix::FdOf(folder), entry.c_str(), file);
  }
  // Reading keeps the general mapping (a read-only volume is no reason to refuse a read);
  // writing names the write errors apart.
  uint32_t code = error::kSuccess;
  *file = posix::OpenRegularAt(
      posix::FdOf(folder), entry.c_str(), flags, mode, &code,
      how == FileOpening::kRead || how == FileOpening::kReadEntry ? nullptr : FileErrorFromErrno);
  return code;
}

uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen() || folder.StandInToken() != 0) return error::kInvalidHandle;
  const posix::EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  if (mkdirat(posix::FdOf(folder), entry.c_str(), 0777) == 0) return error::kSuccess;
  // The general map, as every folder call reports (a read-only volume: kAccessDenied).
  return ErrorFromErrno(errno);
}

}  // namespace platform
