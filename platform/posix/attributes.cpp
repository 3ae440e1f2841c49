#include "platform/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/streams.h"

namespace platform {

namespace {

// What SetFileAttributes may change on NTFS: read-only, hidden, system, archive, normal,
// temporary, offline and not-content-indexed.
constexpr uint32_t kSettable = 0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x1000 | 0x2000;

uint32_t SetModeBits(const Folder& parent, const posix::EntryName& entry, uint32_t attributes) {
  const int fd = posix::FdOf(parent);
  struct statx st;
  if (statx(fd, entry.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_MODE, &st) != 0) {
    return ErrorFromErrno(errno);
  }
  const mode_t type = st.stx_mode & S_IFMT;
  if (type != S_IFREG && type != S_IFDIR) return error::kSuccess;
  const bool read_only = type == S_IFREG && (attributes & attr::kReadOnly) != 0;
  const mode_t old_mode = st.stx_mode & 07777;
  const mode_t mode = read_only ? old_mode & ~S_IWUSR : old_mode | S_IWUSR;
  if (mode == old_mode) return error::kSuccess;
  // NOFOLLOW: should the name have become a link since the statx, its target is not changed.
  if (fchmodat(fd, entry.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return error::kSuccess;
  if (errno != EOPNOTSUPP) return ErrorFromErrno(errno);
  // The C library says EOPNOTSUPP both for a link and when it cannot reach /proc for the
  // no-follow change; only the second deserves a plain change.
  if (statx(fd, entry.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &st) != 0) {
    return ErrorFromErrno(errno);
  }
  if (S_ISLNK(st.stx_mode)) return error::kSuccess;
  return fchmodat(fd, entry.c_str(), mode, 0) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

}  // namespace

uint32_t SetEntryAttributes(const Folder& folder, std::string_view name, uint32_t attributes) {
  const posix::EntryName entry(name);
  if (entry.error() != error::kSuccess) return entry.error();
  struct statx st;
  if (statx(posix::FdOf(folder), entry.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &st) != 0) {
    return ErrorFromErrno(errno);
  }
  if (S_ISLNK(st.stx_mode)) return error::kSuccess;
  // The NTFS bits are reached through the folder's descriptor, which is no link.
  std::string path;
  uint32_t ntfs = 0;
  if (posix::ProcEntryPath(folder, name, &path) == error::kSuccess &&
      GetNtfsAttributes(path, &ntfs) == error::kSuccess) {
    // NORMAL is only the name for "nothing set"; NTFS stores no bit for it.
    const uint32_t wanted = attributes & kSettable & ~attr::kNormal;
    const uint32_t updated = (ntfs & ~kSettable) | wanted;
    return updated == ntfs ? error::kSuccess : SetNtfsAttributes(path, updated);
  }
  return SetModeBits(folder, entry, attributes);
}

uint32_t SetFileAttributes(const std::string& path, uint32_t attributes) {
  return posix::OnParent(path, [&](const Folder& parent, const std::string& name) {
    return SetEntryAttributes(parent, name, attributes);
  });
}

}  // namespace platform
