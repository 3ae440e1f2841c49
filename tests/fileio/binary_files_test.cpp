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

#include "cleaner/temp_folder.h"
#include "fileio/orvFSO.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using sweepwell::testing::TempFolder;
using Bytes = std::vector<uint8_t>;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The error `call` raises; a test failure when it raises none.
template <class Call>
support::Error RaisedBy(Call call) {
  try {
    call();
  } catch (const support::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error raised";
  return support::Error(0, "");
}

// chattr +i on `path` for the life of the object (root only; the bits mean nothing to root).
class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)) {
    ok_ = geteuid() == 0 && std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~Immutable() {
    if (ok_) std::system(("chattr -i '" + path_ + "'").c_str());
  }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

class BinaryFiles : public ::testing::Test {
 protected:
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
};

TEST_F(BinaryFiles, GetFileBReadsEveryByte) {
  Write(dir / "f", std::string("\0\xFF\x01z", 4));
  bool success = false;
  EXPECT_EQ(fso->GetFileB(Name(dir / "f"), false, &success), (Bytes{0, 0xFF, 1, 'z'}));
  EXPECT_TRUE(success);
  Write(dir / "empty", "");
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
  Write(dir / "f", "a longer old text");
  EXPECT_TRUE(fso->PutFileB(Name(dir / "f"), Bytes{'n', 0, 'w'}));
  EXPECT_EQ(Read(dir / "f"), std::string("n\0w", 3));
  EXPECT_TRUE(fso->PutFileB(Name(dir / "f"), Bytes{}));  // no bytes: an empty file, a success
  EXPECT_EQ(Read(dir / "f"), "");
  EXPECT_TRUE(fso->PutFileB(Name(dir / "new"), Bytes{'x'}));
  EXPECT_EQ(Read(dir / "new"), "x");
}

TEST_F(BinaryFiles, PutFileBKeepsTheModeAndALink) {
  Write(dir / "target", "old");
  chmod((dir / "target").c_str(), 0600);
  symlink("target", (dir / "link").c_str());
  ASSERT_TRUE(fso->PutFileB(Name(dir / "link"), Bytes{'n', 'e', 'w'}));
  struct stat info;
  ASSERT_EQ(lstat((dir / "link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(Read(dir / "target"), "new");
  ASSERT_EQ(stat((dir / "target").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(BinaryFiles, AFailedPutFileBLeavesTheOldContents) {
  mkdir((dir / "locked").c_str(), 0755);
  Write(dir / "locked/f", "precious");
  {
    Immutable lock(dir / "locked");
    if (!lock.ok()) GTEST_SKIP() << "needs root and chattr to make a folder refuse new files";
    EXPECT_FALSE(fso->PutFileB(Name(dir / "locked/f"), Bytes{'x'}));
    const support::Error error =
        RaisedBy([&] { fso->PutFileB(Name(dir / "locked/f"), Bytes{'x'}, true); });
    EXPECT_EQ(error.number(), 70);
    EXPECT_EQ(error.source(), "orvFSO");
  }
  EXPECT_EQ(Read(dir / "locked/f"), "precious");
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
  EXPECT_EQ(Read(dir / "f"), "abc");
}

TEST_F(BinaryFiles, OverwriteFileBKeepsTheFileItsStreamsAndAttributes) {
  Write(dir / "f", "old and long");
  chmod((dir / "f").c_str(), 0444);  // read-only, which root may still write
  const bool stream =
      setxattr((dir / "f").c_str(), "user.Zone.Identifier", "[ZoneTransfer]", 14, 0) == 0;
  struct stat before, after;
  stat((dir / "f").c_str(), &before);
  if (geteuid() != 0) chmod((dir / "f").c_str(), 0644);
  EXPECT_TRUE(fso->OverwriteFileB(Name(dir / "f"), Bytes{'n', 'e', 'w'}));
  stat((dir / "f").c_str(), &after);
  EXPECT_EQ(Read(dir / "f"), "new");
  EXPECT_EQ(before.st_ino, after.st_ino);
  if (stream) {
    EXPECT_EQ(getxattr((dir / "f").c_str(), "user.Zone.Identifier", nullptr, 0), 14);
  }
  EXPECT_TRUE(fso->OverwriteFileB(Name(dir / "missing"), Bytes{'x'}));
  EXPECT_EQ(Read(dir / "missing"), "x");
}

TEST_F(BinaryFiles, OverwriteFileBOfAnUnwritableFileFailsWith70) {
  Write(dir / "f", "keep");
  Immutable lock(dir / "f");
  if (!lock.ok()) GTEST_SKIP() << "needs root and chattr for a file that cannot be written";
  EXPECT_FALSE(fso->OverwriteFileB(Name(dir / "f"), Bytes{'x'}));
  const support::Error error =
      RaisedBy([&] { fso->OverwriteFileB(Name(dir / "f"), Bytes{'x'}, true); });
  EXPECT_EQ(error.number(), 70);
  EXPECT_EQ(error.source(), "orvFSO");
  EXPECT_FALSE(fso->AppendFileB(Name(dir / "f"), Bytes{'x'}));
  EXPECT_EQ(Read(dir / "f"), "keep");
}

TEST_F(BinaryFiles, NamesThatAreNotUtf8StillReachTheirFile) {
  const std::string native = dir / "bad\xFF.bin";
  Write(native, "data");
  bool success = false;
  EXPECT_EQ(fso->GetFileB(Name(native), false, &success), (Bytes{'d', 'a', 't', 'a'}));
  EXPECT_TRUE(success);
}

}  // namespace
}  // namespace quern
