// Whole files on POSIX. Each function reaches its file from the open folder it is given (openat),
// so paths of any length work like the other entry operations, and each checks the opened
// descriptor with fstat rather than the name, which could change in between.
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

// The by-path calls here answer as CreateFile does on Windows: what is no regular file (a
// folder, a FIFO, a device or a socket, whose "whole contents" never end, /dev/zero, or wait for
// a writer that may never come) is access denied.
uint32_t ByPathError(uint32_t code) {
  return code == error::kBadFileType ? error::kAccessDenied : code;
}

int Fd(const File& file) { return static_cast<int>(file.Handle()); }

// Opens the regular file `name` of `folder` for reading (a link there followed).
File OpenForReading(const Folder& folder, std::string_view name, uint32_t* code) {
  *code = error::kSuccess;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) {
    *code = entry.error();
    return File();
  }
  File file = posix::OpenRegularAt(posix::FdOf(folder), entry.c_str(), O_RDONLY, 0, code);
  *code = ByPathError(*code);
  return file;
}

// Writes all of `data`, retrying short writes.
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
  Folder held;  // the folder reached, when the walk left the one it started in
  int fd = -1;  // the folder that holds the file: held's, or the starting one's
  std::string name;
};

// Finds where a write lands, walking the components on *pending (a stack: the next one at its
// back) one at a time from the folder `start`, following every link itself (in the last place
// too: a link to a file is written through, and stays) under MayFollowLink, so no link on the
// way is followed that the kernel's rule would refuse; such a link gives kAccessDenied, as
// EACCES from the kernel does. A missing last component is where a new file goes (also at the
// end of a dangling link); a missing folder on the way is kPathNotFound; more than 40 links
// (the kernel's own limit) kCantResolveFilename. The folders are held open (O_PATH: searching
// them is enough) so that nothing on the way can be swapped once passed.
uint32_t FindWriteTarget(int start, std::vector<std::string> pending, WriteTarget* target) {
  constexpr int kMaxLinks = 40;
  constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  // Each folder on the way is held with its identity, the last one for the caller.
  auto hold = [](int fd) {
    struct stat folder;
    FolderId id;
    if (fd >= 0 && ::fstat(fd, &folder) == 0) {
      id = {static_cast<uint64_t>(folder.st_dev), static_cast<uint64_t>(folder.st_ino)};
    }
    return posix::AdoptFd(fd, id);
  };
  int current = start;
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
        target->held = hold(::open("/", kWalkFlags));
        if (!target->held.IsOpen()) return ErrorFromErrno(errno);
        current = posix::FdOf(target->held);
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
    target->held = hold(next);
    current = next;
  }
  target->fd = current;
  return error::kSuccess;
}

// Where a write to the entry `name` of `folder` lands.
uint32_t FindWriteTarget(const Folder& folder, std::string_view name, WriteTarget* target) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  if (name.empty() || name.find('/') != std::string_view::npos) return error::kInvalidName;
  return FindWriteTarget(posix::FdOf(folder), {std::string(name)}, target);
}

// Opens the regular file a write to `name` of `folder` lands on (FindWriteTarget) with `flags`,
// refusing anything else as OpenForReading does; a link put in the file's place since it was
// looked at is refused too.
File OpenForWriting(const Folder& folder, std::string_view name, int flags, uint32_t* code) {
  WriteTarget target;
  *code = FindWriteTarget(folder, name, &target);
  if (*code != error::kSuccess) return File();
  const EntryName entry(target.name);
  File file = posix::OpenRegularAt(target.fd, entry.c_str(), flags | O_NOFOLLOW, 0666, code);
  *code = ByPathError(*code);
  return file;
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
File CreateTemporary(int folder, const std::string& name, std::string* temp_name, uint32_t* code) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temp_name = TemporaryName(name);
    const int fd =
        ::openat(folder, temp_name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return File::Adopt(fd, 0, {});
    if (errno == EEXIST || errno == EINTR) continue;
    *code = ErrorFromErrno(errno);
    return File();
  }
  *code = error::kFileExists;
  return File();
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
File CreateUnnamed(int folder) {
#if defined(O_TMPFILE)
  if (::access("/proc/self/fd", X_OK) != 0) return File();
  int fd;
  do {
    fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? File() : File::Adopt(fd, 0, {});
#else
  (void)folder;
  return File();
#endif
}

// Gives the unnamed file `fd` the name `name` in `folder`: through its /proc/self/fd link,
// which anyone may follow, else directly (AT_EMPTY_PATH, which needs CAP_DAC_READ_SEARCH).
// Fails with EEXIST when the name is taken: a link never replaces anything.
int NameUnnamed(int fd, int folder, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  if (errno != ENOENT) return -1;
  return ::linkat(fd, "", folder, name, AT_EMPTY_PATH);
}

// Writes the new contents into an unnamed file and puts it in place of `name`. A missing file
// is linked under its own name at once; an existing one is replaced by a rename from a
// temporary name, the only moment at which a kill could leave something behind. Returns false
// (with nothing done) where no unnamed file can be had.
bool ReplaceThroughUnnamed(int parent, const EntryName& entry, const std::string& name,
                           const struct stat* old, const ContentsMaker& contents, uint32_t* code) {
  const File fd = CreateUnnamed(parent);
  if (!fd.IsOpen()) return false;
  *code = FillTemporary(Fd(fd), old, contents);
  if (*code != error::kSuccess) return true;  // closing drops the unnamed file
  if (old == nullptr) {
    if (NameUnnamed(Fd(fd), parent, entry.c_str()) == 0) return true;
    if (errno != EEXIST) {  // else someone made the file meanwhile: replace it as below
      *code = ErrorFromErrno(errno);
      return true;
    }
  }
  std::string temp_name;
  for (int attempt = 0;; ++attempt) {
    temp_name = TemporaryName(name);
    if (NameUnnamed(Fd(fd), parent, temp_name.c_str()) == 0) break;
    if (errno != EEXIST || attempt == 15) {
      *code = errno == EEXIST ? error::kFileExists : ErrorFromErrno(errno);
      return true;
    }
  }
  if (::renameat(parent, temp_name.c_str(), parent, entry.c_str()) != 0) {
    *code = ErrorFromErrno(errno);
    ::unlinkat(parent, temp_name.c_str(), 0);
  }
  return true;
}

}  // namespace

uint32_t ReadEntryWhole(const Folder& folder, std::string_view name, std::vector<uint8_t>* data) {
  data->clear();
  uint32_t code = error::kSuccess;
  const File fd = OpenForReading(folder, name, &code);
  if (!fd.IsOpen()) return code;
  const size_t size = static_cast<size_t>(fd.Size());
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
    code = fd.ReadUpTo(data->size(), block.get(), kReadBlock, &got);
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

uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                        std::vector<uint8_t>* data, uint64_t* size) {
  data->clear();
  uint32_t code = error::kSuccess;
  const File fd = OpenForReading(folder, name, &code);
  if (!fd.IsOpen()) return code;
  *size = fd.Size();
  data->resize(max_bytes);
  size_t done = 0;
  code = fd.ReadUpTo(0, data->data(), max_bytes, &done);
  data->resize(code == error::kSuccess ? done : 0);
  return code;
}

File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error) {
  return OpenForReading(folder, name, error);
}

uint32_t ReplaceEntryFile(const Folder& folder, std::string_view entry_name,
                          const ContentsMaker& contents) {
  WriteTarget target;
  uint32_t code = FindWriteTarget(folder, entry_name, &target);
  if (code != error::kSuccess) return code;
  const int parent = target.fd;
  const std::string& name = target.name;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();

  // Not following: a link that took the file's place since FindWriteTarget looked is refused as
  // anything else that is not a regular file is (see OpenRegular), rather than followed.
  struct stat old;
  const bool exists = ::fstatat(parent, entry.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) return ErrorFromErrno(errno);
  if (exists && !S_ISREG(old.st_mode)) return error::kAccessDenied;

  if (ReplaceThroughUnnamed(parent, entry, name, exists ? &old : nullptr, contents, &code)) {
    return code;
  }
  std::string temp_name;
  File fd = CreateTemporary(parent, name, &temp_name, &code);
  if (!fd.IsOpen()) return code;
  code = FillTemporary(Fd(fd), exists ? &old : nullptr, contents);
  if (const uint32_t close_code = fd.Close(); code == error::kSuccess) code = close_code;
  if (code == error::kSuccess &&
      ::renameat(parent, temp_name.c_str(), parent, entry.c_str()) != 0) {
    code = ErrorFromErrno(errno);
  }
  if (code != error::kSuccess) ::unlinkat(parent, temp_name.c_str(), 0);
  return code;
}

uint32_t AppendEntryFile(const Folder& folder, std::string_view name, std::string_view data) {
  uint32_t code = error::kSuccess;
  File fd = OpenForWriting(folder, name, O_WRONLY | O_APPEND | O_CREAT, &code);
  if (!fd.IsOpen()) return code;
  code = WriteFully(Fd(fd), data);
  const uint32_t close_code = fd.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name, std::string_view data) {
  uint32_t code = error::kSuccess;
  // Not O_TRUNC here: a device or FIFO must be refused before anything is done to it.
  File fd = OpenForWriting(folder, name, O_WRONLY | O_CREAT, &code);
  if (!fd.IsOpen()) return code;
  if (::ftruncate(Fd(fd), 0) != 0) return ErrorFromErrno(errno);
  code = WriteFully(Fd(fd), data);
  const uint32_t close_code = fd.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t GetEntryFileSize(const Folder& folder, std::string_view name, uint64_t* size) {
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  struct stat info;
  if (::fstatat(posix::FdOf(folder), entry.c_str(), &info, 0) != 0) return ErrorFromErrno(errno);
  *size = S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  return error::kSuccess;
}

Folder OpenWriteFolder(const std::string& path, uint32_t* error) {
  *error = error::kSuccess;
  if (path.empty()) {
    *error = error::kPathNotFound;
    return Folder();
  }
  if (path.find('\0') != std::string::npos) {
    *error = error::kInvalidName;
    return Folder();
  }
  const int start = ::open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (start < 0) {
    *error = ErrorFromErrno(errno);
    return Folder();
  }
  struct stat info;
  FolderId id;
  if (::fstat(start, &info) == 0) {
    id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  }
  Folder held = posix::AdoptFd(start, id);
  // The folder itself is the last "entry" of the walk, so every component is a folder on the
  // way, links in the last place resolved like the others.
  std::vector<std::string> pending{"."};
  PushComponents(path, &pending);
  WriteTarget target;
  *error = FindWriteTarget(start, std::move(pending), &target);
  if (*error != error::kSuccess) return Folder();
  return target.held.IsOpen() ? std::move(target.held) : std::move(held);
}

}  // namespace platform
