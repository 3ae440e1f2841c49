#include "platform/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

uint32_t OpenForAppend(const std::string& path, FileHandle* handle) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *handle = kInvalidFile;
    return ErrorFromErrno(errno);
  }
  *handle = fd;
  return error::kSuccess;
}

uint32_t WriteAll(FileHandle handle, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = ::write(static_cast<int>(handle), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return error::kSuccess;
}

void CloseFile(FileHandle handle) {
  if (handle != kInvalidFile) ::close(static_cast<int>(handle));
}

}  // namespace platform
