// Helpers shared by the files of the POSIX backend. Nothing above platform/ includes this.
#pragma once

#include <dirent.h>
#include <linux/limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/find.h"
#include "platform/platform.h"

namespace platform {

// Maps an errno value to the Windows error code that stands for it.
// `removing_directory` turns EEXIST/ENOTEMPTY into kDirNotEmpty (else kAlreadyExists).
uint32_t ErrorFromErrno(int errno_value, bool removing_directory = false);
// The same map for the plain-file calls of file.h, which keep apart the causes the run log names
// (kWriteProtect, kDiskQuotaExceeded, kFileTooLarge, kBadFileType; see file.h).
uint32_t FileErrorFromErrno(int errno_value);

}  // namespace platform

namespace platform::posix {

// The descriptor of an open folder (-1 when it is closed), and a folder owning descriptor `fd`.
inline int FdOf(const Folder& folder) { return static_cast<int>(folder.Handle()); }
inline Folder AdoptFd(int fd, const FolderId& id) {
  return Folder::Adopt(static_cast<NativeHandle>(fd), id);
}

// Opens `name` in the folder `dir` (AT_FDCWD: `name` is a path) as a regular file and as
// nothing else, the one way every file of the backend is opened. `flags` are open(2)'s; O_NOFOLLOW
// among them refuses a link in the last place. Anything but a regular file gives kBadFileType
// and is never waited on: unless the open creates exclusively, what is at the name is looked at
// first and a device, FIFO or socket is not even opened (opening a device can act: a tape
// rewinds); the open itself is non-blocking, and the descriptor's fstat decides, standing for
// whatever was put there in between. The non-blocking flag is dropped again for the reads and
// writes of the file that remains. `map` turns the errno of a failed call into the code
// (EEXIST is always kFileExists). On failure the result is closed and *error holds why.
File OpenRegularAt(int dir, const char* name, int flags, mode_t mode, uint32_t* error,
                   uint32_t (*map)(int) = nullptr);

// FileOpening::kCreateLocked of the entry `name` of the folder `dir`: the file is made and
// locked under a hidden name beside it, then linked to `name`, so that it is never seen
// unlocked. Errors as for writing (FileErrorFromErrno); on failure no file is left behind.
uint32_t CreateLockedAt(int dir, const char* name, File* file);

// The user's home folder: $HOME, else what the account database says; "" when neither knows.
std::string HomeFolder();

// A per-user XDG base folder: $`variable` when it holds an absolute path (the XDG base
// directory rules call a relative one invalid and say to ignore it), else HOME/`under_home`;
// "" without a home. No trailing separator. Every reader of the user's XDG folders uses this.
std::string XdgUserFolder(const char* variable, const char* under_home);

// FILETIME ticks for a Unix time (seconds and nanoseconds since 1970-01-01 UTC). Times before
// 1601 give 0; times past the largest signed 64-bit tick count give that count.
FileTime FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// FILETIME ticks for a statx timestamp (same rules as FileTimeFromUnix).
FileTime FileTimeFromStatx(const struct statx_timestamp& time);

// A path cut before its last component. Trailing separators are dropped first; "/" gives
// {"/", "."}; a path without a separator has the parent "."; "a//b" gives {"a", "b"}.
struct ParentAndName {
  std::string parent;
  std::string name;
};
ParentAndName SplitParent(const std::string& path);

// Opens the parent folder of `path` (see SplitParent) and sets *name to the last component.
// On failure the result is closed and *error holds the code (kPathNotFound for an empty path or
// a missing parent). This is how every by-path operation reaches its entry.
Folder OpenParent(const std::string& path, std::string* name, uint32_t* error);

// The by-path form of an entry operation: opens the parent folder of `path` and returns
// action(parent, name), or the error of opening the parent.
template <typename Action>
uint32_t OnParent(const std::string& path, Action action) {
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder parent = OpenParent(path, &name, &code);
  if (!parent.IsOpen()) return code != error::kSuccess ? code : error::kPathNotFound;
  return action(parent, name);
}

// The path of the entry `name` of the open folder `folder` through the folder's descriptor
// ("/proc/self/fd/N/NAME"), for the entry calls the kernel offers only by path (getxattr and its
// kin refuse an O_PATH descriptor) and those served by a by-path call: the path resolves
// through the descriptor whatever became of the folder's own path, and making it opens
// nothing, so a FIFO or device at the name is never waited on nor acted on. A link at the name
// is followed by the calls that follow one. kInvalidHandle for a folder that is not open (or
// a stand-in's), kFileNotFound for an empty name, EntryName's refusals, kNotSupported when
// /proc is not mounted.
uint32_t ProcEntryPath(const Folder& folder, std::string_view name, std::string* path);
// call(path) on that path, or the error of making it.
template <typename Call>
uint32_t OnProcEntryPath(const Folder& folder, std::string_view name, Call call) {
  std::string path;
  const uint32_t code = ProcEntryPath(folder, name, &path);
  return code != error::kSuccess ? code : call(path);
}

// Reads the open folder `fd` from its current offset and calls visit(const dirent64&) for each
// entry, in listing order, for as long as it returns true. Returns kSuccess (also when visit
// stopped) or the error of reading the folder. A caller that expects to stop early asks for a
// smaller buffer, so the kernel does not list a large folder only to have it thrown away.
template <size_t kBufferSize = 32768, typename Visit>
uint32_t ForEachListedEntry(int fd, Visit visit) {
  alignas(8) char buffer[kBufferSize];
  for (;;) {
    const ssize_t size = getdents64(fd, buffer, sizeof buffer);
    if (size < 0) return ErrorFromErrno(errno);
    if (size == 0) return error::kSuccess;
    for (ssize_t offset = 0; offset < size;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      if (!visit(*entry)) return error::kSuccess;
    }
  }
}

bool IsDotOrDotDot(const char* name);

// The record (all but the name) of entry `name` of the open folder `fd` (identity `listed`, which
// tells mount points), from one statx that neither follows a link nor triggers an automount, and a
// second only for a link, to learn whether it leads to a folder (then *target, when not null, is
// that folder). With `ntfs` the attribute bits ntfs-3g keeps replace ours. Every listing and every
// search describes entries through this one function. Returns 0 or an errno value; *st is the
// entry's own statx.
int LookAtEntry(int fd, const char* name, const FolderId& listed, bool ntfs, FindRecord* record,
                FolderId* target, struct statx* st);

// The machine's FileSystem::ListFolderNames and DescribeEntries (platform/file_system.h):
// plain files are listed from their type alone, and described a batch at a time.
uint32_t ListFolderNames(const Folder& folder, std::vector<FindRecord>* records,
                         bool* plain_files_described);
void DescribeEntries(const Folder& folder, std::span<FindRecord* const> records, uint32_t* codes);

class LookRing;

// The one stat engine: every look at many entries of one folder, for the walks' listings and
// batches as for the search's deferred looks, comes here. records[i] (all but its name) is
// described as LookAtEntry describes names[i]; causes[i] is 0 or the errno value, and a failed
// look leaves its record as it was. Through `*ring` when it holds one (look_ring.h), a step of
// looks per system call, with any look the ring could not make made again by a call of its own,
// so that the ring never changes an answer; a ring that fails as a whole is dropped (*ring is
// reset) and the looks go on without it. `ring` may be null.
void LookAtAll(int fd, const FolderId& listed, bool ntfs, const char* const* names, size_t count,
               FindRecord* const* records, int* causes, std::unique_ptr<LookRing>* ring);

// LookAtEntries (platform/find.h) through LookAtAll.
void LookAtEntries(const DeferredLooks& batch, std::unique_ptr<LookRing>* ring);

// The ring the looks of the current thread go through (stat_pool.cpp): a pool worker's own; on
// any other thread the one its live StatPools share, opened by the first call with at least
// `looks` worth a ring; null when no StatPool lives on this thread or no ring can be had (the
// looks are then made one call each). Valid until the thread's last StatPool ends.
std::unique_ptr<LookRing>* RingOfThisThread(size_t looks);

// An entry name copied onto the stack with its terminating NUL, for the *at() calls, so acting
// on an entry allocates nothing. A name that could never be one entry of a folder is refused
// here rather than handed to the kernel: longer than NAME_MAX -> kFilenameTooLong; a "/" (which
// would reach into another folder) or a NUL byte -> kInvalidName. "." and ".." are accepted.
class EntryName {
 public:
  explicit EntryName(std::string_view name);
  uint32_t error() const { return error_; }
  const char* c_str() const { return buffer_; }

 private:
  char buffer_[NAME_MAX + 1];
  uint32_t error_ = error::kSuccess;
};

}  // namespace platform::posix
