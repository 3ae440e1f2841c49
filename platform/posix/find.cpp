// FindFirstFile/FindNextFile over getdents64 and one statx per matching entry, relative to the
// listed folder's descriptor. Names that do not match are never looked at, and "." and ".."
// (which the search only skips) are never looked at either. With deferred looks the statx of
// plain files is left to LookAtEntries, which the search runs on other threads, a batch at a
// time through an io_uring ring where the system has one (posix/look_ring.h).
#include "platform/find.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/limits.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/posix/internal.h"
#include "platform/posix/look_ring.h"

namespace platform {

namespace posix {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace posix

// The listed folder of a find with deferred looks, held open for the looks.
struct LookSource {
  LookSource(Folder listed, bool ntfs) : folder(std::move(listed)), ntfs_attributes(ntfs) {}
  Folder folder;
  bool ntfs_attributes;  // its entries carry real NTFS attributes (ntfs-3g)
};

namespace {

using posix::IsDotOrDotDot;

// What an entry is asked, in one statx call: everything a find record and
// GetCompressedFileSize need.
constexpr unsigned kEntryMask = STATX_TYPE | STATX_MODE | STATX_ATIME | STATX_MTIME | STATX_SIZE |
                                STATX_BLOCKS | STATX_BTIME | STATX_CTIME | STATX_INO;
// An entry is looked at itself: a link is not followed and an automount is not triggered.
constexpr int kEntryFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr const char* kNtfsAttributes = "system.ntfs_attrib_be";

FolderId IdOf(const struct statx& st) {
  return {makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino};
}

// A folder entry is a mount point when the kernel says it is the root of a mount; kernels that
// cannot say leave the device number as the only sign.
bool IsMountRoot(const struct statx& st, const FolderId& listed) {
  if (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
    return (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  return IdOf(st).device != listed.device;
}

// An NTFS volume served by ntfs-3g shows the real attribute bits of each file; asked once per
// listed folder, so other file systems pay one fstatfs per folder and nothing per entry.
bool ShowsNtfsAttributes(int fd) {
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0 || static_cast<unsigned long>(fs.f_type) != FUSE_SUPER_MAGIC) {
    return false;
  }
  char value[4];
  return fgetxattr(fd, kNtfsAttributes, value, sizeof value) == sizeof value;
}

// The real NTFS bits of `name` in the folder `fd`; false when ntfs-3g does not give them (a
// link, for one). The descriptor's /proc name reaches the entry without its full path.
bool ReadNtfsAttributes(int fd, const char* name, uint32_t* attributes) {
  char path[64 + NAME_MAX];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d/%s", fd, name);
  unsigned char value[4];
  if (lgetxattr(path, kNtfsAttributes, value, sizeof value) != sizeof value) return false;
  *attributes = static_cast<uint32_t>(value[0]) << 24 | static_cast<uint32_t>(value[1]) << 16 |
                static_cast<uint32_t>(value[2]) << 8 | value[3];
  return true;
}

// "." and "..": folders, reported only so that the search can skip them as Windows' does.
void DescribeDots(const char* name, FindRecord* entry) {
  entry->name.assign(name);
  entry->attributes = attr::kDirectory;
}

}  // namespace

namespace {

// What the entry's own statx `st` says, as LookAtEntry describes it.
void DescribeLooked(int fd, const char* name, const FolderId& listed, bool ntfs,
                    const struct statx* st, FindRecord* record, FolderId* target) {
  const bool dots = IsDotOrDotDot(name);
  const mode_t type = st->stx_mode & S_IFMT;
  uint32_t attributes = 0;
  if (target != nullptr) *target = FolderId{};
  if (type == S_IFDIR) {
    attributes |= attr::kDirectory;
    if (target != nullptr) *target = IdOf(*st);
    // "." and ".." are the listed folder and its parent, never mount points inside it.
    if (!dots && IsMountRoot(*st, listed)) attributes |= attr::kReparsePoint;
  } else if (type == S_IFLNK) {
    attributes |= attr::kReparsePoint;
    struct statx leads_to;
    if (statx(fd, name, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO, &leads_to) == 0 &&
        S_ISDIR(leads_to.stx_mode)) {
      attributes |= attr::kDirectory;
      if (target != nullptr) *target = IdOf(leads_to);
    }
  } else {
    if ((st->stx_mode & S_IWUSR) == 0) attributes |= attr::kReadOnly;
    if (type != S_IFREG) attributes |= attr::kDevice;
    if (type == S_IFREG) {
      attributes |= attr::kArchive;
      if ((st->stx_mask & STATX_BLOCKS) && 512 * st->stx_blocks < st->stx_size) {
        attributes |= attr::kSparse;
      }
    }
  }
  if (name[0] == '.' && !dots) attributes |= attr::kHidden;
  if (st->stx_attributes & STATX_ATTR_COMPRESSED) attributes |= attr::kCompressed;
  uint32_t real = 0;
  if (ntfs && ReadNtfsAttributes(fd, name, &real)) {
    // NTFS keeps every bit itself; only what the entry is and leads to is ours to say.
    constexpr uint32_t kOurs =
        attr::kDirectory | attr::kReparsePoint | attr::kNormal | attr::kDevice;
    attributes = (real & ~kOurs) | (attributes & (kOurs & ~attr::kNormal));
  }
  if (attributes == 0) attributes = attr::kNormal;

  record->attributes = attributes;
  record->size = type == S_IFREG ? st->stx_size : 0;
  record->last_write_time = posix::FileTimeFromStatx(st->stx_mtime);
  record->last_access_time = (st->stx_mask & STATX_ATIME) ? posix::FileTimeFromStatx(st->stx_atime)
                                                          : record->last_write_time;
  record->creation_time = (st->stx_mask & STATX_BTIME) ? posix::FileTimeFromStatx(st->stx_btime)
                                                       : record->last_write_time;
  record->has_creation_time = (st->stx_mask & STATX_BTIME) != 0;
  record->change_time = (st->stx_mask & STATX_CTIME) ? posix::FileTimeFromStatx(st->stx_ctime) : 0;
  record->has_allocated_size = type != S_IFDIR && (st->stx_mask & STATX_BLOCKS) != 0;
  record->allocated_size = record->has_allocated_size ? 512 * st->stx_blocks : 0;
}

}  // namespace

int posix::LookAtEntry(int fd, const char* name, const FolderId& listed, bool ntfs,
                       FindRecord* record, FolderId* target, struct statx* st) {
  if (statx(fd, name, kEntryFlags, kEntryMask, st) != 0) return errno;
  DescribeLooked(fd, name, listed, ntfs, st, record, target);
  return 0;
}

namespace {

using posix::LookAtEntry;

int Describe(int fd, const char* name, const FolderId& listed, bool ntfs, FindRecord* entry) {
  struct statx st;
  return LookAtEntry(fd, name, listed, ntfs, entry, &entry->target, &st);
}

// An entry the system lists but will not describe (a folder readable but not searchable):
// what the listing itself says, so that it is still found.
void DescribeFromType(const char* name, unsigned char type, FindRecord* entry) {
  entry->name.assign(name);
  uint32_t attributes = 0;
  if (type == DT_DIR) attributes |= attr::kDirectory;
  if (type == DT_LNK) attributes |= attr::kReparsePoint;
  if (type == DT_REG) attributes |= attr::kArchive;
  if (type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK) {
    attributes |= attr::kDevice;
  }
  if (name[0] == '.') attributes |= attr::kHidden;
  entry->attributes = attributes == 0 ? attr::kNormal : attributes;
}

// A type the listing gives for an entry that is neither a folder nor a link: its look can wait.
bool IsPlainType(unsigned char type) {
  return type == DT_REG || type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK;
}

// Every name of the open folder that matches `mask`, in listing order.
uint32_t ListMatching(const Folder& folder, const std::string& mask, bool defer_looks,
                      FindResult* result, bool* ntfs_attributes) {
  const int fd = posix::FdOf(folder);
  const bool every_name = mask == "*" || mask == "*.*";
  const bool ntfs = ShowsNtfsAttributes(fd);
  *ntfs_attributes = ntfs;
  return posix::ForEachListedEntry(fd, [&](const struct dirent64& listed) {
    const char* name = listed.d_name;
    if (!every_name && mask != name && !PathMatchSpec(name, mask)) return true;
    FindRecord& entry = result->entries.emplace_back();
    if (IsDotOrDotDot(name)) {
      DescribeDots(name, &entry);
    } else if (defer_looks && IsPlainType(listed.d_type)) {
      DescribeFromType(name, listed.d_type, &entry);
      entry.look_deferred = true;
    } else if (const int cause = Describe(fd, name, folder.Id(), ntfs, &entry); cause == 0) {
      entry.name.assign(name);
    } else if (cause == ENOENT) {
      result->entries.pop_back();  // deleted while we were listing: it is not there
    } else {
      DescribeFromType(name, listed.d_type, &entry);
    }
    return true;
  });
}

}  // namespace

uint32_t DescribeFoundEntry(const Folder& folder, std::string_view name, FindRecord* entry) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  const posix::EntryName checked(name);
  if (checked.error() != error::kSuccess) return checked.error();
  const int fd = posix::FdOf(folder);
  const int cause = Describe(fd, checked.c_str(), folder.Id(), ShowsNtfsAttributes(fd), entry);
  if (cause != 0) return ErrorFromErrno(cause);
  entry->name.assign(name);
  return error::kSuccess;
}

uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result, bool defer_looks) {
  result->entries.clear();
  result->folder = FolderId{};
  result->deferred.reset();
  if (!folder.IsOpen()) return error::kInvalidHandle;
  result->folder = folder.Id();
  if (IsFindMask(mask)) {
    bool ntfs = false;
    const uint32_t code = ListMatching(folder, std::string(mask), defer_looks, result, &ntfs);
    if (code != error::kSuccess) {
      result->entries.clear();
      return code;
    }
    for (const FindRecord& entry : result->entries) {
      if (entry.look_deferred) {
        result->deferred = std::make_shared<const LookSource>(std::move(folder), ntfs);
        break;
      }
    }
  } else {
    const std::string name(mask);
    FindRecord& entry = result->entries.emplace_back();
    if (IsDotOrDotDot(name.c_str())) {
      DescribeDots(name.c_str(), &entry);
    } else if (const uint32_t code = DescribeFoundEntry(folder, name, &entry);
               code != error::kSuccess) {
      result->entries.clear();
      return code == error::kPathNotFound ? error::kFileNotFound : code;
    }
  }
  return result->entries.empty() ? error::kFileNotFound : error::kSuccess;
}

void posix::LookAtAll(int fd, const FolderId& listed, bool ntfs, const char* const* names,
                      size_t count, FindRecord* const* records, int* causes,
                      std::unique_ptr<LookRing>* ring) {
  constexpr size_t kStep = LookRing::kDepth;
  const bool with_ring = ring != nullptr && *ring != nullptr;
  // The ring's answers, kept for the thread's next call: the walks and the search call this
  // once per batch, and a fresh buffer each time was an allocation and a page's worth of
  // zeroing per batch.
  thread_local std::vector<struct statx> results;
  if (with_ring && results.size() < std::min(kStep, count)) results.resize(std::min(kStep, count));
  for (size_t start = 0; start < count; start += kStep) {
    const size_t step = std::min(kStep, count - start);
    const bool through_ring = ring != nullptr && *ring != nullptr;
    if (through_ring && !(*ring)->StatAll(fd, names + start, step, kEntryFlags, kEntryMask,
                                          results.data(), causes + start)) {
      ring->reset();  // failed as a whole: the calls of their own from now on
    }
    for (size_t i = start; i < start + step; ++i) {
      if (through_ring && causes[i] == 0) {
        DescribeLooked(fd, names[i], listed, ntfs, &results[i - start], records[i], nullptr);
      } else if (!through_ring || causes[i] != ENOENT) {
        struct statx st;
        causes[i] = LookAtEntry(fd, names[i], listed, ntfs, records[i], nullptr, &st);
      }
    }
  }
}

void LookAtEntries(const DeferredLooks& batch) {
  posix::LookAtEntries(batch, posix::RingOfThisThread(batch.looks.size()));
}

namespace {

// What a thread's batches need beside the batch, kept from one batch to the next: the search
// hands out a batch per 256 plain files, and building these afresh (four allocations and 256
// records made and destroyed) was paid once per batch. A record is reused as it stands: a look
// writes every field a store reads, and never the name or the target (which stay empty).
struct LookScratch {
  std::vector<const char*> names;
  std::vector<FindRecord> looked;
  std::vector<FindRecord*> records;
  std::vector<int> causes;
};

}  // namespace

void posix::LookAtEntries(const DeferredLooks& batch, std::unique_ptr<LookRing>* ring) {
  if (!batch.source || !batch.source->folder.IsOpen()) return;
  const Folder& folder = batch.source->folder;
  const size_t count = batch.looks.size();
  // One per thread; a store (which only copies the record out) never looks again itself.
  thread_local LookScratch scratch;
  std::vector<const char*>& names = scratch.names;
  std::vector<FindRecord>& looked = scratch.looked;
  std::vector<FindRecord*>& records = scratch.records;
  std::vector<int>& causes = scratch.causes;
  if (looked.size() < count) looked.resize(count);
  names.resize(count);
  records.resize(count);
  causes.resize(count);
  for (size_t i = 0; i < count; ++i) {
    names[i] = batch.looks[i].name;
    records[i] = &looked[i];
  }
  LookAtAll(FdOf(folder), folder.Id(), batch.source->ntfs_attributes, names.data(), count,
            records.data(), causes.data(), ring);
  for (size_t i = 0; i < count; ++i) {
    // Replaced by a folder or a link since it was listed: the search has already treated it
    // as a plain file, so it keeps what the listing said rather than half of each.
    constexpr uint32_t kNotPlain = attr::kDirectory | attr::kReparsePoint;
    if (causes[i] != 0 || (looked[i].attributes & kNotPlain) != 0) continue;
    batch.store(batch.looks[i].destination, looked[i]);
  }
}

bool IsVolumeRoot(const std::string& path) {
  // A test of the text alone, as PathIsRoot is: "/" (however many slashes) is the one root
  // a path can name. A mount point inside the tree is an entry of its parent folder like any
  // other (a reparse point), so a search names it the same way whatever the mask.
  return !path.empty() && path.find_first_not_of(kPathSeparator) == std::string::npos;
}

uint32_t GetVolumeRootAttributes(const std::string& root, uint32_t* attributes,
                                 FolderId* folder_id) {
  uint32_t code = error::kSuccess;
  const Folder folder = Folder::Open(root, &code);
  if (!folder.IsOpen()) return code;
  FindRecord entry;
  code = DescribeFoundEntry(folder, ".", &entry);
  if (code != error::kSuccess) return code;
  *attributes = entry.attributes;
  *folder_id = folder.Id();
  return error::kSuccess;
}

bool FileTimeToLocalTime(FileTime time, SystemTime* local) {
  constexpr uint64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  if (time > static_cast<uint64_t>(INT64_MAX)) return false;
  const time_t seconds =
      static_cast<time_t>(static_cast<int64_t>(time / kTicksPerSecond) - kSecondsFrom1601To1970);
  tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return false;
  const int year = parts.tm_year + 1900;
  if (year < 1601 || year > 30827) return false;
  local->year = year;
  local->month = parts.tm_mon + 1;
  local->day_of_week = parts.tm_wday;
  local->day = parts.tm_mday;
  local->hour = parts.tm_hour;
  local->minute = parts.tm_min;
  local->second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  local->milliseconds = static_cast<int>(time / 10'000 % 1000);
  return true;
}

}  // namespace platform
