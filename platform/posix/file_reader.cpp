#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/internal.h"

namespace platform {

void FileReader::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

FileReader FileReader::Open(const std::string& path, uint32_t* error) {
  FileReader reader;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
  const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (handle < 0) {
    *error = ErrorFromErrno(errno);
    return reader;
  }
  struct stat info;
  if (::fstat(handle, &info) != 0) {
    *error = ErrorFromErrno(errno);
    ::close(handle);
    return reader;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = error::kAccessDenied;
    ::close(handle);
    return reader;
  }
  reader.handle_ = handle;
  reader.size_ = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  reader.id_ = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  *error = error::kSuccess;
  return reader;
}

uint32_t FileReader::ReadAt(uint64_t offset, size_t count, std::vector<uint8_t>* out) const {
  out->resize(count);
  size_t done = 0;
  while (done < count) {
    const ssize_t got =
        ::pread(handle_, out->data() + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      out->clear();
      return ErrorFromErrno(errno);
    }
    if (got == 0) {
      out->clear();
      return error::kGenFailure;
    }
    done += static_cast<size_t>(got);
  }
  return error::kSuccess;
}

uint32_t FileReader::ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const {
  *done = 0;
  auto* bytes = static_cast<uint8_t*>(out);
  while (*done < count) {
    const ssize_t got =
        ::pread(handle_, bytes + *done, count - *done, static_cast<off_t>(offset + *done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    if (got == 0) break;
    *done += static_cast<size_t>(got);
  }
  return error::kSuccess;
}

bool ExistsAsOtherThanRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

uint32_t GetFileId(const std::string& path, FolderId* id) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return ErrorFromErrno(errno);
  *id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return error::kSuccess;
}

}  // namespace platform
