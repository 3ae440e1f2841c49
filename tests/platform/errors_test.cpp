// The POSIX backend's errno -> Windows error mapping, whose codes every caller above the platform
// relies on.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {
namespace {

TEST(ErrorFromErrnoTest, MapsTheCausesTheCleanerReports) {
  EXPECT_EQ(ErrorFromErrno(ENOENT), error::kFileNotFound);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR), error::kPathNotFound);
  EXPECT_EQ(ErrorFromErrno(EACCES), error::kAccessDenied);
  EXPECT_EQ(ErrorFromErrno(EPERM), error::kAccessDenied);
  EXPECT_EQ(ErrorFromErrno(EISDIR), error::kAccessDenied);
  EXPECT_EQ(ErrorFromErrno(EBUSY), error::kSharingViolation);
  EXPECT_EQ(ErrorFromErrno(ENOSPC), error::kDiskFull);
  EXPECT_EQ(ErrorFromErrno(EOPNOTSUPP), error::kNotSupported);
  EXPECT_EQ(ErrorFromErrno(ENAMETOOLONG), error::kFilenameTooLong);
  EXPECT_EQ(ErrorFromErrno(ELOOP), error::kCantResolveFilename);
  EXPECT_EQ(ErrorFromErrno(EXDEV), error::kGenFailure);
}

TEST(ErrorFromErrnoTest, FullFolderOnlyWhenRemovingAFolder) {
  EXPECT_EQ(ErrorFromErrno(ENOTEMPTY, true), error::kDirNotEmpty);
  EXPECT_EQ(ErrorFromErrno(EEXIST, true), error::kDirNotEmpty);
  EXPECT_EQ(ErrorFromErrno(EEXIST), error::kAlreadyExists);
  EXPECT_EQ(ErrorFromErrno(ENOTEMPTY), error::kAlreadyExists);
  EXPECT_EQ(ErrorFromErrno(ENOENT, true), error::kFileNotFound);
}

// A read-only file system: a denial for deletions and the library, the write-protect code only
// for the plain-file calls whose causes the run log names.
TEST(ErrorFromErrnoTest, TheFileCallsKeepApartWhatTheGeneralMapFolds) {
  EXPECT_EQ(ErrorFromErrno(EROFS), error::kAccessDenied);
  EXPECT_EQ(FileErrorFromErrno(EROFS), error::kWriteProtect);
  EXPECT_EQ(ErrorFromErrno(EDQUOT), error::kGenFailure);
  EXPECT_EQ(FileErrorFromErrno(EDQUOT), error::kDiskQuotaExceeded);
  EXPECT_EQ(FileErrorFromErrno(EFBIG), error::kFileTooLarge);
  EXPECT_EQ(FileErrorFromErrno(EISDIR), error::kBadFileType);
  EXPECT_EQ(FileErrorFromErrno(ENXIO), error::kBadFileType);
  EXPECT_EQ(FileErrorFromErrno(ENOSPC), error::kDiskFull);
  EXPECT_EQ(FileErrorFromErrno(EACCES), error::kAccessDenied);
  EXPECT_EQ(FileErrorFromErrno(0), error::kGenFailure);
}

TEST(ErrorFromErrnoTest, AFailureWithoutARecordedCauseIsNeverSuccess) {
  EXPECT_EQ(ErrorFromErrno(0), error::kGenFailure);
}

}  // namespace
}  // namespace platform
