// Folders, listings and single entries. Everything acts relative to an open folder descriptor
// (openat, statx, unlinkat), so a walk of any depth never resolves a long path again, and the
// by-path operations are the same code reached through the parent folder.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace posix {

EntryName::EntryName(std::string_view name) {
  buffer_[0] = '\0';
  if (name.size() > NAME_MAX) {
    error_ = error::kFilenameTooLong;
  } else if (name.find('/') != std::string_view::npos ||
             name.find('\0') != std::string_view::npos) {
    error_ = error::kInvalidName;
  } else {
    std::memcpy(buffer_, name.data(), name.size());
    buffer_[name.size()] = '\0';
  }
}

ParentAndName SplitParent(const std::string& path) {
  std::string_view rest = path;
  while (rest.size() > 1 && rest.back() == kPathSeparator) rest.remove_suffix(1);
  if (rest == "/") return {"/", "."};
  const size_t cut = rest.rfind(kPathSeparator);
  if (cut == std::string_view::npos) return {".", std::string(rest)};
  std::string_view parent = rest.substr(0, cut);
  while (!parent.empty() && parent.back() == kPathSeparator) parent.remove_suffix(1);
  if (parent.empty()) parent = "/";
  return {std::string(parent), std::string(rest.substr(cut + 1))};
}

Folder OpenParent(const std::string& path, std::string* name, uint32_t* error) {
  if (path.empty()) {
    *error = error::kPathNotFound;
    return Folder();
  }
  ParentAndName parts = SplitParent(path);
  *name = std::move(parts.name);
  return Folder::Open(parts.parent, error);
}

uint32_t ProcEntryPath(const Folder& folder, std::string_view name, std::string* path) {
  if (!folder.IsOpen() || folder.StandInToken() != 0 || FdOf(folder) < 0) {
    return error::kInvalidHandle;
  }
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  if (name.empty()) return error::kFileNotFound;
  const std::string fd_path = "/proc/self/fd/" + std::to_string(FdOf(folder));
  // Without /proc the path would name nothing, and every entry would seem missing.
  if (access(fd_path.c_str(), F_OK) != 0) return error::kNotSupported;
  *path = fd_path + "/" + entry.c_str();
  return error::kSuccess;
}

}  // namespace posix

Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error) {
  *error = error::kSuccess;
  Folder parent = posix::OpenParent(path, name, error);
  if (!parent.IsOpen() && *error == error::kSuccess) *error = error::kPathNotFound;
  return parent;
}

namespace {

using posix::EntryName;

// Asking a name what it is: a link is not followed and an automount is not triggered.
constexpr int kEntryFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

void SetError(uint32_t* error, uint32_t value) {
  if (error != nullptr) *error = value;
}

using posix::IsDotOrDotDot;

// Opens `path` relative to `dir` as a folder and reads its identity; -1 on failure. A missing
// name, or one that is not a folder, is kPathNotFound, as FindFirstFile says of "name\*.*".
//
// Folders are opened to be listed, and a listing refreshes the folder's access time, which a
// later selection by age (or any other program) may go by: the open asks for O_NOATIME. The
// kernel grants it only to the folder's owner (or with CAP_FOWNER) and says EPERM otherwise,
// and then the folder is opened as any reader opens it.
int OpenFolderAt(int dir, const char* path, FolderId* id, uint32_t* error,
                 bool follow_links = true) {
  const int flags = kFolderOpenFlags | (follow_links ? 0 : O_NOFOLLOW);
  int fd = openat(dir, path, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = openat(dir, path, flags);
  if (fd < 0) {
    const int cause = errno;
    SetError(error,
             cause == ENOENT || cause == ENOTDIR ? error::kPathNotFound : ErrorFromErrno(cause));
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int cause = errno;
    close(fd);
    SetError(error, ErrorFromErrno(cause));
    return -1;
  }
  id->device = st.st_dev;
  id->inode = st.st_ino;
  SetError(error, error::kSuccess);
  return fd;
}

// The descriptor a listing reads. The directory offset belongs to the open file description,
// which a thread beside this one or a process forked from this one shares with the Folder: a
// listing that read through the Folder's own descriptor could have its place moved by another
// one under it (and then give entries twice or miss them). So each listing reads through a
// description of its own, opened on "."; only where the folder may be read but not searched
// (no x bit), where "." cannot be opened, does it read the Folder's own descriptor from the
// start.
class ListingDescriptor {
 public:
  explicit ListingDescriptor(int folder) : folder_(folder) {
    own_ = openat(folder, ".", kFolderOpenFlags | O_NOATIME);
    if (own_ < 0 && errno == EPERM) own_ = openat(folder, ".", kFolderOpenFlags);
  }
  ListingDescriptor(const ListingDescriptor&) = delete;
  ListingDescriptor& operator=(const ListingDescriptor&) = delete;
  ~ListingDescriptor() {
    if (own_ >= 0) close(own_);
  }
  // The descriptor to read from its start, or -1 with errno set.
  int Start() const {
    if (own_ >= 0) return own_;
    return lseek(folder_, 0, SEEK_SET) < 0 ? -1 : folder_;
  }

 private:
  int folder_;
  int own_;
};

// A find record of an entry (all but its name). Returns 0 or an errno value.
int DescribeEntry(const Folder& folder, const char* name, FindRecord* record) {
  struct statx st;
  return posix::LookAtEntry(posix::FdOf(folder), name, folder.Id(), /*ntfs=*/false, record, nullptr,
                            &st);
}

// True when the open folder `fd` holds nothing but "." and "..". Reads from the current offset.
uint32_t HoldsOnlyDots(int fd, bool* empty) {
  *empty = true;
  // Only the first few entries matter: a small buffer.
  return posix::ForEachListedEntry<4096>(fd, [&](const struct dirent64& entry) {
    if (!IsDotOrDotDot(entry.d_name)) *empty = false;
    return *empty;
  });
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Folder

void Folder::Close() {
  // A stand-in's folder holds no handle to close.
  if (handle_ != NativeHandle::kNone) close(posix::FdOf(*this));
  handle_ = NativeHandle::kNone;
  token_ = 0;
  id_ = FolderId{};
}

// A path the kernel refuses as too long is opened one name at a time, as the kernel itself would
// resolve it (links followed, ".." the physical parent): the walks record and report full paths
// of any depth, and every operation by path must reach them too.
int OpenLongFolder(const std::string& path, FolderId* id, uint32_t* error, bool follow_last) {
  const bool absolute = path[0] == kPathSeparator;
  int dir = open(absolute ? "/" : ".", kFolderOpenFlags);
  if (dir < 0) {
    SetError(error, ErrorFromErrno(errno));
    return -1;
  }
  // Nothing but separators (a long run of them) names the root itself.
  const int root = OpenFolderAt(dir, ".", id, error);
  close(dir);
  if (root < 0) return -1;
  dir = root;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(kPathSeparator, start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      const std::string name = path.substr(start, end - start);
      const bool last = path.find_first_not_of(kPathSeparator, end) == std::string::npos;
      const int next = OpenFolderAt(dir, name.c_str(), id, error, follow_last || !last);
      close(dir);
      if (next < 0) return -1;
      dir = next;
    }
    start = end + 1;
  }
  return dir;
}

Folder Folder::Open(const std::string& path, uint32_t* error, bool follow_links) {
  if (path.find('\0') != std::string::npos) {
    SetError(error, error::kInvalidName);
    return Folder();
  }
  // A trailing separator would make the kernel follow a link in the last place after all.
  std::string name = path;
  if (!follow_links) {
    while (name.size() > 1 && name.back() == kPathSeparator) name.pop_back();
  }
  FolderId id;
  uint32_t code = error::kSuccess;
  int fd = OpenFolderAt(AT_FDCWD, name.c_str(), &id, &code, follow_links);
  if (fd < 0 && code == error::kFilenameTooLong) {
    fd = OpenLongFolder(name, &id, &code, follow_links);
  }
  SetError(error, code);
  return fd < 0 ? Folder() : posix::AdoptFd(fd, id);
}

Folder Folder::OpenEntry(std::string_view name, uint32_t* error, bool follow_links) const {
  if (!IsOpen()) {
    SetError(error, error::kInvalidHandle);
    return Folder();
  }
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) {
    SetError(error, entry.error());
    return Folder();
  }
  FolderId id;
  const int fd = OpenFolderAt(posix::FdOf(*this), entry.c_str(), &id, error, follow_links);
  return fd < 0 ? Folder() : posix::AdoptFd(fd, id);
}

// ---------------------------------------------------------------------------------------------
// Entries of an open folder

namespace {

// Describes records[k] as the entry names[k] of `folder` for every k through the one stat
// engine (posix::LookAtAll); causes[k] is 0 or the errno value. While a walk's StatPool lives
// on this thread the looks of a large batch go to the kernel a few hundred per system call
// (posix/look_ring.h), which it runs on its own workers beside this thread; otherwise, and
// where no ring can be had, one statx call each.
void DescribeAll(const Folder& folder, const char* const* names, FindRecord* const* records,
                 int* causes, size_t count) {
  posix::LookAtAll(posix::FdOf(folder), folder.Id(), /*ntfs=*/false, names, count, records, causes,
                   posix::RingOfThisThread(count));
}

}  // namespace

uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records) {
  records->clear();
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const ListingDescriptor listing(posix::FdOf(folder));
  const int fd = listing.Start();
  if (fd < 0) return ErrorFromErrno(errno);
  // The names first, then what each one is.
  std::string text;
  std::vector<size_t> starts;
  const uint32_t read = posix::ForEachListedEntry(fd, [&](const struct dirent64& entry) {
    starts.push_back(text.size());
    text.append(entry.d_name, std::strlen(entry.d_name) + 1);
    return true;
  });
  std::vector<const char*> names;
  names.reserve(starts.size());
  for (size_t start : starts) names.push_back(text.data() + start);
  records->resize(names.size());
  std::vector<FindRecord*> pointers(names.size());
  for (size_t k = 0; k < names.size(); ++k) pointers[k] = &(*records)[k];
  std::vector<int> causes(names.size());
  DescribeAll(folder, names.data(), pointers.data(), causes.data(), names.size());
  // An entry deleted while we were listing is not there; any other failure ends the listing.
  uint32_t code = error::kSuccess;
  size_t kept = 0;
  for (size_t k = 0; k < names.size() && code == error::kSuccess; ++k) {
    if (causes[k] == 0) {
      if (kept != k) (*records)[kept] = std::move((*records)[k]);
      (*records)[kept++].name.assign(names[k]);
    } else if (causes[k] != ENOENT) {
      code = ErrorFromErrno(causes[k]);
    }
  }
  records->resize(kept);
  return code != error::kSuccess ? code : read;
}

// ---------------------------------------------------------------------------------------------
// Batches for the walks that delete

namespace {

// A type the listing gives for an entry that is neither a folder nor a link.
bool IsPlainType(unsigned char type) {
  return type == DT_REG || type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK;
}

// What the listing alone says of a plain file: its type and its name.
void RecordFromType(unsigned char type, const char* name, FindRecord* record) {
  uint32_t attributes = type == DT_REG ? attr::kArchive : attr::kDevice;
  if (name[0] == '.') attributes |= attr::kHidden;
  record->attributes = attributes == 0 ? attr::kNormal : attributes;
}

}  // namespace

uint32_t posix::ListFolderNames(const Folder& folder, std::vector<FindRecord>* records,
                                bool* plain_files_described) {
  records->clear();
  *plain_files_described = false;
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const ListingDescriptor listing(FdOf(folder));
  const int fd = listing.Start();
  if (fd < 0) return ErrorFromErrno(errno);
  uint32_t code = error::kSuccess;
  // A large buffer: a folder of a thousand files is read in one or two calls.
  const uint32_t read = ForEachListedEntry<65536>(fd, [&](const struct dirent64& listed) {
    FindRecord& record = records->emplace_back();
    if (IsPlainType(listed.d_type)) {
      RecordFromType(listed.d_type, listed.d_name, &record);
    } else if (const int cause = DescribeEntry(folder, listed.d_name, &record); cause != 0) {
      records->pop_back();
      // An entry deleted while we were listing is not there; any other failure ends the
      // listing, as it ends ListFolder's.
      if (cause == ENOENT) return true;
      code = ErrorFromErrno(cause);
      return false;
    }
    record.name.assign(listed.d_name);
    return true;
  });
  return code != error::kSuccess ? code : read;
}

void posix::DescribeEntries(const Folder& folder, std::span<FindRecord* const> records,
                            uint32_t* codes) {
  std::vector<const char*> names;
  std::vector<FindRecord*> looked;
  std::vector<size_t> places;
  names.reserve(records.size());
  looked.reserve(records.size());
  places.reserve(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    FindRecord& record = *records[i];
    const EntryName checked(record.name);
    if (!folder.IsOpen()) {
      codes[i] = error::kInvalidHandle;
    } else if (checked.error() != error::kSuccess) {
      codes[i] = checked.error();
    } else if (record.name.empty()) {
      codes[i] = error::kInvalidName;
    } else {
      names.push_back(record.name.c_str());
      looked.push_back(&record);
      places.push_back(i);
    }
  }
  std::vector<int> causes(names.size());
  DescribeAll(folder, names.data(), looked.data(), causes.data(), names.size());
  for (size_t k = 0; k < names.size(); ++k) {
    codes[places[k]] = causes[k] == 0 ? error::kSuccess : ErrorFromErrno(causes[k]);
  }
}

uint32_t GetEntryAttributes(const Folder& folder, std::string_view name, uint32_t* attributes,
                            uint64_t* size) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  FindRecord record;
  const int cause = DescribeEntry(folder, entry.c_str(), &record);
  if (cause != 0) return ErrorFromErrno(cause);
  if (attributes != nullptr) *attributes = record.attributes;
  if (size != nullptr) *size = record.size;
  return error::kSuccess;
}

uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  const int fd = posix::FdOf(folder);
  struct statx st;
  if (statx(fd, entry.c_str(), kEntryFlags, STATX_TYPE | STATX_MODE, &st) != 0) {
    return ErrorFromErrno(errno);
  }
  const mode_t type = st.stx_mode & S_IFMT;
  if ((type != S_IFREG && type != S_IFDIR) || (st.stx_mode & S_IWUSR) != 0) {
    return error::kSuccess;
  }
  const mode_t mode = (st.stx_mode & 07777) | S_IWUSR;
  // NOFOLLOW: if the name became a link since the statx, its target must not change mode.
  if (fchmodat(fd, entry.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return error::kSuccess;
  if (errno != EOPNOTSUPP) return ErrorFromErrno(errno);
  // The C library says EOPNOTSUPP both for a link and when it cannot reach /proc to do the
  // no-follow change; only the second is worth a plain change.
  if (statx(fd, entry.c_str(), kEntryFlags, STATX_TYPE, &st) != 0) return ErrorFromErrno(errno);
  if (S_ISLNK(st.stx_mode)) return error::kSuccess;
  if (fchmodat(fd, entry.c_str(), mode, 0) != 0) return ErrorFromErrno(errno);
  return error::kSuccess;
}

uint32_t DeleteEntryFile(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  if (unlinkat(posix::FdOf(folder), entry.c_str(), 0) != 0) return ErrorFromErrno(errno);
  return error::kSuccess;
}

uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  const int fd = posix::FdOf(folder);
  if (unlinkat(fd, entry.c_str(), AT_REMOVEDIR) == 0) return error::kSuccess;
  const int cause = errno;
  if (cause != ENOTDIR) return ErrorFromErrno(cause, /*removing_directory=*/true);
  // Not a folder: a link (a junction) is removed itself, never what it leads to. Should the name
  // have become a folder meanwhile, unlinkat without AT_REMOVEDIR refuses it.
  struct statx st;
  if (statx(fd, entry.c_str(), kEntryFlags, STATX_TYPE, &st) != 0 || !S_ISLNK(st.stx_mode)) {
    return ErrorFromErrno(cause, /*removing_directory=*/true);
  }
  if (unlinkat(fd, entry.c_str(), 0) != 0) return ErrorFromErrno(errno, true);
  return error::kSuccess;
}

uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty) {
  *empty = false;
  uint32_t code = error::kSuccess;
  const Folder inner = folder.OpenEntry(name, &code);
  if (!inner.IsOpen()) return code;
  return HoldsOnlyDots(posix::FdOf(inner), empty);
}

// ---------------------------------------------------------------------------------------------
// By path

uint32_t GetFileAttributes(const std::string& path, uint32_t* attributes, uint64_t* size) {
  return posix::OnParent(path, [&](const Folder& parent, const std::string& name) {
    return GetEntryAttributes(parent, name, attributes, size);
  });
}

uint32_t SetFileAttributesNormal(const std::string& path) {
  return posix::OnParent(path, [](const Folder& parent, const std::string& name) {
    return SetEntryAttributesNormal(parent, name);
  });
}

uint32_t DeleteFile(const std::string& path) {
  return posix::OnParent(path, [](const Folder& parent, const std::string& name) {
    return DeleteEntryFile(parent, name);
  });
}

uint32_t RemoveDirectory(const std::string& path) {
  return posix::OnParent(path, [](const Folder& parent, const std::string& name) {
    return RemoveEntryDirectory(parent, name);
  });
}

uint32_t IsFolderEmpty(const std::string& path, bool* empty) {
  *empty = false;
  return posix::OnParent(path, [&](const Folder& parent, const std::string& name) {
    return IsEntryFolderEmpty(parent, name, empty);
  });
}

uint32_t CreateDirectory(const std::string& path) {
  return posix::OnParent(path, [](const Folder& parent, const std::string& name) {
    return CreateEntryDirectory(parent, name);
  });
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == kPathSeparator) return path;
  // getcwd with no buffer sizes its own, so a current folder deeper than PATH_MAX still works.
  char* current = getcwd(nullptr, 0);
  if (current == nullptr) return path;  // the current folder is gone: nothing better to offer
  std::string result = current;
  std::free(current);
  if (path.empty()) return result;
  if (result.back() != kPathSeparator) result += kPathSeparator;
  result += path;
  return result;
}

}  // namespace platform
