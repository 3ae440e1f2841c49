// Files that a process keeps for itself while it works: created exclusively, locked, synced.
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

// Opens with O_NONBLOCK so that a FIFO or device in the file's place never keeps the open
// waiting; anything but a regular file is refused after the open, and the flag is dropped again
// for the reads and writes of the file that remains.
uint32_t OpenWith(const std::string& path, int flags, FileHandle* handle) {
  *handle = kInvalidFile;
  // A device is not even opened (opening one can act); the check after the open stands for
  // whatever is put there in between.
  struct stat seen;
  if ((flags & O_EXCL) == 0 && lstat(path.c_str(), &seen) == 0 && !S_ISREG(seen.st_mode)) {
    return error::kBadFileType;
  }
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) {
    // A link, a socket, a folder opened for writing.
    if (errno == ELOOP || errno == ENXIO || errno == EISDIR) return error::kBadFileType;
    return errno == EEXIST ? error::kFileExists : ErrorFromErrno(errno);
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    uint32_t code = S_ISREG(st.st_mode) ? ErrorFromErrno(errno) : error::kBadFileType;
    ::close(fd);
    return code;
  }
  int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  *handle = fd;
  return error::kSuccess;
}

}  // namespace

uint32_t CreateForAppend(const std::string& path, FileHandle* handle) {
  return OpenWith(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, handle);
}

uint32_t OpenExistingForAppend(const std::string& path, FileHandle* handle) {
  return OpenWith(path, O_RDWR | O_APPEND | O_NOFOLLOW, handle);
}

uint32_t OpenExistingForRead(const std::string& path, FileHandle* handle) {
  return OpenWith(path, O_RDONLY | O_NOFOLLOW, handle);
}

uint32_t CreateLockedForAppend(const std::string& path, FileHandle* handle) {
  // Made under a name no reader looks at, locked, and only then given its name: whoever finds
  // the file by its name finds it locked. link() refuses a taken name, so nothing is replaced.
  // A process killed in between leaves only the hidden name behind.
  size_t slash = path.rfind('/');
  std::string hidden = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // Hidden, and not ending as the file's own name does, so that no listing by extension counts it.
  hidden += "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".new-" +
            std::to_string(getpid());
  ::unlink(hidden.c_str());  // a leftover of an earlier process of the same id
  uint32_t code = OpenWith(hidden, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, handle);
  if (code != error::kSuccess) return code;
  bool locked = false;
  code = TryLockFile(*handle, &locked);
  if (code == error::kSuccess && !locked) code = error::kLockViolation;
  if (code == error::kSuccess && ::link(hidden.c_str(), path.c_str()) != 0) {
    code = errno == EEXIST ? error::kFileExists : ErrorFromErrno(errno);
  }
  ::unlink(hidden.c_str());
  if (code != error::kSuccess) {
    ::close(static_cast<int>(*handle));
    *handle = kInvalidFile;
  }
  return code;
}

uint32_t TryLockFile(FileHandle handle, bool* locked) {
  *locked = false;
  while (flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return error::kSuccess;
    return ErrorFromErrno(errno);
  }
  *locked = true;
  return error::kSuccess;
}

uint32_t SyncFile(FileHandle handle) {
  return fdatasync(static_cast<int>(handle)) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

uint32_t ReadAllFrom(FileHandle handle, std::string* data) {
  data->clear();
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    ssize_t n = pread(static_cast<int>(handle), buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrorFromErrno(errno);
    if (n == 0) return error::kSuccess;
    data->append(buffer, static_cast<size_t>(n));
    offset += n;
  }
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
