// Whole files on POSIX. Each function reaches its file through the parent folder (OpenParent and
// openat), so paths of any length work like the other by-path operations, and each checks the
// opened descriptor with fstat rather than the name, which could change in between.
#include "platform/whole_file.h"

#include "platform/memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/posix/internal.h"

namespace platform {
namespace {

using posix::EntryName;

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Closes now and reports a failed close: on some file systems the last write error only
  // shows up here.
  uint32_t Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? error::kSuccess : ErrorFromErrno(errno);
  }

 private:
  int fd_;
};

// Opening a folder for writing fails with EISDIR; Windows calls that access denied.
uint32_t OpenError(int errno_value) {
  return errno_value == EISDIR ? error::kAccessDenied : ErrorFromErrno(errno_value);
}

// Opens `path` through its parent folder. On failure returns -1 with *code set.
int OpenByPath(const std::string& path, int flags, uint32_t* code) {
  std::string name;
  *code = error::kSuccess;
  const Folder parent = posix::OpenParent(path, &name, code);
  if (!parent.IsOpen()) {
    if (*code == error::kSuccess) *code = error::kPathNotFound;
    return -1;
  }
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) {
    *code = entry.error();
    return -1;
  }
  int fd;
  do {
    fd = ::openat(posix::FdOf(parent), entry.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) *code = OpenError(errno);
  return fd;
}

// Opens a regular file and refuses anything else with kAccessDenied: a folder, and also a FIFO,
// a device or a socket, whose "whole contents" never end (/dev/zero) or wait for a writer that
// may never come. O_NONBLOCK keeps the open itself from waiting on a FIFO; it changes nothing
// for a regular file.
int OpenRegular(const std::string& path, int flags, struct stat* info, uint32_t* code) {
  const int fd = OpenByPath(path, flags | O_NONBLOCK | O_NOCTTY, code);
  if (fd < 0) {
    if (errno == ENXIO) *code = error::kAccessDenied;  // a FIFO without a reader
    return -1;
  }
  if (::fstat(fd, info) != 0) {
    *code = ErrorFromErrno(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(info->st_mode)) {
    *code = error::kAccessDenied;
    ::close(fd);
    return -1;
  }
  return fd;
}

int OpenForReading(const std::string& path, struct stat* info, uint32_t* code) {
  return OpenRegular(path, O_RDONLY, info, code);
}

// Sizes the buffer for a whole file, mapped at once when it is big.
void SizeBuffer(std::vector<uint8_t>* data, size_t size) {
  data->reserve(size);
  PrepareForFilling(data->data(), size);
  data->resize(size);
}

// Reads up to `size` bytes into `out`, retrying short reads; *done receives the count (less at
// the end of the file).
uint32_t ReadFully(int fd, uint8_t* out, size_t size, size_t* done) {
  *done = 0;
  while (*done < size) {
    const ssize_t got = ::read(fd, out + *done, size - *done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    if (got == 0) break;
    *done += static_cast<size_t>(got);
  }
  return error::kSuccess;
}

uint32_t WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return error::kSuccess;
}

// The file a chain of symbolic links ends at (the path itself when it is no link). Relative
// targets are taken relative to the folder of the link that holds them.
uint32_t ResolveLinks(const std::string& path, std::string* target) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit for one lookup
  std::string current = path;
  for (int depth = 0; depth < kMaxLinks; ++depth) {
    struct stat info;
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = current;  // a missing name is created where it is
      return error::kSuccess;
    }
    std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 256) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
    if (length < 0) return ErrorFromErrno(errno);
    link.resize(static_cast<size_t>(length));
    if (!link.empty() && link[0] != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) link = current.substr(0, slash + 1) + link;
    }
    current = link;
  }
  return error::kCantResolveFilename;
}

// A name for the temporary file beside `name` that no one else is likely to pick.
std::string TemporaryName(const std::string& name) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  char suffix[17];
  std::snprintf(suffix, sizeof(suffix), "%016llx", static_cast<unsigned long long>(generator()));
  if (name.size() + 20 <= NAME_MAX) return "." + name + ".~" + suffix;
  return std::string(".quern~") + suffix;
}

// Creates a fresh temporary file in `folder` (O_EXCL, so nothing existing is ever reused).
int CreateTemporary(const Folder& folder, const std::string& name, std::string* temp_name,
                    uint32_t* code) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temp_name = TemporaryName(name);
    const int fd = ::openat(posix::FdOf(folder), temp_name->c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno == EEXIST || errno == EINTR) continue;
    *code = ErrorFromErrno(errno);
    return -1;
  }
  *code = error::kFileExists;
  return -1;
}

// Writes the temporary file: the old file's mode and (where allowed) owner, the data, flushed.
uint32_t FillTemporary(int fd, const struct stat* old, std::string_view data) {
  if (old != nullptr) {
    if (::fchmod(fd, old->st_mode & 07777) != 0) return ErrorFromErrno(errno);
    // Only root may give a file away; for anyone else the owner is already right or cannot be.
    if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(fd, old->st_uid, old->st_gid) == 0) {
      ::fchmod(fd, old->st_mode & 07777);  // chown clears set-id bits
    }
  }
  if (const uint32_t code = WriteFully(fd, data); code != error::kSuccess) return code;
  if (::fsync(fd) != 0) return ErrorFromErrno(errno);
  return error::kSuccess;
}

}  // namespace

uint32_t ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  data->clear();
  struct stat info;
  uint32_t code = error::kSuccess;
  Descriptor fd(OpenForReading(path, &info, &code));
  if (!fd.IsOpen()) return code;
  size_t size = info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
  size_t done = 0;
  if (size > 0) {
    SizeBuffer(data, size);
    code = ReadFully(fd.get(), data->data(), size, &done);
    if (code != error::kSuccess) {
      data->clear();
      return code;
    }
  }
  // A file that reports no size (or grew since fstat) is read on to its end. A small probe
  // first, so that the usual file, whose end is where fstat said, is never copied to grow it.
  if (done == size) {
    uint8_t probe[4096];
    size_t got = 0;
    do {
      code = ReadFully(fd.get(), probe, sizeof(probe), &got);
      if (code != error::kSuccess) {
        data->clear();
        return code;
      }
      data->insert(data->end(), probe, probe + got);
      done += got;
    } while (got == sizeof(probe));
  }
  data->resize(done);
  return error::kSuccess;
}

uint32_t ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* data,
                       uint64_t* size) {
  data->clear();
  struct stat info;
  uint32_t code = error::kSuccess;
  Descriptor fd(OpenForReading(path, &info, &code));
  if (!fd.IsOpen()) return code;
  *size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  data->resize(max_bytes);
  size_t done = 0;
  code = ReadFully(fd.get(), data->data(), max_bytes, &done);
  data->resize(code == error::kSuccess ? done : 0);
  return code;
}

uint32_t ReplaceWholeFile(const std::string& path, std::string_view data) {
  std::string target;
  uint32_t code = ResolveLinks(path, &target);
  if (code != error::kSuccess) return code;

  std::string name;
  const Folder parent = posix::OpenParent(target, &name, &code);
  if (!parent.IsOpen()) return code != error::kSuccess ? code : error::kPathNotFound;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();

  struct stat old;
  const bool exists = ::fstatat(posix::FdOf(parent), entry.c_str(), &old, 0) == 0;
  if (!exists && errno != ENOENT) return ErrorFromErrno(errno);
  if (exists && !S_ISREG(old.st_mode)) return error::kAccessDenied;  // see OpenRegular

  std::string temp_name;
  Descriptor fd(CreateTemporary(parent, name, &temp_name, &code));
  if (!fd.IsOpen()) return code;
  code = FillTemporary(fd.get(), exists ? &old : nullptr, data);
  if (const uint32_t close_code = fd.Close(); code == error::kSuccess) code = close_code;
  if (code == error::kSuccess &&
      ::renameat(posix::FdOf(parent), temp_name.c_str(), posix::FdOf(parent), entry.c_str()) != 0) {
    code = ErrorFromErrno(errno);
  }
  if (code != error::kSuccess) ::unlinkat(posix::FdOf(parent), temp_name.c_str(), 0);
  return code;
}

uint32_t AppendToFile(const std::string& path, std::string_view data) {
  uint32_t code = error::kSuccess;
  struct stat info;
  Descriptor fd(OpenRegular(path, O_WRONLY | O_APPEND | O_CREAT, &info, &code));
  if (!fd.IsOpen()) return code;
  code = WriteFully(fd.get(), data);
  const uint32_t close_code = fd.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t OverwriteFile(const std::string& path, std::string_view data) {
  uint32_t code = error::kSuccess;
  struct stat info;
  // Not O_TRUNC here: a device or FIFO must be refused before anything is done to it.
  Descriptor fd(OpenRegular(path, O_WRONLY | O_CREAT, &info, &code));
  if (!fd.IsOpen()) return code;
  if (::ftruncate(fd.get(), 0) != 0) return ErrorFromErrno(errno);
  code = WriteFully(fd.get(), data);
  const uint32_t close_code = fd.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t GetFileSize(const std::string& path, uint64_t* size) {
  return posix::OnParent(path, [size](const Folder& parent, const std::string& name) {
    const EntryName entry(name);
    if (entry.error() != error::kSuccess) return entry.error();
    struct stat info;
    if (::fstatat(posix::FdOf(parent), entry.c_str(), &info, 0) != 0) {
      return ErrorFromErrno(errno);
    }
    *size = S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    return error::kSuccess;
  });
}

}  // namespace platform
