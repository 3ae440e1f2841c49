#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

uint32_t ErrorFromErrno(int errno_value, bool removing_directory) {
  switch (errno_value) {
    case ENOENT:
      return error::kFileNotFound;
    case ENOTDIR:
      return error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return error::kAccessDenied;
    case EBADF:
      return error::kInvalidHandle;
    case ENOMEM:
      return error::kNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
      return error::kSharingViolation;
    case ENOTTY:
    case EOPNOTSUPP:  // the same value as ENOTSUP on Linux
      return error::kNotSupported;
    case EINVAL:
      return error::kInvalidParameter;
    case ENOSPC:
      return error::kDiskFull;
    case ENOTEMPTY:
    case EEXIST:
      // rmdir reports a full folder as either of the two; elsewhere they mean the name is taken.
      return removing_directory ? error::kDirNotEmpty : error::kAlreadyExists;
    case ENAMETOOLONG:
      return error::kFilenameTooLong;
    case ELOOP:
      return error::kCantResolveFilename;
    default:
      // Also for 0: this is only asked after a call failed, and a failure whose cause was not
      // recorded must never come out as success.
      return error::kGenFailure;
  }
}

}  // namespace platform
