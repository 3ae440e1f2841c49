// Named streams as "user." extended attributes, and the NTFS attribute bits ntfs-3g shows as
// "system.ntfs_attrib_be". The calls follow links (getxattr, not lgetxattr), as CreateFile on
// "F:NAME" does. The entry forms are the by-path calls on the entry's path through its folder's
// descriptor (posix::ProcEntryPath): the kernel reads no attribute through an O_PATH
// descriptor, and opening the entry itself to read one could wait on a FIFO.

#include "platform/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/internal.h"

namespace platform {

namespace {

constexpr std::string_view kStreamPrefix = "user.";
constexpr const char* kNtfsAttributes = "system.ntfs_attrib_be";
// The kernel's limit on an attribute name (XATTR_NAME_MAX), prefix included.
constexpr size_t kMaxAttributeName = 255;

// Runs call(c_path) and stores its result. A path too long for the kernel is reached through a
// descriptor of its parent folder (/proc/self/fd/N/NAME), as the other by-path operations reach
// paths of any length. Returns 0 or the errno value of the failure.
template <typename Call>
int CallOnPath(const std::string& path, Call call, ssize_t* result) {
  if (path.empty()) return ENOENT;
  if (path.find('\0') != std::string::npos) return EINVAL;
  *result = call(path.c_str());
  if (*result >= 0) return 0;
  const int cause = errno;
  if (cause != ENAMETOOLONG) return cause;
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder parent = posix::OpenParent(path, &name, &code);
  if (!parent.IsOpen() || name.size() > NAME_MAX) return ENAMETOOLONG;
  const std::string via_parent =
      "/proc/self/fd/" + std::to_string(posix::FdOf(parent)) + "/" + name;
  *result = call(via_parent.c_str());
  return *result >= 0 ? 0 : errno;
}

// Reads a value whose size the system tells first (getxattr, listxattr and their kin):
// fill(buffer, size) returns the bytes it wrote or -1 with errno set, and with size 0 the size
// it needs. A value that grew between the two calls (ERANGE) is asked again. Returns 0 or the
// errno value of the failure.
template <typename Fill>
int ReadSizedValue(Fill fill, std::string* value) {
  for (;;) {
    const ssize_t size = fill(nullptr, 0);
    if (size < 0) return errno;
    value->assign(static_cast<size_t>(size), '\0');
    const ssize_t read = fill(value->data(), value->size());
    if (read < 0 && errno == ERANGE) continue;
    if (read < 0) return errno;
    value->resize(static_cast<size_t>(read));
    return 0;
  }
}

// The same for a by-path call, through CallOnPath.
template <typename Call>
int ReadSizedValueOnPath(const std::string& path, Call call, std::string* value) {
  return ReadSizedValue(
      [&](char* buffer, size_t size) {
        ssize_t result = 0;
        const int cause = CallOnPath(
            path, [&](const char* p) { return call(p, buffer, size); }, &result);
        if (cause != 0) errno = cause;
        return cause != 0 ? -1 : result;
      },
      value);
}

// Adds the "user." names of an attribute list (NUL-terminated names of every namespace), the
// prefix removed: the file's alternate streams.
void AddStreamNames(std::string_view list, std::vector<std::string>* names) {
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find('\0', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view attribute = list.substr(start, end - start);
    if (attribute.size() > kStreamPrefix.size() && attribute.starts_with(kStreamPrefix)) {
      names->emplace_back(attribute.substr(kStreamPrefix.size()));
    }
    start = end + 1;
  }
}

uint32_t StreamError(int cause) {
  switch (cause) {
    case ENODATA:
      return error::kFileNotFound;
    case E2BIG:
      return error::kFileTooLarge;
    case EINVAL:
      return error::kInvalidName;
    default:
      return ErrorFromErrno(cause);
  }
}

// "user.NAME", or an error for a name no attribute can carry.
uint32_t AttributeName(std::string_view name, std::string* attribute) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return error::kInvalidName;
  if (kStreamPrefix.size() + name.size() > kMaxAttributeName) return error::kFilenameTooLong;
  attribute->assign(kStreamPrefix);
  attribute->append(name);
  return error::kSuccess;
}

// Reads the whole value of attribute `attribute`. The value may change size between asking
// for its size and reading it (ERANGE): then it is asked again.
int ReadAttribute(const std::string& path, const std::string& attribute, std::string* value) {
  return ReadSizedValueOnPath(
      path,
      [&](const char* p, char* buffer, size_t size) {
        return getxattr(p, attribute.c_str(), buffer, size);
      },
      value);
}

}  // namespace

uint32_t GetFileStream(const std::string& path, std::string_view name, std::string* value) {
  std::string attribute;
  const uint32_t code = AttributeName(name, &attribute);
  if (code != error::kSuccess) return code;
  const int cause = ReadAttribute(path, attribute, value);
  return cause == 0 ? error::kSuccess : StreamError(cause);
}

uint32_t SetFileStream(const std::string& path, std::string_view name, std::string_view value) {
  std::string attribute;
  const uint32_t code = AttributeName(name, &attribute);
  if (code != error::kSuccess) return code;
  ssize_t result = 0;
  const int cause = CallOnPath(
      path,
      [&](const char* p) {
        return static_cast<ssize_t>(setxattr(p, attribute.c_str(), value.data(), value.size(), 0));
      },
      &result);
  if (cause == 0) return error::kSuccess;
  // The name was checked above, so a size refused here is the value's.
  return cause == ERANGE ? error::kFileTooLarge : StreamError(cause);
}

uint32_t RemoveFileStream(const std::string& path, std::string_view name) {
  std::string attribute;
  const uint32_t code = AttributeName(name, &attribute);
  if (code != error::kSuccess) return code;
  ssize_t result = 0;
  const int cause = CallOnPath(
      path, [&](const char* p) { return static_cast<ssize_t>(removexattr(p, attribute.c_str())); },
      &result);
  return cause == 0 ? error::kSuccess : StreamError(cause);
}

uint32_t ListFileStreams(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  std::string list;
  const int cause = ReadSizedValueOnPath(
      path, [](const char* p, char* buffer, size_t size) { return listxattr(p, buffer, size); },
      &list);
  if (cause != 0) return StreamError(cause);
  AddStreamNames(list, names);
  return error::kSuccess;
}

uint32_t GetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string* value) {
  value->clear();
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return GetFileStream(path, stream, value); });
}

uint32_t SetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string_view value) {
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return SetFileStream(path, stream, value); });
}

uint32_t RemoveEntryStream(const Folder& folder, std::string_view name, std::string_view stream) {
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return RemoveFileStream(path, stream); });
}

uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                          std::vector<std::string>* names) {
  names->clear();
  return posix::OnProcEntryPath(
      folder, name, [&](const std::string& path) { return ListFileStreams(path, names); });
}

uint32_t GetNtfsAttributes(const std::string& path, uint32_t* attributes) {
  std::string value;
  const int cause = ReadAttribute(path, kNtfsAttributes, &value);
  // Other file systems do not know the "system." name at all, or (FUSE) have no such value.
  if (cause == ENODATA || cause == EOPNOTSUPP) return error::kNotSupported;
  if (cause != 0) return StreamError(cause);
  if (value.size() != 4) return error::kNotSupported;
  const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(value[i])); };
  *attributes = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
  return error::kSuccess;
}

uint32_t SetNtfsAttributes(const std::string& path, uint32_t attributes) {
  const char value[4] = {static_cast<char>(attributes >> 24), static_cast<char>(attributes >> 16),
                         static_cast<char>(attributes >> 8), static_cast<char>(attributes)};
  ssize_t result = 0;
  const int cause = CallOnPath(
      path,
      [&](const char* p) {
        return static_cast<ssize_t>(setxattr(p, kNtfsAttributes, value, sizeof value, 0));
      },
      &result);
  if (cause == ENODATA || cause == EOPNOTSUPP) return error::kNotSupported;
  return cause == 0 ? error::kSuccess : StreamError(cause);
}

namespace {

constexpr const char* kNtfsSecurityDescriptor = "system.ntfs_acl";
constexpr const char* kPosixAccessAcl = "system.posix_acl_access";

// Opens `path` for reading without waiting on a FIFO and without becoming a terminal's
// controlling process; a path too long for the kernel is opened relative to its parent.
int OpenForWalk(const std::string& path, int* cause) {
  constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (path.empty() || path.find('\0') != std::string::npos) {
    *cause = ENOENT;
    return -1;
  }
  int fd = open(path.c_str(), kFlags);
  if (fd >= 0 || errno != ENAMETOOLONG) {
    *cause = errno;
    return fd;
  }
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder parent = posix::OpenParent(path, &name, &code);
  if (!parent.IsOpen()) {
    *cause = ENAMETOOLONG;
    return -1;
  }
  fd = openat(posix::FdOf(parent), name.c_str(), kFlags);
  *cause = errno;
  return fd;
}

// The size of attribute `name` of the open file, or -1 (errno set) when it has none.
ssize_t AttributeSize(int fd, const std::string& name) {
  return fgetxattr(fd, name.c_str(), nullptr, 0);
}

// The "user." attribute names of the open file (prefix removed); false when the system cannot
// list them.
bool ListStreamNames(int fd, std::vector<std::string>* names) {
  std::string list;
  if (ReadSizedValue([fd](char* buffer, size_t size) { return flistxattr(fd, buffer, size); },
                     &list) != 0) {
    return false;
  }
  AddStreamNames(list, names);
  return true;
}

void WalkStreams(int fd, bool process_security, std::vector<BackupStreamHeader>* streams) {
  if (process_security) {
    ssize_t size = AttributeSize(fd, kNtfsSecurityDescriptor);
    if (size < 0) size = AttributeSize(fd, kPosixAccessAcl);
    if (size >= 0) {
      streams->push_back(
          {backup::kSecurityData, backup::kContainsSecurity, static_cast<uint64_t>(size), ""});
    }
  }
  struct stat status;
  if (fstat(fd, &status) != 0) return;
  if (S_ISREG(status.st_mode)) {
    streams->push_back({backup::kData, 0, static_cast<uint64_t>(status.st_size), ""});
  }
  std::vector<std::string> names;
  if (!ListStreamNames(fd, &names)) return;
  for (const std::string& name : names) {
    const ssize_t size = AttributeSize(fd, std::string(kStreamPrefix) + name);
    if (size < 0 && errno == ENODATA) continue;  // removed since the listing: no stream now
    if (size < 0) return;
    streams->push_back(
        {backup::kAlternateData, 0, static_cast<uint64_t>(size), ":" + name + ":$DATA"});
  }
}

}  // namespace

uint32_t ReadBackupStreams(const std::string& path, bool process_security,
                           std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  int cause = 0;
  const int fd = OpenForWalk(path, &cause);
  if (fd < 0) return ErrorFromErrno(cause);
  WalkStreams(fd, process_security, streams);
  close(fd);
  return error::kSuccess;
}

uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name, bool process_security,
                                std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  return posix::OnProcEntryPath(folder, name, [&](const std::string& path) {
    return ReadBackupStreams(path, process_security, streams);
  });
}

}  // namespace platform
