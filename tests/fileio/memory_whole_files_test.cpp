// The library's whole-file calls over a file system in memory: the full disk, the read-only
// volume, the file that may grow no more and the file or folder that refuses every change,
// which on a real machine need root, chattr or a volume of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/memory_file_system.h"
#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "platform/file_system.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::MemoryFileSystem;
using orvanel::testing::RaisedBy;
namespace error = platform::error;
using Bytes = std::vector<uint8_t>;

class MemoryWholeFiles : public ::testing::Test {
 protected:
  MemoryWholeFiles() {
    files.AddFile("/data/f", "precious");
    fso->UseFileSystem(files);
  }

  static std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }
  int32_t RaisedByPut(const std::string& path) {
    return RaisedBy([&] { fso->PutFileB(Name(path), Bytes{'n', 'e', 'w'}, true); }).number();
  }

  MemoryFileSystem files;
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
};

TEST_F(MemoryWholeFiles, APutThatDoesNotFitLeavesTheOldContentsAndTheRoom) {
  files.SetFreeBytes(2);
  EXPECT_FALSE(fso->PutFileB(Name("/data/f"), Bytes{'n', 'e', 'w'}));
  EXPECT_FALSE(fso->PutFile2(Name("/data/f"), u"new text"));
  EXPECT_EQ(files.Contents("/data/f"), "precious");
  EXPECT_EQ(files.FreeBytes(), 2u);
  EXPECT_EQ(files.List("/data"), std::vector<std::string>{"f"});
  // The new contents take room beside the old ones until they take their place.
  files.SetFreeBytes(3);
  EXPECT_TRUE(fso->PutFileB(Name("/data/f"), Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(files.Contents("/data/f"), "new");
  EXPECT_EQ(files.FreeBytes(), 8u);  // the old contents' room came back
}

TEST_F(MemoryWholeFiles, AReadOnlyVolumeRefusesEveryWriter) {
  files.SetReadOnly(true);
  EXPECT_EQ(RaisedByPut("/data/f"), support::errnum::kPermissionDenied);
  EXPECT_FALSE(fso->AppendFileB(Name("/data/f"), Bytes{'x'}));
  EXPECT_FALSE(fso->OverwriteFileB(Name("/data/f"), Bytes{'x'}));
  EXPECT_FALSE(fso->PutFileB(Name("/data/new"), Bytes{'x'}));
  EXPECT_EQ(files.Contents("/data/f"), "precious");
  EXPECT_FALSE(files.Exists("/data/new"));
}

TEST_F(MemoryWholeFiles, AFileAtItsLimitKeepsItsContentsAndTheLimit) {
  files.LimitFile("/data/f", 10, error::kFileTooLarge);
  EXPECT_FALSE(fso->PutFileB(Name("/data/f"), Bytes(11, 'x')));
  EXPECT_EQ(files.Contents("/data/f"), "precious");
  EXPECT_TRUE(fso->PutFileB(Name("/data/f"), Bytes(10, 'y')));
  // The replaced file is the same file to the volume: still at most ten bytes.
  EXPECT_FALSE(fso->AppendFileB(Name("/data/f"), Bytes{'z'}));
  EXPECT_EQ(files.Contents("/data/f"), std::string(10, 'y'));
}

TEST_F(MemoryWholeFiles, AFailedPutFileBLeavesTheOldContents) {
  files.Lock("/data");  // the folder gains and loses no entry
  EXPECT_FALSE(fso->PutFileB(Name("/data/f"), Bytes{'x'}));
  const support::Error raised = RaisedBy([&] { fso->PutFileB(Name("/data/f"), Bytes{'x'}, true); });
  EXPECT_EQ(raised.number(), support::errnum::kPermissionDenied);
  EXPECT_EQ(raised.source(), "orvFSO");
  EXPECT_EQ(files.Contents("/data/f"), "precious");
}

TEST_F(MemoryWholeFiles, OverwriteFileBOfAnUnwritableFileFailsWith70) {
  files.Lock("/data/f");
  EXPECT_FALSE(fso->OverwriteFileB(Name("/data/f"), Bytes{'x'}));
  const support::Error raised =
      RaisedBy([&] { fso->OverwriteFileB(Name("/data/f"), Bytes{'x'}, true); });
  EXPECT_EQ(raised.number(), support::errnum::kPermissionDenied);
  EXPECT_EQ(raised.source(), "orvFSO");
  EXPECT_FALSE(fso->AppendFileB(Name("/data/f"), Bytes{'x'}));
  EXPECT_FALSE(fso->PutFileB(Name("/data/f"), Bytes{'x'}));
  EXPECT_EQ(files.Contents("/data/f"), "precious");
}

TEST_F(MemoryWholeFiles, WritesThroughALinkChangeItsTargetAndKeepTheLink) {
  files.AddLink("/data/link", "../other/target");
  files.AddFile("/other/target", "old");
  files.SetMode("/other/target", 0400);
  EXPECT_TRUE(fso->PutFileB(Name("/data/link"), Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(files.KindOf("/data/link"), MemoryFileSystem::Kind::kLink);
  EXPECT_EQ(files.Contents("/other/target"), "new");
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes(files, "/other/target", &attributes, nullptr),
            error::kSuccess);
  EXPECT_NE(attributes & platform::attr::kReadOnly, 0u) << "the old mode was not kept";
  files.SetMode("/other/target", 0600);
  EXPECT_TRUE(fso->AppendFileB(Name("/data/link"), Bytes{'!'}));
  EXPECT_EQ(files.Contents("/other/target"), "new!");
  // A dangling link: the new file is made where it leads.
  files.AddLink("/data/dangling", "/other/made");
  EXPECT_TRUE(fso->PutFileB(Name("/data/dangling"), Bytes{'m'}));
  EXPECT_EQ(files.Contents("/other/made"), "m");
}

TEST_F(MemoryWholeFiles, OverwriteKeepsTheFileItself) {
  const auto before = files.IdOf("/data");
  files.SetExtraAttributes("/data/f", platform::attr::kSystem);
  EXPECT_TRUE(fso->OverwriteFileB(Name("/data/f"), Bytes{'a'}));
  EXPECT_EQ(files.Contents("/data/f"), "a");
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes(files, "/data/f", &attributes, nullptr), error::kSuccess);
  EXPECT_NE(attributes & platform::attr::kSystem, 0u);
  // A replace makes a new file: what the old one carried beyond its mode is gone.
  EXPECT_TRUE(fso->PutFileB(Name("/data/f"), Bytes{'b'}));
  ASSERT_EQ(platform::GetFileAttributes(files, "/data/f", &attributes, nullptr), error::kSuccess);
  EXPECT_EQ(attributes & platform::attr::kSystem, 0u);
  EXPECT_EQ(files.IdOf("/data"), before);
}

TEST_F(MemoryWholeFiles, WhatIsNoFileIsRefusedAndAMissingFolderNamed) {
  files.AddSpecial("/data/fifo", MemoryFileSystem::Kind::kFifo);
  for (const std::string path : {"/data", "/data/fifo"}) {
    EXPECT_EQ(RaisedByPut(path), support::errnum::kPermissionDenied) << path;
    EXPECT_EQ(RaisedBy([&] { fso->AppendFileB(Name(path), Bytes{'x'}, true); }).number(),
              support::errnum::kPermissionDenied)
        << path;
  }
  EXPECT_EQ(RaisedByPut("/no/f"), support::errnum::kPathNotFound);
  EXPECT_EQ(files.KindOf("/data/fifo"), MemoryFileSystem::Kind::kFifo);
}

// The by-path helpers themselves, over the same volume.
TEST_F(MemoryWholeFiles, TheHelpersReadAndSizeAsTheMachinesDo) {
  std::vector<uint8_t> data;
  uint64_t size = 0;
  EXPECT_EQ(platform::ReadWholeFile(files, "/data/f", &data), error::kSuccess);
  EXPECT_EQ(std::string(data.begin(), data.end()), "precious");
  EXPECT_EQ(platform::ReadFileStart(files, "/data/f", 3, &data, &size), error::kSuccess);
  EXPECT_EQ(std::string(data.begin(), data.end()), "pre");
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(platform::GetFileSize(files, "/data/f", &size), error::kSuccess);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(platform::ReadWholeFile(files, "/data/missing", &data), error::kFileNotFound);
  EXPECT_EQ(platform::ReadWholeFile(files, "/none/f", &data), error::kPathNotFound);
  EXPECT_EQ(platform::ReadWholeFile(files, "/data", &data), error::kAccessDenied);
  EXPECT_EQ(platform::ReadWholeFile(files, "", &data), error::kPathNotFound);
  EXPECT_EQ(platform::ReplaceWholeFile(files, "/data/", "x"), error::kInvalidName);
  EXPECT_TRUE(data.empty());
}

// List files are read through the library's file system too: both readers see the volume in
// memory, and a failure to read is the same error from either.
TEST_F(MemoryWholeFiles, ListFilesAreReadThroughTheLibrarysFileSystem) {
  files.AddFile("/data/list.txt", "*.tmp\r\n; note\r\n\r\n*.bak\r\n");
  const Ref<Collection> first = fso->ReadStandardListFile(Name("/data/list.txt"));
  ASSERT_TRUE(first);
  ASSERT_EQ(first->Count(), 2);
  EXPECT_EQ(first->Item(automation::Variant(int32_t{2})).ToString(), u"*.bak");
  const Ref<Collection> second =
      fso->ReadStandardListFile2(Name("/data/list.txt"), u";", true, true);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Count(), 2);

  const std::u16string missing = Name("/data/missing.txt");
  const int32_t raised =
      RaisedBy([&] { fso->ReadStandardListFile(missing, u";", true, true, false, true); }).number();
  EXPECT_NE(raised, 0);
  EXPECT_EQ(RaisedBy([&] { fso->ReadStandardListFile2(missing, u";", true, true, true); }).number(),
            raised);
  EXPECT_FALSE(fso->ReadStandardListFile(Name("/data")));  // a folder is no list
}

}  // namespace
}  // namespace quern
