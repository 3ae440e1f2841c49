// Files that a process keeps for itself while it works: created exclusively, locked, synced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

uint32_t OpenWith(const std::string& path, int flags, File* file) {
  uint32_t code = error::kSuccess;
  *file = posix::OpenRegularAt(AT_FDCWD, path.c_str(), flags, 0600, &code);
  return code;
}

}  // namespace

uint32_t CreateForAppend(const std::string& path, File* file) {
  return OpenWith(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, file);
}

uint32_t OpenExistingForAppend(const std::string& path, File* file) {
  return OpenWith(path, O_RDWR | O_APPEND | O_NOFOLLOW, file);
}

uint32_t OpenExistingForRead(const std::string& path, File* file) {
  return OpenWith(path, O_RDONLY | O_NOFOLLOW, file);
}

uint32_t posix::CreateLockedAt(int dir, const char* name, File* file) {
  // Made under a name no reader looks at, locked, and only then given its name: whoever finds
  // the file by its name finds it locked. linkat() refuses a taken name, so nothing is replaced.
  // A process killed in between leaves only the hidden name behind.
  // Hidden, and not ending as the file's own name does, so that no listing by extension counts it.
  const std::string hidden = "." + std::string(name) + ".new-" + std::to_string(getpid());
  ::unlinkat(dir, hidden.c_str(), 0);  // a leftover of an earlier process of the same id
  uint32_t code = error::kSuccess;
  *file =
      posix::OpenRegularAt(dir, hidden.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW,
                           0600, &code, FileErrorFromErrno);
  if (code != error::kSuccess) return code;
  bool locked = false;
  code = file->TryLock(&locked);
  if (code == error::kSuccess && !locked) code = error::kLockViolation;
  if (code == error::kSuccess && ::linkat(dir, hidden.c_str(), dir, name, 0) != 0) {
    code = errno == EEXIST ? error::kFileExists : FileErrorFromErrno(errno);
  }
  ::unlinkat(dir, hidden.c_str(), 0);
  if (code != error::kSuccess) file->Close();
  return code;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
