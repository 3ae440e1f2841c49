// Looks at many entries through one io_uring ring: the same answers as a statx call each, for
// lists longer than one submission, with missing names among them; and rings turned off.
#include "platform/posix/look_ring.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/test_files.h"

namespace platform::posix {
namespace {

using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

TEST(LookRing, EveryLookOfALongListAnswersAsItsOwnStatxCall) {
  std::unique_ptr<LookRing> ring = LookRing::Open();
  if (ring == nullptr) GTEST_SKIP() << "no io_uring with statx on this system";
  TempFolder dir;
  // Two and a half submissions; every seventh name missing but one, which is a folder.
  std::vector<std::string> names;
  for (size_t i = 0; i < 2 * LookRing::kDepth + LookRing::kDepth / 2; ++i) {
    names.push_back("f" + std::to_string(i));
    if (i % 7 != 3) WriteBytes(dir / names.back(), std::string(i * 13 % 700, 'x'));
  }
  ASSERT_EQ(mkdir((dir / "f3").c_str(), 0755), 0);
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  const int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_INO | STATX_MTIME;
  std::vector<struct statx> results(names.size());
  std::vector<int> causes(names.size(), -1);
  EXPECT_TRUE(ring->StatAll(fd, pointers.data(), names.size(), AT_SYMLINK_NOFOLLOW, kMask,
                            results.data(), causes.data()));
  for (size_t i = 0; i < names.size(); ++i) {
    struct statx expected;
    const int cause =
        statx(fd, pointers[i], AT_SYMLINK_NOFOLLOW, kMask, &expected) == 0 ? 0 : errno;
    ASSERT_EQ(causes[i], cause) << names[i];
    if (cause != 0) continue;
    EXPECT_EQ(results[i].stx_ino, expected.stx_ino) << names[i];
    EXPECT_EQ(results[i].stx_mode, expected.stx_mode) << names[i];
    EXPECT_EQ(results[i].stx_size, expected.stx_size) << names[i];
    EXPECT_EQ(results[i].stx_mtime.tv_sec, expected.stx_mtime.tv_sec) << names[i];
  }
  // The ring serves the next list as well.
  EXPECT_TRUE(ring->StatAll(fd, pointers.data(), 1, AT_SYMLINK_NOFOLLOW, kMask, results.data(),
                            causes.data()));
  EXPECT_EQ(causes[0], 0);
  close(fd);
}

TEST(LookRing, TurnedOffThereIsNone) {
  AllowLookRings(false);
  EXPECT_EQ(LookRing::Open(), nullptr);
  AllowLookRings(true);
}

}  // namespace
}  // namespace platform::posix
