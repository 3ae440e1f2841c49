// The zone of a file: an INI text in its Zone.Identifier stream (the user.Zone.Identifier
// attribute), on the temporary folder's file system, on a volume in memory and on a real NTFS
// volume.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <fstream>
#include <string>

#include "common/memory_file_system.h"
#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvFSO.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr const char* kAttribute = "user.Zone.Identifier";

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }

// Each case runs on the temporary folder's file system (when it keeps user attributes) and on a
// volume in memory, whose streams the test reads and writes beside the library.
class ZoneTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (InMemory()) {
      base_ = "/home/user/Downloads";
      file_ = base_ + "/download.exe";
      memory_.AddFile(file_, "MZ contents");
      fso_->UseFileSystem(memory_);
      return;
    }
    ASSERT_FALSE(folder_.path().empty());
    base_ = folder_.path();
    file_ = base_ + "/download.exe";
    std::ofstream(file_, std::ios::binary) << "MZ contents";
    if (setxattr(file_.c_str(), "user.probe", "", 0, 0) != 0) {
      GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    }
    removexattr(file_.c_str(), "user.probe");
  }
  bool InMemory() const { return GetParam(); }
  std::string Path(const std::string& name) const { return base_ + "/" + name; }

  std::string ReadAttribute(const std::string& path) const {
    if (InMemory()) return memory_.Stream(path, "Zone.Identifier").value_or("<none>");
    char buffer[4096];
    const ssize_t size = getxattr(path.c_str(), kAttribute, buffer, sizeof buffer);
    return size < 0 ? std::string("<none>") : std::string(buffer, static_cast<size_t>(size));
  }
  void WriteAttribute(const std::string& path, const std::string& value) {
    if (InMemory()) return memory_.SetStream(path, "Zone.Identifier", value);
    ASSERT_EQ(setxattr(path.c_str(), kAttribute, value.data(), value.size(), 0), 0);
  }
  std::string Contents(const std::string& path) const {
    if (InMemory()) return memory_.Contents(path);
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  bool Exists(const std::string& path) const {
    return InMemory() ? memory_.Exists(path) : std::ifstream(path).good();
  }

  orvanel::testing::TempFolder folder_;
  orvanel::testing::MemoryFileSystem memory_;
  std::string base_;
  std::string file_;
  Ref<orvFSO> fso_ = automation::MakeObject<orvFSO>();
};

INSTANTIATE_TEST_SUITE_P(OnDiskAndInMemory, ZoneTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "InMemory" : "OnDisk";
                         });

TEST_P(ZoneTest, AFileWithoutZoneOrAMissingFileIsLocalMachine) {
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzLocalMachine);
  EXPECT_EQ(fso_->GetFileZone(Text(Path("missing"))), fzLocalMachine);
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(file_)));
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(Path("missing"))));
  EXPECT_FALSE(fso_->DeleteFileZone(Text(file_)));
}

TEST_P(ZoneTest, SetWritesTheStreamAndLeavesTheContents) {
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

TEST_P(ZoneTest, SetOnAMissingFileCreatesNothing) {
  const std::string missing = Path("missing");
  EXPECT_FALSE(fso_->SetFileZone(Text(missing), fzInternet));
  EXPECT_FALSE(Exists(missing));
}

TEST_P(ZoneTest, OtherSectionsAndKeysOfTheStreamStay) {
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

TEST_P(ZoneTest, ReadsTheLeadingNumberAndIgnoresCase) {
  WriteAttribute(file_, "[zonetransfer]\nzoneid = 2 ; trusted\n");
  EXPECT_EQ(fso_->GetFileZone(Text(file_)), fzSafeSites);
  EXPECT_TRUE(fso_->IsFileZoneDefined(Text(file_)));
}

TEST_P(ZoneTest, AStreamThatIsNotIniTextHoldsNoZoneAndKeepsItsBytes) {
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

TEST_P(ZoneTest, AFolderIsNoFile) {
  EXPECT_FALSE(fso_->SetFileZone(Text(base_), fzInternet));
  EXPECT_FALSE(fso_->IsFileZoneDefined(Text(base_)));
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
