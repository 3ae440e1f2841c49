// Compression of a file or folder: refused where the file system does not compress, real on
// btrfs (the data on disk shrinks) and the compressed attribute of a folder on NTFS (ntfs-3g).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvFSO.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

TEST(Compression, AMissingFileGivesMinusOneAndError2) {
  orvanel::testing::TempFolder folder;
  int32_t code = 12345;
  EXPECT_EQ(ApplicationObject().GetFileCompression(Text(folder / "missing"), &code), cfError);
  EXPECT_EQ(code, 2);
  code = 12345;
  EXPECT_FALSE(ApplicationObject().SetFileCompression(Text(folder / "missing"), cfDefault, &code));
  EXPECT_EQ(code, 2);
  EXPECT_EQ(ApplicationObject().GetFileCompression(Text(folder / "missing")), cfError);
}

TEST(Compression, AFileSystemWithoutCompressionSaysNotSupported) {
  orvanel::testing::TempFolder folder;
  const std::string file = folder / "log.txt";
  WriteFile(file, "text");
  int32_t code = 0;
  if (ApplicationObject().GetFileCompression(Text(file), &code) != cfError) {
    GTEST_SKIP() << "the temporary folder is on a compressing file system";
  }
  EXPECT_EQ(code, 50);
  EXPECT_FALSE(ApplicationObject().SetFileCompression(Text(file), cfLZNT1, &code));
  EXPECT_EQ(code, 50);
}

TEST(Compression, AnUnknownFormatIsAnInvalidParameter) {
  orvanel::testing::TempFolder folder;
  const std::string file = folder / "log.txt";
  WriteFile(file, "text");
  int32_t code = 0;
  EXPECT_FALSE(
      ApplicationObject().SetFileCompression(Text(file), CompressionFormatConst(3), &code));
  EXPECT_EQ(code, 87);
  EXPECT_FALSE(ApplicationObject().SetFileCompression(Text(file), cfError, &code));
  EXPECT_EQ(code, 87);
  // Windows would read only the low two bytes (0: uncompress); the whole value is refused.
  EXPECT_FALSE(
      ApplicationObject().SetFileCompression(Text(file), CompressionFormatConst(0x10000), &code));
  EXPECT_EQ(code, 87);
}

// Free bytes of the volume after everything written has reached it. (btrfs counts a file's
// blocks before compression in st_blocks, so the volume's free space tells what compression
// saved.)
uint64_t FreeBytes(const std::string& path) {
  sync();
  struct statvfs fs;
  return statvfs(path.c_str(), &fs) == 0 ? static_cast<uint64_t>(fs.f_bfree) * fs.f_frsize : 0;
}

TEST(CompressionOnBtrfs, CompressingAFileCompressesItsData) {
  testing::LoopImage image(testing::LoopImage::kBtrfs);
  if (!image.usable()) GTEST_SKIP() << image.why();
  const std::string file = image / "big.log";
  {
    std::ofstream out(file, std::ios::binary);
    const std::string line = "2026-12-07 05:00:00 deleted /home/user/.cache/thumbnails/x.png\n";
    while (out.tellp() < 8 * 1024 * 1024) out << line;
  }
  const uint64_t free_before = FreeBytes(image.mount_point());
  orvFSO& fso = ApplicationObject();
  int32_t code = -1;
  EXPECT_EQ(fso.GetFileCompression(Text(file), &code), cfNone);
  EXPECT_EQ(code, 0);

  ASSERT_TRUE(fso.SetFileCompression(Text(file), cfLZNT1, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(fso.GetFileCompression(Text(file), &code), cfDefault);
  const uint64_t free_after = FreeBytes(image.mount_point());
  EXPECT_GT(free_after, free_before + 6 * 1024 * 1024)
      << "free before " << free_before << ", after " << free_after;
  std::string extents;
  if (testing::HaveTool("filefrag") &&
      testing::RunCommand("filefrag -v '" + file + "'", &extents) == 0) {
    EXPECT_NE(extents.find("encoded"), std::string::npos) << extents;
  }
  // The contents read back unchanged.
  std::ifstream in(file, std::ios::binary);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "2026-12-07 05:00:00 deleted /home/user/.cache/thumbnails/x.png");

  ASSERT_TRUE(fso.SetFileCompression(Text(file), cfNone, &code));
  EXPECT_EQ(fso.GetFileCompression(Text(file), &code), cfNone);
}

TEST(CompressionOnBtrfs, AFolderAndAnEmptyFile) {
  testing::LoopImage image(testing::LoopImage::kBtrfs);
  if (!image.usable()) GTEST_SKIP() << image.why();
  const std::string folder = image / "logs";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  WriteFile(image / "empty", "");
  orvFSO& fso = ApplicationObject();
  int32_t code = -1;
  ASSERT_TRUE(fso.SetFileCompression(Text(folder), cfDefault, &code));
  EXPECT_EQ(fso.GetFileCompression(Text(folder), &code), cfDefault);
  // A file made in a compressed folder inherits the flag, as on NTFS.
  WriteFile(folder + "/new.log", "x");
  EXPECT_EQ(fso.GetFileCompression(Text(folder + "/new.log"), &code), cfDefault);
  ASSERT_TRUE(fso.SetFileCompression(Text(image / "empty"), cfDefault, &code));
  EXPECT_EQ(fso.GetFileCompression(Text(image / "empty"), &code), cfDefault);
}

TEST(CompressionOnNtfs, AFolderGetsTheCompressedAttribute) {
  testing::LoopImage image(testing::LoopImage::kNtfs, 16);
  if (!image.usable()) GTEST_SKIP() << image.why();
  const std::string folder = image / "Logs";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string file = image / "plain.txt";
  WriteFile(file, "data");
  orvFSO& fso = ApplicationObject();
  int32_t code = -1;
  EXPECT_EQ(fso.GetFileCompression(Text(file), &code), cfNone);
  EXPECT_EQ(code, 0);
  ASSERT_TRUE(fso.SetFileCompression(Text(folder), cfLZNT1, &code)) << code;
  EXPECT_EQ(fso.GetFileCompression(Text(folder), &code), cfLZNT1);
  WriteFile(folder + "/inside.txt", std::string(100000, 'a'));
  EXPECT_EQ(fso.GetFileCompression(Text(folder + "/inside.txt"), &code), cfLZNT1);
  // ntfs-3g cannot compress a file that exists: refused, never reported as done.
  EXPECT_FALSE(fso.SetFileCompression(Text(file), cfLZNT1, &code));
  EXPECT_EQ(code, 50);
  EXPECT_TRUE(fso.SetFileCompression(Text(file), cfNone, &code)) << "already as asked";
  ASSERT_TRUE(fso.SetFileCompression(Text(folder), cfNone, &code));
  EXPECT_EQ(fso.GetFileCompression(Text(folder), &code), cfNone);
}

}  // namespace
}  // namespace quern
