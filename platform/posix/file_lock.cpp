// Files that a process keeps for itself while it works: created exclusively, locked, synced.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

uint32_t OpenWith(const std::string& path, int flags, FileHandle* handle) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
  if (fd < 0) {
    *handle = kInvalidFile;
    return errno == EEXIST ? error::kFileExists : ErrorFromErrno(errno);
  }
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
