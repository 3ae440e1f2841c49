// The zone of a file: an INI text in its Zone.Identifier stream (the user.Zone.Identifier
// attribute), on the temporary folder's file system and on a real NTFS volume.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <fstream>
#include <string>

#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvFSO.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr const char* kAttribute = "user.Zone.Identifier";

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }

std::string ReadAttribute(const std::string& path) {
  char buffer[4096];
  const ssize_t size = getxattr(path.c_str(), kAttribute, buffer, sizeof buffer);
  return size < 0 ? std::string("<none>") : std::string(buffer, static_cast<size_t>(size));
}

void WriteAttribute(const std::string& path, const std::string& value) {
  ASSERT_EQ(setxattr(path.c_str(), kAttribute, value.data(), value.size(), 0), 0);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    file_ = folder_ / "download.exe";
    std::ofstream(file_, std::ios::binary) << "MZ contents";
    if (setxattr(file_.c_str(), "user.probe", "", 0, 0) != 0) {
      GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    }
    removexattr(file_.c_str(), "user.probe");
  }
  orvanel::testing::TempFolder folder_;
  std::string file_;
  orvFSO* fso_ = &ApplicationObject();
};

TEST_F(ZoneTest, AFileWithoutZoneOrAMissingFileIsLocalMachine) {
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzLocalMachine);
  EXPECT_EQ(fso_->GetFileZone(Text(folder_ / "missing")), fzLocalMachine);
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(file_)));
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(folder_ / "missing")));
  EXPECT_FALSE(fso_->DeleteFileZone(Text(file_)));
}

TEST_F(ZoneTest, SetWritesTheStreamAndLeavesTheContents) {
  ASSERT_TRUE(fso_->SetFileZone(Text(file_), fzInternet));
  EXPECT_EQ(ReadAttribute(file_), "[ZoneTransfer]\r\nZoneId=3\r\n");
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzInternet);
  EXPECT_TRUE(fso_->IsFileZoneDefined(Text(file_)));
  EXPECT_EQ(Contents(file_), "MZ contents");
  // Any 32-bit value is written, not only the named ones.
  ASSERT_TRUE(fso_->SetFileZone(Text(file_), FileZoneConst(-7)));
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), -7);
  EXPECT_EQ(ReadAttribute(file_), "[ZoneTransfer]\r\nZoneId=-7\r\n");
}

TEST_F(ZoneTest, SetOnAMissingFileCreatesNothing) {
  const std::string missing = folder_ / "missing";
  EXPECT_FALSE(fso_->SetFileZone(Text(missing), fzInternet));
  std::ifstream probe(missing);
  EXPECT_FALSE(probe.good());
}

TEST_F(ZoneTest, OtherSectionsAndKeysOfTheStreamStay) {
  WriteAttribute(file_,
                 "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n"
                 "HostUrl=https://example.org/f.exe\r\n");
  ASSERT_TRUE(fso_->SetFileZone(Text(file_), fzRestrictedSites));
  EXPECT_EQ(ReadAttribute(file_),
            "[ZoneTransfer]\r\nZoneId=4\r\nReferrerUrl=https://example.org/\r\n"
            "HostUrl=https://example.org/f.exe\r\n");
  ASSERT_TRUE(fso_->DeleteFileZone(Text(file_)));
  EXPECT_EQ(ReadAttribute(file_),
            "[ZoneTransfer]\r\nReferrerUrl=https://example.org/\r\n"
            "HostUrl=https://example.org/f.exe\r\n");
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(file_)));
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzLocalMachine);
  EXPECT_FALSE(fso_->DeleteFileZone(Text(file_))) << "no ZoneId left to delete";
}

TEST_F(ZoneTest, ReadsTheLeadingNumberAndIgnoresCase) {
  WriteAttribute(file_, "[zonetransfer]\nzoneid = 2 ; trusted\n");
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzSafeSites);
  EXPECT_TRUE(fso_->IsFileZoneDefined(Text(file_)));
}

TEST_F(ZoneTest, AStreamThatIsNotIniTextHoldsNoZoneAndKeepsItsBytes) {
  std::string garbage(3000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 % 256);
  WriteAttribute(file_, garbage);
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzLocalMachine);
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(file_)));
  EXPECT_FALSE(fso_->DeleteFileZone(Text(file_)));
  ASSERT_TRUE(fso_->SetFileZone(Text(file_), fzInternet));
  const std::string written = ReadAttribute(file_);
  EXPECT_EQ(written.substr(0, garbage.size()), garbage);
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzInternet);
}

TEST_F(ZoneTest, AFolderIsNoFile) {
  EXPECT_FALSE(fso_->SetFileZone(Text(folder_.path()), fzInternet));
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(folder_.path())));
}

TEST(ZoneOnNtfs, TheZoneIsTheRealNtfsStream) {
  testing::LoopImage image(testing::LoopImage::kNtfs, 16);
  if (!image.usable()) GTEST_SKIP() << image.why();
  if (!testing::HaveTool("ntfscat")) GTEST_SKIP() << "ntfscat is not installed";
  const std::string file = image / "setup.exe";
  std::ofstream(file, std::ios::binary) << "MZ";
  orvFSO* fso = &ApplicationObject();
  ASSERT_TRUE(fso->SetFileZone(Text(file), fzInternet));
  EXPECT_EQ(fso->GetFileZone(Text(file)), fzInternet);
  ASSERT_TRUE(image.Unmount());
  // NTFS's own tool reads the stream from the volume without the driver.
  std::string stream;
  ASSERT_EQ(testing::RunCommand(
                "ntfscat -a DATA -n Zone.Identifier '" + image.device() + "' /setup.exe", &stream),
            0)
      << stream;
  EXPECT_EQ(stream, "[ZoneTransfer]\r\nZoneId=3\r\n");
  std::string data;
  ASSERT_EQ(testing::RunCommand("ntfscat '" + image.device() + "' /setup.exe", &data), 0);
  EXPECT_EQ(data, "MZ");
}

}  // namespace
}  // namespace quern
