#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::RaisedBy;
using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

class BinaryFiles : public ::testing::Test {
 protected:
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
};

TEST_F(BinaryFiles, GetFileBReadsEveryByte) {
  WriteBytes(dir / "f", std::string("\0\xFF\x01z", 4));
  bool success = false;
  EXPECT_EQ(fso->GetFileB(Name(dir / "f"), false, &success), (Bytes{0, 0xFF, 1, 'z'}));
  EXPECT_TRUE(success);
  WriteBytes(dir / "empty", "");
  success = false;
  EXPECT_TRUE(fso->GetFileB(Name(dir / "empty"), false, &success).empty());
  EXPECT_TRUE(success);
}

TEST_F(BinaryFiles, GetFileBOfAMissingFileFailsOrRaises53) {
  bool success = true;
  EXPECT_TRUE(fso->GetFileB(Name(dir / "missing"), false, &success).empty());
  EXPECT_FALSE(success);
  const support::Error error = RaisedBy([&] { fso->GetFileB(Name(dir / "missing"), true); });
  EXPECT_EQ(error.number(), 53);
  EXPECT_EQ(error.source(), "orvFSO");
  EXPECT_EQ(error.description(), "Файл не найден");
  // A folder is no file either.
  EXPECT_EQ(RaisedBy([&] { fso->GetFileB(Name(dir.path()), true); }).number(), 53);
}

TEST_F(BinaryFiles, GetFileBRefusesAFileTooLargeForAByteArrayWithoutReadingIt) {
  // Sparse: 2 GiB of size, no blocks; nothing of it may be allocated or read.
  const int fd = open((dir / "huge").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 2147483648LL), 0);
  close(fd);
  bool success = true;
  EXPECT_TRUE(fso->GetFileB(Name(dir / "huge"), false, &success).empty());
  EXPECT_FALSE(success);
  const support::Error error = RaisedBy([&] { fso->GetFileB(Name(dir / "huge"), true); });
  EXPECT_EQ(error.number(), 7);
  EXPECT_EQ(error.source(), "orvFSO");
}

TEST_F(BinaryFiles, PutFileBLeavesExactlyTheNewBytes) {
  WriteBytes(dir / "f", "a longer old text");
  EXPECT_TRUE(fso->PutFileB(Name(dir / "f"), Bytes{'n', 0, 'w'}));
  EXPECT_EQ(ReadBytes(dir / "f"), std::string("n\0w", 3));
  EXPECT_TRUE(fso->PutFileB(Name(dir / "f"), Bytes{}));  // no bytes: an empty file, a success
  EXPECT_EQ(ReadBytes(dir / "f"), "");
  EXPECT_TRUE(fso->PutFileB(Name(dir / "new"), Bytes{'x'}));
  EXPECT_EQ(ReadBytes(dir / "new"), "x");
}

TEST_F(BinaryFiles, PutFileBKeepsTheModeAndALink) {
  WriteBytes(dir / "target", "old");
  chmod((dir / "target").c_str(), 0600);
  symlink("target", (dir / "link").c_str());
  ASSERT_TRUE(fso->PutFileB(Name(dir / "link"), Bytes{'n', 'e', 'w'}));
  struct stat info;
  ASSERT_EQ(lstat((dir / "link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadBytes(dir / "target"), "new");
  ASSERT_EQ(stat((dir / "target").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(BinaryFiles, WritersGiveTheMappedErrorForFoldersAndMissingPaths) {
  for (auto write : {&orvFSO::PutFileB, &orvFSO::AppendFileB, &orvFSO::OverwriteFileB}) {
    EXPECT_FALSE(((*fso).*write)(Name(dir.path()), Bytes{'x'}, false));
    EXPECT_EQ(RaisedBy([&] { ((*fso).*write)(Name(dir.path()), Bytes{'x'}, true); }).number(), 70);
    EXPECT_EQ(RaisedBy([&] { ((*fso).*write)(Name(dir / "no/f"), Bytes{'x'}, true); }).number(),
              76);
  }
}

TEST_F(BinaryFiles, AppendFileBCreatesThenKeepsTheOldBytes) {
  EXPECT_TRUE(fso->AppendFileB(Name(dir / "f"), Bytes{'a', 'b'}));
  EXPECT_TRUE(fso->AppendFileB(Name(dir / "f"), Bytes{}));
  EXPECT_TRUE(fso->AppendFileB(Name(dir / "f"), Bytes{'c'}));
  EXPECT_EQ(ReadBytes(dir / "f"), "abc");
}

TEST_F(BinaryFiles, OverwriteFileBKeepsTheFileItsStreamsAndAttributes) {
  WriteBytes(dir / "f", "old and long");
  chmod((dir / "f").c_str(), 0444);  // read-only, which root may still write
  const bool stream =
      setxattr((dir / "f").c_str(), "user.Zone.Identifier", "[ZoneTransfer]", 14, 0) == 0;
  struct stat before, after;
  stat((dir / "f").c_str(), &before);
  if (geteuid() != 0) chmod((dir / "f").c_str(), 0644);
  EXPECT_TRUE(fso->OverwriteFileB(Name(dir / "f"), Bytes{'n', 'e', 'w'}));
  stat((dir / "f").c_str(), &after);
  EXPECT_EQ(ReadBytes(dir / "f"), "new");
  EXPECT_EQ(before.st_ino, after.st_ino);
  if (stream) {
    EXPECT_EQ(getxattr((dir / "f").c_str(), "user.Zone.Identifier", nullptr, 0), 14);
  }
  EXPECT_TRUE(fso->OverwriteFileB(Name(dir / "missing"), Bytes{'x'}));
  EXPECT_EQ(ReadBytes(dir / "missing"), "x");
}

TEST_F(BinaryFiles, NamesThatAreNotUtf8StillReachTheirFile) {
  const std::string native = dir / "bad\xFF.bin";
  WriteBytes(native, "data");
  bool success = false;
  EXPECT_EQ(fso->GetFileB(Name(native), false, &success), (Bytes{'d', 'a', 't', 'a'}));
  EXPECT_TRUE(success);
}

}  // namespace
}  // namespace quern
