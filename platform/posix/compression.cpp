#include "platform/compression.h"

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/streams.h"

namespace platform {

namespace {

// The kernel's ntfs3 driver ("ntfs" read as a little-endian number).
constexpr long kNtfs3Magic = 0x7366746e;

enum class Kind { kBtrfs, kNtfs3, kNtfs3g, kOther };

// An open file (File) or folder (Folder), closed on every way out.
class OpenFile {
 public:
  // Opens `path` for reading (and for writing when `write` and it is a file). A FIFO or a
  // device is never opened for real: neither can be compressed, and opening one could block
  // or act on the device.
  uint32_t Open(const std::string& path, bool write) {
    if (path.empty()) return error::kPathNotFound;
    if (path.find('\0') != std::string::npos) return error::kInvalidName;
    const int probe = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (probe < 0) return ErrorFromErrno(errno);
    struct stat before;
    const int probed = fstat(probe, &before);
    close(probe);
    if (probed != 0) return ErrorFromErrno(errno);
    if (!S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode)) return error::kNotSupported;
    const FolderId seen{static_cast<uint64_t>(before.st_dev), static_cast<uint64_t>(before.st_ino)};
    uint32_t code = error::kSuccess;
    if (S_ISDIR(before.st_mode)) {
      folder_ = Folder::Open(path, &code);
      if (!folder_.IsOpen()) return code;
      // Swapped for another between the two opens: act on neither.
      return folder_.Id() == seen ? error::kSuccess : error::kSharingViolation;
    }
    file_ = posix::OpenRegularAt(AT_FDCWD, path.c_str(), write ? O_RDWR : O_RDONLY, 0, &code);
    if (code == error::kBadFileType) return error::kSharingViolation;  // no longer a file
    if (!file_.IsOpen()) return code;
    return file_.Id() == seen ? error::kSuccess : error::kSharingViolation;
  }
  int fd() const {
    return folder_.IsOpen() ? posix::FdOf(folder_) : static_cast<int>(file_.Handle());
  }
  bool is_folder() const { return folder_.IsOpen(); }
  uint64_t size() const { return file_.Size(); }

 private:
  File file_;
  Folder folder_;
};

Kind KindOf(const OpenFile& file, const std::string& path) {
  struct statfs fs;
  if (fstatfs(file.fd(), &fs) != 0) return Kind::kOther;
  const auto type = static_cast<unsigned long>(fs.f_type);
  if (type == BTRFS_SUPER_MAGIC) return Kind::kBtrfs;
  if (type == static_cast<unsigned long>(kNtfs3Magic)) return Kind::kNtfs3;
  uint32_t attributes = 0;
  if (type == FUSE_SUPER_MAGIC && GetNtfsAttributes(path, &attributes) == error::kSuccess) {
    return Kind::kNtfs3g;
  }
  return Kind::kOther;
}

uint32_t GetInodeFlags(int fd, int* flags) {
  return ioctl(fd, FS_IOC_GETFLAGS, flags) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

uint32_t SetInodeCompression(const OpenFile& file, bool compress) {
  int flags = 0;
  uint32_t code = GetInodeFlags(file.fd(), &flags);
  if (code != error::kSuccess) return code;
  const int wanted = compress ? (flags | FS_COMPR_FL) & ~FS_NOCOMP_FL : flags & ~FS_COMPR_FL;
  if (wanted != flags && ioctl(file.fd(), FS_IOC_SETFLAGS, &wanted) != 0) {
    return ErrorFromErrno(errno);
  }
  return error::kSuccess;
}

// Rewrites the file's data compressed, as NTFS compresses a file's contents when the file is
// compressed; the flag alone would only compress what is written later.
uint32_t CompressBtrfsData(const OpenFile& file) {
  if (file.is_folder() || file.size() == 0) return error::kSuccess;
  btrfs_ioctl_defrag_range_args range{};
  range.start = 0;
  range.len = static_cast<__u64>(-1);
  range.flags = BTRFS_DEFRAG_RANGE_COMPRESS | BTRFS_DEFRAG_RANGE_START_IO;
  range.compress_type = 0;  // the file system's default algorithm
  if (ioctl(file.fd(), BTRFS_IOC_DEFRAG_RANGE, &range) != 0) return ErrorFromErrno(errno);
  // START_IO only starts the writes; wait for them, so the data is compressed on return.
  return fdatasync(file.fd()) == 0 ? error::kSuccess : ErrorFromErrno(errno);
}

uint32_t SetNtfs3gCompression(const OpenFile& file, const std::string& path, bool compress) {
  uint32_t attributes = 0;
  const uint32_t code = GetNtfsAttributes(path, &attributes);
  if (code != error::kSuccess) return code;
  const bool compressed = (attributes & attr::kCompressed) != 0;
  if (compressed == compress) return error::kSuccess;
  if (!file.is_folder()) return error::kNotSupported;
  const uint32_t updated =
      compress ? attributes | attr::kCompressed : attributes & ~attr::kCompressed;
  return SetNtfsAttributes(path, updated);
}

}  // namespace

uint32_t GetFileCompression(const std::string& path, uint32_t* format) {
  OpenFile file;
  uint32_t code = file.Open(path, /*write=*/false);
  if (code != error::kSuccess) return code;
  int flags = 0;
  const Kind kind = KindOf(file, path);
  switch (kind) {
    case Kind::kBtrfs:
    case Kind::kNtfs3: {
      code = GetInodeFlags(file.fd(), &flags);
      if (code != error::kSuccess) return code;
      const uint32_t compressed =
          kind == Kind::kBtrfs ? compression::kDefault : compression::kLznt1;
      *format = (flags & FS_COMPR_FL) ? compressed : compression::kNone;
      return error::kSuccess;
    }
    case Kind::kNtfs3g: {
      uint32_t attributes = 0;
      code = GetNtfsAttributes(path, &attributes);
      if (code != error::kSuccess) return code;
      *format = (attributes & attr::kCompressed) ? compression::kLznt1 : compression::kNone;
      return error::kSuccess;
    }
    case Kind::kOther:
      break;
  }
  return error::kNotSupported;
}

uint32_t SetFileCompression(const std::string& path, uint32_t format) {
  // Opened first, as Windows opens the file before the file system sees the format: a missing
  // file is kFileNotFound whatever the format.
  OpenFile file;
  uint32_t code = file.Open(path, /*write=*/true);
  if (code != error::kSuccess) return code;
  if (format != compression::kNone && format != compression::kDefault &&
      format != compression::kLznt1) {
    return error::kInvalidParameter;
  }
  const bool compress = format != compression::kNone;
  switch (KindOf(file, path)) {
    case Kind::kBtrfs:
      code = SetInodeCompression(file, compress);
      if (code != error::kSuccess || !compress) return code;
      return CompressBtrfsData(file);
    case Kind::kNtfs3:
      return SetInodeCompression(file, compress);
    case Kind::kNtfs3g:
      return SetNtfs3gCompression(file, path, compress);
    case Kind::kOther:
      break;
  }
  return error::kNotSupported;
}

uint32_t GetEntryCompression(const Folder& folder, std::string_view name, uint32_t* format) {
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return GetFileCompression(path, format); });
}

uint32_t SetEntryCompression(const Folder& folder, std::string_view name, uint32_t format) {
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return SetFileCompression(path, format); });
}

}  // namespace platform
