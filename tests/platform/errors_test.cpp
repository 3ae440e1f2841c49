// The POSIX backend's errno -> Windows error mapping, whose codes every caller above the platform
// relies on.

#include <gtest/gtest.h>

#include <cerrno>

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

TEST(ErrorFromErrnoTest, AFailureWithoutARecordedCauseIsNeverSuccess) {
  EXPECT_EQ(ErrorFromErrno(0), error::kGenFailure);
}

}  // namespace
}  // namespace platform
