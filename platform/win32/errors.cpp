// The C runtime's errno values as Windows error codes, for the few C library calls a Windows
// build still makes; the backend itself reports GetLastError values and NTSTATUS mapped by
// RtlNtStatusToDosError (boundary.cpp).
#include <cerrno>

#include "platform/platform.h"

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
      return error::kSharingViolation;
    case EINVAL:
      return error::kInvalidParameter;
    case ENOSPC:
      return error::kDiskFull;
    case ENOTEMPTY:
    case EEXIST:
      return removing_directory ? error::kDirNotEmpty : error::kAlreadyExists;
    case ENAMETOOLONG:
      return error::kFilenameTooLong;
    default:
      return error::kGenFailure;
  }
}

}  // namespace platform
