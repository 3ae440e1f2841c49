// Named streams (user. attributes), SetFileAttributes and compression on the ordinary file
// system of the temporary folder; real btrfs and NTFS volumes are tested in fileio.
#include "platform/streams.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "common/test_files.h"
#include "platform/attributes.h"
#include "platform/compression.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace {

using platform::error::kFileNotFound;
using platform::error::kSuccess;

class StreamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    file_ = folder_ / "file.txt";
    std::ofstream(file_) << "contents";
    if (setxattr(file_.c_str(), "user.probe", "", 0, 0) != 0) {
      GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    }
    removexattr(file_.c_str(), "user.probe");
  }
  orvanel::testing::TempFolder folder_;
  std::string file_;
};

TEST_F(StreamsTest, SetGetListRemove) {
  std::string value;
  EXPECT_EQ(platform::GetFileStream(file_, "Zone.Identifier", &value), kFileNotFound);
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_EQ(platform::SetFileStream(file_, "Zone.Identifier", binary), kSuccess);
  ASSERT_EQ(platform::SetFileStream(file_, "empty", ""), kSuccess);
  ASSERT_EQ(platform::GetFileStream(file_, "Zone.Identifier", &value), kSuccess);
  EXPECT_EQ(value, binary);
  ASSERT_EQ(platform::GetFileStream(file_, "empty", &value), kSuccess);
  EXPECT_EQ(value, "");

  std::vector<std::string> names;
  ASSERT_EQ(platform::ListFileStreams(file_, &names), kSuccess);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Zone.Identifier", "empty"}));

  EXPECT_EQ(platform::RemoveFileStream(file_, "empty"), kSuccess);
  EXPECT_EQ(platform::RemoveFileStream(file_, "empty"), kFileNotFound);
  std::ifstream in(file_);
  std::string contents((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(contents, "contents");
}

TEST_F(StreamsTest, FollowsALinkToTheFile) {
  const std::string link = folder_ / "link";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  ASSERT_EQ(platform::SetFileStream(link, "s", "v"), kSuccess);
  std::string value;
  ASSERT_EQ(platform::GetFileStream(file_, "s", &value), kSuccess);
  EXPECT_EQ(value, "v");
}

TEST_F(StreamsTest, ErrorsSayWhatWentWrong) {
  std::string value;
  EXPECT_EQ(platform::GetFileStream(folder_ / "missing", "s", &value), kFileNotFound);
  EXPECT_EQ(platform::GetFileStream(folder_ / "no/such", "s", &value),
            platform::error::kFileNotFound);
  EXPECT_EQ(platform::SetFileStream(folder_ / "missing", "s", "v"), kFileNotFound);
  EXPECT_EQ(platform::SetFileStream(file_, "", "v"), platform::error::kInvalidName);
  EXPECT_EQ(platform::SetFileStream(file_, std::string("a\0b", 3), "v"),
            platform::error::kInvalidName);
  EXPECT_EQ(platform::SetFileStream(file_, std::string(251, 'n'), "v"),
            platform::error::kFilenameTooLong);
  EXPECT_EQ(platform::SetFileStream(file_, "big", std::string(1 << 20, 'x')),
            platform::error::kFileTooLarge);
  std::vector<std::string> names;
  EXPECT_EQ(platform::ListFileStreams(folder_ / "missing", &names), kFileNotFound);
}

TEST_F(StreamsTest, NtfsAttributesAreNotSupportedElsewhere) {
  uint32_t attributes = 0;
  EXPECT_EQ(platform::GetNtfsAttributes(file_, &attributes), platform::error::kNotSupported);
}

TEST(Streams, TmpfsHoldsStreamsOrSaysNotSupported) {
  // /dev/shm is tmpfs: newer kernels keep user attributes there, older ones refuse them.
  char pattern[] = "/dev/shm/streams-test-XXXXXX";
  const int fd = mkstemp(pattern);
  if (fd < 0) GTEST_SKIP() << "no /dev/shm";
  close(fd);
  const uint32_t code = platform::SetFileStream(pattern, "s", "v");
  unlink(pattern);
  EXPECT_TRUE(code == kSuccess || code == platform::error::kNotSupported) << code;
}

uint32_t Mode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(StreamsTest, ReadOnlyIsTheOwnerWriteBitOfAFile) {
  chmod(file_.c_str(), 0664);
  ASSERT_EQ(platform::SetFileAttributes(file_, platform::attr::kReadOnly), kSuccess);
  EXPECT_EQ(Mode(file_), 0464u);
  ASSERT_EQ(platform::SetFileAttributes(file_, platform::attr::kHidden), kSuccess);
  EXPECT_EQ(Mode(file_), 0664u) << "hidden alone is not read-only";
  ASSERT_EQ(platform::SetFileAttributes(file_, platform::attr::kNormal), kSuccess);
  EXPECT_EQ(Mode(file_), 0664u);
}

TEST_F(StreamsTest, AFolderNeverLosesItsWriteBitAndALinkIsLeftAlone) {
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  ASSERT_EQ(platform::SetFileAttributes(sub, platform::attr::kReadOnly), kSuccess);
  EXPECT_EQ(Mode(sub), 0755u);
  const std::string link = folder_ / "link";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  chmod(file_.c_str(), 0644);
  ASSERT_EQ(platform::SetFileAttributes(link, platform::attr::kReadOnly), kSuccess);
  EXPECT_EQ(Mode(file_), 0644u);
  EXPECT_EQ(platform::SetFileAttributes(folder_ / "missing", platform::attr::kNormal),
            kFileNotFound);
}

TEST_F(StreamsTest, CompressionIsNotSupportedWhereNothingCompresses) {
  uint32_t format = 99;
  // The temporary folder is expected on a file system without compression (ext4, tmpfs, xfs).
  const uint32_t code = platform::GetFileCompression(file_, &format);
  if (code == kSuccess) GTEST_SKIP() << "the temporary folder is on a compressing file system";
  EXPECT_EQ(code, platform::error::kNotSupported);
  EXPECT_EQ(platform::SetFileCompression(file_, platform::compression::kLznt1),
            platform::error::kNotSupported);
  EXPECT_EQ(platform::SetFileCompression(folder_.path(), platform::compression::kNone),
            platform::error::kNotSupported);
}

TEST_F(StreamsTest, CompressionOfAMissingFileOrAWrongFormat) {
  uint32_t format = 0;
  EXPECT_EQ(platform::GetFileCompression(folder_ / "missing", &format), kFileNotFound);
  EXPECT_EQ(platform::GetFileCompression(folder_ / "no/such", &format),
            platform::error::kFileNotFound);
  EXPECT_EQ(platform::SetFileCompression(folder_ / "missing", 7), kFileNotFound);
  EXPECT_EQ(platform::SetFileCompression(file_, 3), platform::error::kInvalidParameter);
  EXPECT_EQ(platform::SetFileCompression(file_, 0xFFFFFFFFu), platform::error::kInvalidParameter);
}

TEST_F(StreamsTest, CompressionOfAFifoIsRefusedWithoutOpeningIt) {
  const std::string fifo = folder_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  uint32_t format = 0;
  // Opening a FIFO for reading would wait for a writer for ever.
  EXPECT_EQ(platform::GetFileCompression(fifo, &format), platform::error::kNotSupported);
  EXPECT_EQ(platform::SetFileCompression(fifo, 1), platform::error::kNotSupported);
}

// ---- The entry forms, as the machine's file system serves them

std::string Attribute(const std::string& path, const std::string& name) {
  char buffer[256];
  const ssize_t size = getxattr(path.c_str(), ("user." + name).c_str(), buffer, sizeof buffer);
  return size < 0 ? "<none>" : std::string(buffer, static_cast<size_t>(size));
}

TEST_F(StreamsTest, EntryFormsActThroughTheFolderWhereverItMoved) {
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  std::ofstream(sub + "/f") << "data";
  uint32_t code = kSuccess;
  const platform::Folder folder = platform::Folder::Open(sub, &code);
  ASSERT_TRUE(folder.IsOpen()) << code;
  ASSERT_EQ(rename(sub.c_str(), (folder_ / "moved").c_str()), 0);
  platform::FileSystem& files = platform::RealFileSystem();
  ASSERT_EQ(files.SetEntryStream(folder, "f", "s", "v"), kSuccess);
  EXPECT_EQ(Attribute(folder_ / "moved/f", "s"), "v");
  std::string value;
  ASSERT_EQ(files.GetEntryStream(folder, "f", "s", &value), kSuccess);
  EXPECT_EQ(value, "v");
  std::vector<std::string> names;
  ASSERT_EQ(files.ListEntryStreams(folder, "f", &names), kSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"s"});
  EXPECT_EQ(files.RemoveEntryStream(folder, "f", "s"), kSuccess);
  EXPECT_EQ(files.RemoveEntryStream(folder, "f", "s"), kFileNotFound);
  // A name reaches no other folder, and an empty one names nothing.
  EXPECT_EQ(files.SetEntryStream(folder, "../file.txt", "s", "v"), platform::error::kInvalidName);
  EXPECT_EQ(Attribute(file_, "s"), "<none>");
  EXPECT_EQ(files.GetEntryStream(folder, "", "s", &value), kFileNotFound);
  EXPECT_EQ(files.GetEntryStream(platform::Folder(), "f", "s", &value),
            platform::error::kInvalidHandle);
}

TEST_F(StreamsTest, EntryFormsFollowALinkForStreamsButAttributesLeaveIt) {
  ASSERT_EQ(symlink("file.txt", (folder_ / "link").c_str()), 0);
  uint32_t code = kSuccess;
  const platform::Folder folder = platform::Folder::Open(folder_.path(), &code);
  ASSERT_TRUE(folder.IsOpen()) << code;
  platform::FileSystem& files = platform::RealFileSystem();
  ASSERT_EQ(files.SetEntryStream(folder, "link", "s", "through"), kSuccess);
  EXPECT_EQ(Attribute(file_, "s"), "through");
  chmod(file_.c_str(), 0644);
  ASSERT_EQ(files.SetEntryAttributes(folder, "link", platform::attr::kReadOnly), kSuccess);
  EXPECT_EQ(Mode(file_), 0644u);
  ASSERT_EQ(files.SetEntryAttributes(folder, "file.txt", platform::attr::kReadOnly), kSuccess);
  EXPECT_EQ(Mode(file_), 0444u);
  EXPECT_EQ(files.SetEntryAttributes(folder, "missing", platform::attr::kNormal), kFileNotFound);
}

TEST_F(StreamsTest, EntryFormsNeverWaitOnAFifo) {
  ASSERT_EQ(mkfifo((folder_ / "fifo").c_str(), 0644), 0);
  uint32_t code = kSuccess;
  const platform::Folder folder = platform::Folder::Open(folder_.path(), &code);
  ASSERT_TRUE(folder.IsOpen()) << code;
  platform::FileSystem& files = platform::RealFileSystem();
  std::string value;
  EXPECT_EQ(files.GetEntryStream(folder, "fifo", "s", &value), kFileNotFound);
  std::vector<std::string> names;
  EXPECT_EQ(files.ListEntryStreams(folder, "fifo", &names), kSuccess);
  EXPECT_TRUE(names.empty());
  uint32_t format = 0;
  EXPECT_EQ(files.GetEntryCompression(folder, "fifo", &format), platform::error::kNotSupported);
  EXPECT_EQ(files.SetEntryCompression(folder, "fifo", 1), platform::error::kNotSupported);
  EXPECT_EQ(files.SetEntryAttributes(folder, "fifo", platform::attr::kReadOnly), kSuccess);
}

TEST_F(StreamsTest, ByPathHelpersGiveTheCodesOfTheByPathCalls) {
  platform::FileSystem& files = platform::RealFileSystem();
  std::string value;
  EXPECT_EQ(platform::GetFileStream(files, folder_ / "missing", "s", &value), kFileNotFound);
  EXPECT_EQ(platform::GetFileStream(files, folder_ / "no/such", "s", &value), kFileNotFound);
  EXPECT_EQ(platform::GetFileStream(files, "", "s", &value), kFileNotFound);
  uint32_t format = 0;
  EXPECT_EQ(platform::GetFileCompression(files, folder_ / "missing", &format), kFileNotFound);
  EXPECT_EQ(platform::SetFileCompression(files, file_, 3), platform::error::kInvalidParameter);
  // A folder named with its trailing separator is the folder.
  ASSERT_EQ(platform::SetFileStream(files, folder_.path() + "/", "tag", "x"), kSuccess);
  EXPECT_EQ(Attribute(folder_.path(), "tag"), "x");
  std::vector<std::string> names;
  ASSERT_EQ(platform::ListFileStreams(files, folder_.path(), &names), kSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"tag"});
}

}  // namespace
