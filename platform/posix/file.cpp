#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

// The causes a user must be told apart kept apart (see file.h).
uint32_t FileError(int errno_value) { return FileErrorFromErrno(errno_value); }

int Descriptor(FileHandle handle) { return static_cast<int>(handle); }

}  // namespace

uint32_t OpenForAppend(const std::string& path, FileHandle* handle) {
  *handle = kInvalidFile;
  // O_NONBLOCK: a FIFO must not keep the open waiting for a reader; it is refused below, and
  // for a regular file the flag changes nothing.
  int fd =
      ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return FileError(errno);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    uint32_t code = FileError(errno);
    ::close(fd);
    return code;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return error::kBadFileType;
  }
  *handle = fd;
  return error::kSuccess;
}

uint32_t WriteAll(FileHandle handle, std::string_view data, size_t* written) {
  size_t done = 0;
  if (written != nullptr) *written = 0;
  while (done < data.size()) {
    ssize_t count = ::write(Descriptor(handle), data.data() + done, data.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return FileError(errno);
    }
    done += static_cast<size_t>(count);
    if (written != nullptr) *written = done;
  }
  return error::kSuccess;
}

uint32_t GetFileSize(FileHandle handle, uint64_t* size) {
  struct stat info;
  if (::fstat(Descriptor(handle), &info) != 0) return FileError(errno);
  *size = static_cast<uint64_t>(info.st_size);
  return error::kSuccess;
}

uint32_t GetFilePosition(FileHandle handle, uint64_t* position) {
  off_t offset = ::lseek(Descriptor(handle), 0, SEEK_CUR);
  if (offset < 0) return FileError(errno);
  *position = static_cast<uint64_t>(offset);
  return error::kSuccess;
}

uint32_t TruncateFile(FileHandle handle, uint64_t size) {
  int result;
  do {
    result = ::ftruncate(Descriptor(handle), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? error::kSuccess : FileError(errno);
}

uint32_t ReadFileAt(FileHandle handle, uint64_t offset, size_t count, std::string* out) {
  out->assign(count, '\0');
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(Descriptor(handle), out->data() + done, count - done,
                          static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      out->clear();
      return FileError(errno);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  out->resize(done);
  return error::kSuccess;
}

void CloseFile(FileHandle handle) {
  if (handle != kInvalidFile) ::close(Descriptor(handle));
}

}  // namespace platform
