// What the library keeps beside a file's contents -- its zone stream, its compression, the
// Descript.ion of its folder and that file's attributes -- over a file system in memory: the
// volume without user attributes, the one that keeps only small values, the one that does not
// compress and the file that refuses every change, which on a real machine need a volume of
// their own, root or chattr.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/memory_file_system.h"
#include "fileio/orvFSO.h"
#include "fileio/orvFileStreams.h"
#include "platform/compression.h"
#include "platform/file_system.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::MemoryFileSystem;
namespace error = platform::error;
namespace attr = platform::attr;

constexpr const char* kZone = "Zone.Identifier";
constexpr const char* kFile = "/data/setup.exe";

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

class MemoryKeptBeside : public ::testing::Test {
 protected:
  MemoryKeptBeside() {
    files.AddFile(kFile, "MZ");
    fso->UseFileSystem(files);
  }

  int32_t CompressionCode(const std::string& path, CompressionFormatConst* format = nullptr) {
    int32_t code = -1;
    const CompressionFormatConst got = fso->GetFileCompression(Name(path), &code);
    if (format != nullptr) *format = got;
    return code;
  }
  int32_t CompressCode(const std::string& path, CompressionFormatConst format) {
    int32_t code = -1;
    const bool done = fso->SetFileCompression(Name(path), format, &code);
    EXPECT_EQ(done, code == 0);
    return code;
  }

  MemoryFileSystem files;
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
};

// ---- Zones

TEST_F(MemoryKeptBeside, AVolumeWithoutUserAttributesHoldsNoZone) {
  files.SetKeepsNoStreams(true);
  EXPECT_FALSE(fso->SetFileZone(Name(kFile), fzInternet));
  EXPECT_EQ(fso->GetFileZone(Name(kFile)), fzLocalMachine);
  EXPECT_FALSE(fso->IsFileZoneDefined(Name(kFile)));
  EXPECT_FALSE(fso->DeleteFileZone(Name(kFile)));
  std::vector<std::string> names{"left over"};
  EXPECT_EQ(platform::ListFileStreams(files, kFile, &names), error::kNotSupported);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(files.Contents(kFile), "MZ");
}

TEST_F(MemoryKeptBeside, AZoneTooLargeForTheVolumeLeavesTheOldStream) {
  files.SetStream(kFile, kZone, "[ZoneTransfer]\r\nZoneId=3\r\n");
  // Room for the stream as it is, not for a longer one.
  files.SetLargestStream(26);
  EXPECT_TRUE(fso->SetFileZone(Name(kFile), fzRestrictedSites));
  EXPECT_FALSE(fso->SetFileZone(Name(kFile), FileZoneConst(-1000)));
  EXPECT_EQ(files.Stream(kFile, kZone), "[ZoneTransfer]\r\nZoneId=4\r\n");
  EXPECT_EQ(platform::SetFileStream(files, kFile, kZone, std::string(27, 'x')),
            error::kFileTooLarge);
  files.SetLargestStream(std::nullopt);
  EXPECT_TRUE(fso->SetFileZone(Name(kFile), FileZoneConst(-1000)));
  EXPECT_EQ(fso->GetFileZone(Name(kFile)), -1000);
}

TEST_F(MemoryKeptBeside, AFileThatRefusesChangesKeepsItsZone) {
  files.SetStream(kFile, kZone, "[ZoneTransfer]\r\nZoneId=3\r\n");
  files.SetMode(kFile, 0444);
  EXPECT_FALSE(fso->SetFileZone(Name(kFile), fzSafeSites));
  EXPECT_FALSE(fso->DeleteFileZone(Name(kFile)));
  files.SetMode(kFile, 0644);
  files.Lock(kFile);
  EXPECT_FALSE(fso->SetFileZone(Name(kFile), fzSafeSites));
  EXPECT_FALSE(fso->DeleteFileZone(Name(kFile)));
  // Reading needs no change.
  EXPECT_EQ(fso->GetFileZone(Name(kFile)), fzInternet);
  EXPECT_EQ(files.Stream(kFile, kZone), "[ZoneTransfer]\r\nZoneId=3\r\n");
}

TEST_F(MemoryKeptBeside, TheZoneOfALinkIsThatOfItsFile) {
  files.AddLink("/data/link.exe", "setup.exe");
  ASSERT_TRUE(fso->SetFileZone(Name("/data/link.exe"), fzInternet));
  EXPECT_EQ(files.Stream(kFile, kZone), "[ZoneTransfer]\r\nZoneId=3\r\n");
  EXPECT_EQ(fso->GetFileZone(Name(kFile)), fzInternet);
  // A link leading nowhere makes no file to hold the stream.
  files.AddLink("/data/dangling", "gone.exe");
  EXPECT_FALSE(fso->SetFileZone(Name("/data/dangling"), fzInternet));
  EXPECT_FALSE(files.Exists("/data/gone.exe"));
}

TEST_F(MemoryKeptBeside, AFifoHoldsNoZone) {
  files.AddSpecial("/data/fifo", MemoryFileSystem::Kind::kFifo);
  EXPECT_EQ(fso->GetFileZone(Name("/data/fifo")), fzLocalMachine);
  EXPECT_FALSE(fso->IsFileZoneDefined(Name("/data/fifo")));
  EXPECT_FALSE(fso->SetFileZone(Name("/data/fifo"), fzInternet));
}

// ---- The by-path helpers of the file system

TEST_F(MemoryKeptBeside, StreamsByPathNameOneEntryAndSayWhatIsMissing) {
  std::string value = "stale";
  EXPECT_EQ(platform::GetFileStream(files, kFile, kZone, &value), error::kFileNotFound);
  EXPECT_EQ(value, "");
  ASSERT_EQ(platform::SetFileStream(files, kFile, "a", "1"), error::kSuccess);
  ASSERT_EQ(platform::SetFileStream(files, kFile, "b", ""), error::kSuccess);
  std::vector<std::string> names;
  ASSERT_EQ(platform::ListFileStreams(files, kFile, &names), error::kSuccess);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(platform::RemoveFileStream(files, kFile, "b"), error::kSuccess);
  EXPECT_EQ(platform::RemoveFileStream(files, kFile, "b"), error::kFileNotFound);
  EXPECT_EQ(platform::SetFileStream(files, kFile, "", "v"), error::kInvalidName);
  EXPECT_EQ(platform::SetFileStream(files, kFile, std::string(251, 'n'), "v"),
            error::kFilenameTooLong);
  EXPECT_EQ(platform::GetFileStream(files, "", "a", &value), error::kFileNotFound);
  EXPECT_EQ(platform::GetFileStream(files, "/data/missing", "a", &value), error::kFileNotFound);
  EXPECT_NE(platform::GetFileStream(files, "/nowhere/f", "a", &value), error::kSuccess);
  // A folder keeps streams too, named with or without its trailing separator.
  ASSERT_EQ(platform::SetFileStream(files, "/data/", "tag", "x"), error::kSuccess);
  EXPECT_EQ(files.Stream("/data", "tag"), "x");
  ASSERT_EQ(platform::GetFileStream(files, "/data", "tag", &value), error::kSuccess);
  EXPECT_EQ(value, "x");
}

TEST_F(MemoryKeptBeside, TheRootIsReachedAsItself) {
  uint32_t format = 99;
  ASSERT_EQ(platform::GetFileCompression(files, "/", &format), error::kSuccess);
  EXPECT_EQ(format, platform::compression::kNone);
  ASSERT_EQ(platform::SetFileStream(files, "/", "tag", "root"), error::kSuccess);
  EXPECT_EQ(files.Stream("/", "tag"), "root");
}

TEST_F(MemoryKeptBeside, AttributesLeaveALinkAndKeepWhatTheVolumeStores) {
  files.AddLink("/data/link", "setup.exe");
  ASSERT_EQ(platform::SetFileAttributes(files, "/data/link", attr::kReadOnly | attr::kHidden),
            error::kSuccess);
  uint32_t attributes = 0;
  uint64_t size = 0;
  ASSERT_EQ(platform::GetFileAttributes(files, kFile, &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes & (attr::kReadOnly | attr::kHidden), 0u) << "the link's file changed";

  ASSERT_EQ(platform::SetFileAttributes(files, kFile, attr::kReadOnly | attr::kSystem),
            error::kSuccess);
  ASSERT_EQ(platform::GetFileAttributes(files, kFile, &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes & (attr::kReadOnly | attr::kSystem | attr::kHidden),
            attr::kReadOnly | attr::kSystem);
  ASSERT_EQ(platform::SetFileAttributes(files, kFile, attr::kNormal), error::kSuccess);
  ASSERT_EQ(platform::GetFileAttributes(files, kFile, &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes & (attr::kReadOnly | attr::kSystem), 0u);

  files.Lock(kFile);
  EXPECT_EQ(platform::SetFileAttributes(files, kFile, attr::kHidden), error::kAccessDenied);
  EXPECT_EQ(platform::SetFileAttributes(files, "/data/missing", attr::kNormal),
            error::kFileNotFound);
}

// ---- The stream list of a file (BackupRead's walk)

TEST_F(MemoryKeptBeside, TheStreamListComesFromTheFileSystemItIsGiven) {
  auto list = automation::MakeObject<orvFileStreams>();
  list->UseFileSystem(files);
  ASSERT_TRUE(fso->SetFileZone(Name(kFile), fzInternet));
  ASSERT_TRUE(list->ReadFileStreams(Name(kFile)));
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Item(0)->Name(), u"::$DATA");
  EXPECT_EQ(list->Item(0)->Size(), 2);
  EXPECT_EQ(list->Item(1)->Name(), u":Zone.Identifier:$DATA");
  // A link is walked as its file; a FIFO is opened without waiting and has no stream; a file
  // that cannot be read and a missing one give False and an empty list.
  files.AddLink("/data/link", kFile);
  ASSERT_TRUE(list->ReadFileStreams(Name("/data/link")));
  EXPECT_EQ(list->Count(), 2);
  files.AddSpecial("/data/pipe", MemoryFileSystem::Kind::kFifo);
  EXPECT_TRUE(list->ReadFileStreams(Name("/data/pipe")));
  EXPECT_EQ(list->Count(), 0);
  files.SetMode(kFile, 0200);
  EXPECT_FALSE(list->ReadFileStreams(Name(kFile)));
  EXPECT_FALSE(list->ReadFileStreams(Name("/data/missing")));
  EXPECT_EQ(list->Count(), 0);
}

// ---- Compression

TEST_F(MemoryKeptBeside, AVolumeThatDoesNotCompressSaysNotSupported) {
  files.SetCompresses(false);
  EXPECT_EQ(CompressionCode(kFile), 50);
  EXPECT_EQ(CompressCode(kFile, cfLZNT1), 50);
  EXPECT_EQ(CompressCode("/data", cfNone), 50);
  // A missing file and a format no volume takes are told before the volume is asked.
  EXPECT_EQ(CompressCode("/data/missing", cfDefault), 2);
  EXPECT_EQ(CompressCode(kFile, CompressionFormatConst(3)), 87);
}

TEST_F(MemoryKeptBeside, ACompressedFileOrFolderReadsBackAsLznt1) {
  CompressionFormatConst format = cfError;
  EXPECT_EQ(CompressionCode(kFile, &format), 0);
  EXPECT_EQ(format, cfNone);
  EXPECT_EQ(CompressCode(kFile, cfDefault), 0);
  EXPECT_EQ(CompressionCode(kFile, &format), 0);
  EXPECT_EQ(format, cfLZNT1);
  EXPECT_EQ(files.Contents(kFile), "MZ");
  EXPECT_EQ(CompressCode("/data", cfLZNT1), 0);
  EXPECT_EQ(files.CompressionOf("/data"), platform::compression::kLznt1);
  EXPECT_EQ(CompressCode(kFile, cfNone), 0);
  EXPECT_EQ(CompressionCode(kFile, &format), 0);
  EXPECT_EQ(format, cfNone);
}

TEST_F(MemoryKeptBeside, CompressionIsRefusedWhereTheFileCannotBeWritten) {
  files.SetMode(kFile, 0444);
  EXPECT_EQ(CompressCode(kFile, cfDefault), 5);
  CompressionFormatConst format = cfError;
  EXPECT_EQ(CompressionCode(kFile, &format), 0) << "reading needs no write";
  files.SetMode(kFile, 0644);
  files.Lock(kFile);
  EXPECT_EQ(CompressCode(kFile, cfDefault), 5);
  files.AddSpecial("/data/fifo", MemoryFileSystem::Kind::kFifo);
  EXPECT_EQ(CompressCode("/data/fifo", cfDefault), 50);
  EXPECT_EQ(CompressionCode("/data/fifo"), 50);
  EXPECT_EQ(CompressionCode("/data/missing"), 2);
  EXPECT_EQ(files.CompressionOf(kFile), platform::compression::kNone);
}

// ---- Descript.ion, through the file system orvFSO was handed

TEST_F(MemoryKeptBeside, TheWrittenDescriptionFileIsHidden) {
  ASSERT_TRUE(fso->SetFileDescription(Name(kFile), u"Setup"));
  EXPECT_EQ(files.Contents("/data/Descript.ion"), "setup.exe Setup\r\n");
  uint32_t attributes = 0;
  uint64_t size = 0;
  ASSERT_EQ(platform::GetFileAttributes(files, "/data/Descript.ion", &attributes, &size),
            error::kSuccess);
  EXPECT_NE(attributes & attr::kHidden, 0u);
  EXPECT_EQ(fso->GetFileDescription(Name(kFile)), u"Setup");
  // A read-only file is made writable for the replacement and is hidden again after it.
  files.SetMode("/data/Descript.ion", 0444);
  ASSERT_TRUE(fso->SetFileDescription(Name(kFile), u"Installer"));
  ASSERT_EQ(platform::GetFileAttributes(files, "/data/Descript.ion", &attributes, &size),
            error::kSuccess);
  EXPECT_EQ(attributes & (attr::kHidden | attr::kReadOnly), attr::kHidden);
  EXPECT_EQ(fso->GetFileDescription(Name(kFile)), u"Installer");
}

TEST_F(MemoryKeptBeside, AnUndeletableDescriptionFileMakesTheWriteFail) {
  files.AddFile("/data/Descript.ion", "setup.exe A\r\n");
  files.Lock("/data/Descript.ion");
  EXPECT_FALSE(fso->DeleteFileDescription(Name(kFile)));
  EXPECT_FALSE(fso->SetFileDescription(Name("/data/other.txt"), u"B"));
  EXPECT_EQ(files.Contents("/data/Descript.ion"), "setup.exe A\r\n");
  EXPECT_EQ(fso->GetFileDescription(Name(kFile)), u"A");
}

TEST_F(MemoryKeptBeside, DeletingTheLastDescriptionOnAReadOnlyVolumeFails) {
  files.AddFile("/data/Descript.ion", "setup.exe A\r\n");
  files.SetReadOnly(true);
  EXPECT_FALSE(fso->DeleteFileDescription(Name(kFile)));
  EXPECT_TRUE(files.Exists("/data/Descript.ion"));
  files.SetReadOnly(false);
  EXPECT_TRUE(fso->DeleteFileDescription(Name(kFile)));
  EXPECT_FALSE(files.Exists("/data/Descript.ion"));
}

}  // namespace
}  // namespace quern
