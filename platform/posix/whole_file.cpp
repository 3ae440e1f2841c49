// Whole files on POSIX. Each function reaches its file through the parent folder (OpenParent and
// openat), so paths of any length work like the other by-path operations, and each checks the
// opened descriptor with fstat rather than the name, which could change in between.
#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "platform/memory.h"
#include "platform/posix/internal.h"

namespace platform {
namespace {

using posix::EntryName;

// Whole files pass through a buffer of this size, which the processor's cache holds, on their
// way to or from the caller's memory.
constexpr size_t kReadBlock = 128 * 1024;
// Results of this size or more get their pages mapped a step ahead of the copy.
constexpr size_t kMapAheadFrom = 4 * 1024 * 1024;
constexpr size_t kMapAhead = 2 * 1024 * 1024;

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }
  int get() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
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

// `fd` when it is open on a regular file (*info its stat); otherwise closes it and returns -1
// with *code set: the reads and writes here take nothing else.
int KeepIfRegular(int fd, struct stat* info, uint32_t* code) {
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
  return KeepIfRegular(fd, info, code);
}

int OpenForReading(const std::string& path, struct stat* info, uint32_t* code) {
  return OpenRegular(path, O_RDONLY, info, code);
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

// Whether the caller may follow the link `link` (its lstat) found in the folder `folder` (its
// stat), by the rule the kernel applies when fs.protected_symlinks is on: in a sticky
// world-writable folder (/tmp and its kind) a link is followed only when it belongs to the
// caller or to the folder's owner. The library resolves the links of the files it writes
// itself, where the kernel's setting never applies, and so applies the rule itself, on every
// machine: else a link another user planted in /tmp would make root's write land on any file.
bool MayFollowLink(const struct stat& folder, const struct stat& link) {
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// The components of `path`, last first, pushed on top of *pending (a stack: the next component
// to walk is its back). Empty components ("a//b", a trailing "/") are dropped.
void PushComponents(std::string_view path, std::vector<std::string>* pending) {
  while (!path.empty()) {
    const size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (!last.empty()) pending->emplace_back(last);
    if (slash == std::string_view::npos) break;
    path.remove_suffix(path.size() - slash);
  }
}

// The place a write lands: the folder that holds the file and the file's name in it.
struct WriteTarget {
  Folder folder;
  std::string name;
};

// Finds where a write to `path` lands, one component at a time from "/" or the current folder,
// following every link itself (in the last place too: a link to a file is written through,
// and stays) under MayFollowLink, so no link on the way is followed that the kernel's rule
// would refuse; such a link gives kAccessDenied, as EACCES from the kernel does. A missing last
// component is where a new file goes (also at the end of a dangling link); a missing folder on
// the way is kPathNotFound; more than 40 links (the kernel's own limit) kCantResolveFilename.
// The folders are held open (O_PATH: searching them is enough) so that nothing on the way can be
// swapped once passed.
uint32_t FindWriteTarget(const std::string& path, WriteTarget* target) {
  constexpr int kMaxLinks = 40;
  if (path.empty()) return error::kPathNotFound;
  if (path.find('\0') != std::string::npos) return error::kInvalidName;
  constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  auto open_start = [](bool absolute) { return ::open(absolute ? "/" : ".", kWalkFlags); };
  Descriptor held(open_start(path.front() == '/'));
  if (!held.IsOpen()) return ErrorFromErrno(errno);
  int current = held.get();
  std::vector<std::string> pending;
  PushComponents(path, &pending);
  if (pending.empty()) pending.emplace_back(".");  // "/" itself: a folder, refused by the caller
  int links = 0;
  while (!pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    const EntryName entry(name);
    if (entry.error() != error::kSuccess) return entry.error();
    struct stat info;
    if (::fstatat(current, entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && pending.empty()) {  // a new file
        target->name = name;
        break;
      }
      return errno == ENOENT || errno == ENOTDIR ? error::kPathNotFound : ErrorFromErrno(errno);
    }
    if (S_ISLNK(info.st_mode)) {
      if (++links > kMaxLinks) return error::kCantResolveFilename;
      struct stat folder;
      if (::fstat(current, &folder) != 0) return ErrorFromErrno(errno);
      if (!MayFollowLink(folder, info)) return error::kAccessDenied;
      std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 256) + 1, '\0');
      const ssize_t length = ::readlinkat(current, entry.c_str(), link.data(), link.size());
      if (length < 0) return ErrorFromErrno(errno);
      link.resize(static_cast<size_t>(length));
      if (link.empty()) return error::kPathNotFound;
      if (link.front() == '/') {
        held = Descriptor(open_start(true));
        if (!held.IsOpen()) return ErrorFromErrno(errno);
        current = held.get();
      }
      const bool was_last = pending.empty();
      PushComponents(link, &pending);
      if (pending.empty() && was_last) pending.emplace_back(".");  // a link to "/"
      continue;
    }
    if (pending.empty()) {
      target->name = name;
      break;
    }
    int next;
    do {
      next = ::openat(current, entry.c_str(), kWalkFlags);
    } while (next < 0 && errno == EINTR);
    if (next < 0) {
      // ELOOP: the name became a link since it was looked at; ENOTDIR: a file on the way.
      return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? error::kPathNotFound
                                                                  : ErrorFromErrno(errno);
    }
    held = Descriptor(next);
    current = next;
  }
  struct stat folder;
  if (::fstat(current, &folder) != 0) return ErrorFromErrno(errno);
  target->folder = posix::AdoptFd(held.Release(), {static_cast<uint64_t>(folder.st_dev),
                                                   static_cast<uint64_t>(folder.st_ino)});
  return error::kSuccess;
}

// Opens the regular file a write to `path` lands on (FindWriteTarget) with `flags`, refusing
// anything else as OpenRegular does. *info receives its stat.
int OpenForWriting(const std::string& path, int flags, struct stat* info, uint32_t* code) {
  WriteTarget target;
  *code = FindWriteTarget(path, &target);
  if (*code != error::kSuccess) return -1;
  const EntryName entry(target.name);
  int fd;
  do {
    fd = ::openat(posix::FdOf(target.folder), entry.c_str(),
                  flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // ELOOP: a link put in the file's place since it was looked at; ENXIO: a FIFO.
    *code = errno == ELOOP || errno == ENXIO ? error::kAccessDenied : OpenError(errno);
    return -1;
  }
  return KeepIfRegular(fd, info, code);
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

// Writes the new file: the old file's mode and (where allowed) owner, the contents, flushed.
uint32_t FillTemporary(int fd, const struct stat* old, const ContentsMaker& contents) {
  if (old != nullptr) {
    if (::fchmod(fd, old->st_mode & 07777) != 0) return ErrorFromErrno(errno);
    // Only root may give a file away; for anyone else the owner is already right or cannot be.
    if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(fd, old->st_uid, old->st_gid) == 0) {
      ::fchmod(fd, old->st_mode & 07777);  // chown clears set-id bits
    }
  }
  const uint32_t code = contents([fd](std::string_view piece) { return WriteFully(fd, piece); });
  if (code != error::kSuccess) return code;
  if (::fsync(fd) != 0) return ErrorFromErrno(errno);
  return error::kSuccess;
}

// An unnamed new file in `folder` (O_TMPFILE), or -1 where there is none to be had: a file
// system or kernel without them (EOPNOTSUPP, EISDIR, EINVAL), or no /proc to name it through
// later. Any failure here only sends the caller to a named temporary file, which reports its
// own errors.
int CreateUnnamed(const Folder& folder) {
#if defined(O_TMPFILE)
  if (::access("/proc/self/fd", X_OK) != 0) return -1;
  int fd;
  do {
    fd = ::openat(posix::FdOf(folder), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
#else
  (void)folder;
  return -1;
#endif
}

// Gives the unnamed file `fd` the name `name` in `folder`: through its /proc/self/fd link,
// which anyone may follow, else directly (AT_EMPTY_PATH, which needs CAP_DAC_READ_SEARCH).
// Fails with EEXIST when the name is taken: a link never replaces anything.
int NameUnnamed(int fd, const Folder& folder, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), posix::FdOf(folder), name, AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  if (errno != ENOENT) return -1;
  return ::linkat(fd, "", posix::FdOf(folder), name, AT_EMPTY_PATH);
}

// Writes the new contents into an unnamed file and puts it in place of `name`. A missing file
// is linked under its own name at once; an existing one is replaced by a rename from a
// temporary name, the only moment at which a kill could leave something behind. Returns false
// (with nothing done) where no unnamed file can be had.
bool ReplaceThroughUnnamed(const Folder& parent, const EntryName& entry, const std::string& name,
                           const struct stat* old, const ContentsMaker& contents, uint32_t* code) {
  Descriptor fd(CreateUnnamed(parent));
  if (!fd.IsOpen()) return false;
  *code = FillTemporary(fd.get(), old, contents);
  if (*code != error::kSuccess) return true;  // closing drops the unnamed file
  if (old == nullptr) {
    if (NameUnnamed(fd.get(), parent, entry.c_str()) == 0) return true;
    if (errno != EEXIST) {  // else someone made the file meanwhile: replace it as below
      *code = ErrorFromErrno(errno);
      return true;
    }
  }
  std::string temp_name;
  for (int attempt = 0;; ++attempt) {
    temp_name = TemporaryName(name);
    if (NameUnnamed(fd.get(), parent, temp_name.c_str()) == 0) break;
    if (errno != EEXIST || attempt == 15) {
      *code = errno == EEXIST ? error::kFileExists : ErrorFromErrno(errno);
      return true;
    }
  }
  if (::renameat(posix::FdOf(parent), temp_name.c_str(), posix::FdOf(parent), entry.c_str()) !=
      0) {
    *code = ErrorFromErrno(errno);
    ::unlinkat(posix::FdOf(parent), temp_name.c_str(), 0);
  }
  return true;
}

}  // namespace

uint32_t ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  data->clear();
  struct stat info;
  uint32_t code = error::kSuccess;
  Descriptor fd(OpenForReading(path, &info, &code));
  if (!fd.IsOpen()) return code;
  const size_t size = info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
  // The result is allocated once at the size fstat gave; the file comes through a small buffer
  // that stays in the processor's cache, so each page of the result is written once, in
  // order, and mapped a block ahead of the copy (see memory.h). A file that grows meanwhile,
  // or reports no size (/proc), is read on to its end all the same.
  data->reserve(size);
  AdviseLargePages(data->data(), size);
  const std::unique_ptr<uint8_t[]> block(new uint8_t[kReadBlock]);
  size_t mapped = 0;
  for (;;) {
    size_t got = 0;
    code = ReadFully(fd.get(), block.get(), kReadBlock, &got);
    if (code != error::kSuccess) {
      data->clear();
      return code;
    }
    if (got == 0) break;
    const size_t done = data->size();
    if (size >= kMapAheadFrom && done + got > mapped && mapped < data->capacity()) {
      const size_t step = std::min(kMapAhead, data->capacity() - mapped);
      MapPages(data->data() + mapped, step);
      mapped += step;
    }
    data->insert(data->end(), block.get(), block.get() + got);
    if (got < kReadBlock) break;
  }
  // A file that changed size while it was read: no more memory held than the contents need.
  if (data->capacity() - data->size() > kMapAhead) data->shrink_to_fit();
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

FileReader OpenWholeFile(const std::string& path, uint32_t* error) {
  FileReader reader;
  struct stat info;
  *error = error::kSuccess;
  reader.handle_ = OpenForReading(path, &info, error);
  if (reader.handle_ < 0) return reader;
  reader.size_ = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  reader.id_ = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return reader;
}

uint32_t ReplaceWholeFile(const std::string& path, std::string_view data) {
  return ReplaceWholeFile(path, [data](const PieceWriter& write) { return write(data); });
}

uint32_t ReplaceWholeFile(const std::string& path, const ContentsMaker& contents) {
  WriteTarget target;
  uint32_t code = FindWriteTarget(path, &target);
  if (code != error::kSuccess) return code;
  const Folder& parent = target.folder;
  const std::string& name = target.name;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();

  // Not following: a link that took the file's place since FindWriteTarget looked is refused as
  // anything else that is not a regular file is (see OpenRegular), rather than followed.
  struct stat old;
  const bool exists = ::fstatat(posix::FdOf(parent), entry.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) return ErrorFromErrno(errno);
  if (exists && !S_ISREG(old.st_mode)) return error::kAccessDenied;

  if (ReplaceThroughUnnamed(parent, entry, name, exists ? &old : nullptr, contents, &code)) {
    return code;
  }
  std::string temp_name;
  Descriptor fd(CreateTemporary(parent, name, &temp_name, &code));
  if (!fd.IsOpen()) return code;
  code = FillTemporary(fd.get(), exists ? &old : nullptr, contents);
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
  Descriptor fd(OpenForWriting(path, O_WRONLY | O_APPEND | O_CREAT, &info, &code));
  if (!fd.IsOpen()) return code;
  code = WriteFully(fd.get(), data);
  const uint32_t close_code = fd.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t OverwriteFile(const std::string& path, std::string_view data) {
  uint32_t code = error::kSuccess;
  struct stat info;
  // Not O_TRUNC here: a device or FIFO must be refused before anything is done to it.
  Descriptor fd(OpenForWriting(path, O_WRONLY | O_CREAT, &info, &code));
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
