#include <cerrno>

#include "platform/file.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

// Who asks, where the callers need causes told apart that the general map folds together.
enum class Use {
  kGeneral,
  kRemovingDirectory,  // EEXIST/ENOTEMPTY: the folder is not empty
  kFile,               // the plain-file calls of file.h (the run log)
};

// The one errno map of this backend. A read-only file system is kAccessDenied in general: that
// is what the Win32 calls the callers follow give for most read-only media (a CD, a share), and
// what every deletion and library write has always reported. Only the file calls of file.h name
// it kWriteProtect (Windows' code for a write-protected medium), with the other causes of a
// refused write kept apart, because the run log tells the user which one stopped it.
uint32_t Map(int errno_value, Use use) {
  const bool file = use == Use::kFile;
  switch (errno_value) {
    case ENOENT:
      return error::kFileNotFound;
    case ENOTDIR:
      return error::kPathNotFound;
    case EROFS:
      return file ? error::kWriteProtect : error::kAccessDenied;
    case EISDIR:
      return file ? error::kBadFileType : error::kAccessDenied;
    case EACCES:
    case EPERM:
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
    case EDQUOT:
      return file ? error::kDiskQuotaExceeded : error::kGenFailure;
    case EFBIG:
      return file ? error::kFileTooLarge : error::kGenFailure;
    case ENXIO:  // a FIFO without a reader, a device that is not there
      return file ? error::kBadFileType : error::kGenFailure;
    case ENOTEMPTY:
    case EEXIST:
      // rmdir reports a full folder as either of the two; elsewhere they mean the name is taken.
      return use == Use::kRemovingDirectory ? error::kDirNotEmpty : error::kAlreadyExists;
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

}  // namespace

uint32_t ErrorFromErrno(int errno_value, bool removing_directory) {
  return Map(errno_value, removing_directory ? Use::kRemovingDirectory : Use::kGeneral);
}

uint32_t FileErrorFromErrno(int errno_value) { return Map(errno_value, Use::kFile); }

}  // namespace platform
