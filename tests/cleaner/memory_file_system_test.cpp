// The in-memory file system answers as the machine's does where the cleaner's safety depends on
// it: links are not followed where the machine would not follow them, a folder's identity tells
// it from one put in its place, and the volume's limits and refusals come back as the machine's
// error codes.
#include "common/memory_file_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/trash.h"
#include "temp_folder.h"

namespace {

using orvanel::testing::MemoryFileSystem;
using platform::Folder;
namespace attr = platform::attr;
namespace error = platform::error;

constexpr uint32_t kJunction = attr::kDirectory | attr::kReparsePoint;

uint32_t AttributesOf(MemoryFileSystem& disk, const std::string& path) {
  uint32_t attributes = 0;
  EXPECT_EQ(platform::GetFileAttributes(disk, path, &attributes, nullptr), error::kSuccess) << path;
  return attributes;
}

TEST(MemoryFileSystem, LinksAreFollowedOnlyWhereTheMachineFollowsThem) {
  MemoryFileSystem disk;
  disk.AddFile("/r/deep/x/file", "data");
  disk.AddLink("/r/to-x", "deep/x");  // relative to the folder holding the link
  disk.AddLink("/r/dangling", "/nowhere");
  disk.AddLink("/r/loop-a", "loop-b");
  disk.AddLink("/r/loop-b", "loop-a");

  EXPECT_EQ(AttributesOf(disk, "/r/to-x"), kJunction);
  EXPECT_EQ(AttributesOf(disk, "/r/dangling"), attr::kReparsePoint);

  uint32_t code = 0;
  EXPECT_FALSE(disk.OpenFolder("/r/to-x", &code, false).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
  EXPECT_FALSE(disk.OpenFolder("/r/to-x/", &code, false).IsOpen());  // a trailing '/' too
  const Folder followed = disk.OpenFolder("/r/to-x", &code, true);
  ASSERT_TRUE(followed.IsOpen());
  EXPECT_EQ(followed.Id(), disk.IdOf("/r/deep/x"));
  // ".." after a link is the real parent of where the link led.
  EXPECT_EQ(disk.OpenFolder("/r/to-x/..", &code, true).Id(), disk.IdOf("/r/deep"));
  EXPECT_FALSE(disk.OpenFolder("/r/loop-a", &code, true).IsOpen());
  EXPECT_EQ(code, error::kCantResolveFilename);

  // Removing a link to a folder removes the link; what it led to stays whole.
  EXPECT_EQ(platform::RemoveDirectory(disk, "/r/to-x"), error::kSuccess);
  EXPECT_FALSE(disk.Exists("/r/to-x"));
  EXPECT_EQ(disk.Contents("/r/deep/x/file"), "data");
  EXPECT_EQ(platform::DeleteFile(disk, "/r/dangling"), error::kSuccess);
}

TEST(MemoryFileSystem, AFolderPutInThePlaceOfAnOpenOneIsNeverTakenForIt) {
  MemoryFileSystem disk;
  disk.AddFolder("/p/f");
  uint32_t code = 0;
  const Folder parent = disk.OpenFolder("/p", &code, false);
  const Folder old = disk.OpenEntry(parent, "f", &code, false);
  ASSERT_TRUE(old.IsOpen());
  const platform::FolderId old_id = old.Id();
  ASSERT_EQ(disk.RemoveEntryDirectory(parent, "f"), error::kSuccess);
  ASSERT_EQ(platform::CreateDirectory(disk, "/p/f"), error::kSuccess);

  EXPECT_NE(disk.IdOf("/p/f"), old_id);
  EXPECT_FALSE(disk.OpenEntryVerified(parent, "f", old_id, &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
  // The removed folder, still open, holds nothing and takes nothing.
  std::vector<platform::FindRecord> records;
  EXPECT_EQ(disk.ListFolder(old, &records), error::kSuccess);
  EXPECT_TRUE(records.empty());
  EXPECT_FALSE(disk.OpenEntry(old, "..", &code, true).IsOpen());

  // A folder goes back only to the file system that opened it.
  MemoryFileSystem other;
  EXPECT_EQ(other.ListFolder(parent, &records), error::kInvalidHandle);
  EXPECT_EQ(platform::RealFileSystem().ListFolder(parent, &records), error::kInvalidHandle);
  orvanel::testing::TempFolder temp;
  const Folder real = platform::RealFileSystem().OpenFolder(temp.path(), &code, false);
  ASSERT_TRUE(real.IsOpen());
  EXPECT_EQ(disk.ListFolder(real, &records), error::kInvalidHandle);
  EXPECT_EQ(disk.DeleteEntryFile(real, "x"), error::kInvalidHandle);
}

TEST(MemoryFileSystem, LimitsAndRefusalsComeBackAsTheMachinesErrors) {
  MemoryFileSystem disk;
  disk.AddFile("/v/file", "12345");
  disk.AddFile("/v/busy");
  disk.AddFile("/v/shut/inside");
  disk.AddMountPoint("/v/mounted");
  disk.Lock("/v/busy", error::kSharingViolation);
  disk.SetMode("/v/shut", 0555);

  EXPECT_EQ(platform::DeleteFile(disk, "/v/busy"), error::kSharingViolation);
  EXPECT_EQ(platform::DeleteFile(disk, "/v/shut/inside"), error::kAccessDenied);
  EXPECT_EQ(platform::DeleteFile(disk, "/v/shut"), error::kAccessDenied);  // a folder
  EXPECT_EQ(platform::RemoveDirectory(disk, "/v/file"), error::kPathNotFound);
  EXPECT_EQ(platform::RemoveDirectory(disk, "/v/shut"), error::kDirNotEmpty);
  EXPECT_EQ(AttributesOf(disk, "/v/mounted"), kJunction);
  EXPECT_EQ(platform::RemoveDirectory(disk, "/v/mounted"), error::kSharingViolation);

  disk.SetMode("/v/file", 0444);
  EXPECT_EQ(AttributesOf(disk, "/v/file"), attr::kReadOnly | attr::kArchive);
  EXPECT_EQ(platform::SetFileAttributesNormal(disk, "/v/file"), error::kSuccess);
  EXPECT_EQ(AttributesOf(disk, "/v/file"), attr::kArchive);

  disk.SetReadOnly(true);
  EXPECT_EQ(platform::DeleteFile(disk, "/v/file"), error::kAccessDenied);
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/new"), error::kAccessDenied);
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/file"),
            error::kAlreadyExists);  // the name is looked at first
  disk.SetReadOnly(false);

  disk.SetFreeEntries(1);
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/one"), error::kSuccess);
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/two"), error::kDiskFull);
  disk.SetFreeEntries(std::nullopt);
  disk.SetFreeBytes(MemoryFileSystem::kFolderBytes - 1);
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/two"), error::kDiskFull);
  EXPECT_EQ(platform::DeleteFile(disk, "/v/file"), error::kSuccess);  // frees its five bytes
  EXPECT_EQ(platform::CreateDirectory(disk, "/v/two"), error::kSuccess);
  EXPECT_EQ(disk.FreeBytes(), 4u);
}

// The by-path helpers reach every entry through the folder above it, a stand-in's as the
// machine's: a root is "." of itself, trailing separators name the entry before them.
TEST(MemoryFileSystem, ByPathCallsTakeRootsAndTrailingSeparatorsAsTheMachineDoes) {
  MemoryFileSystem disk;
  disk.AddFile("/a/one", "1");
  disk.AddLink("/a/to-b", "/b");
  disk.AddFolder("/b");

  EXPECT_EQ(AttributesOf(disk, "/"), attr::kDirectory);
  EXPECT_EQ(AttributesOf(disk, "/a/to-b/"), kJunction);  // the link, not where it leads
  EXPECT_NE(platform::RemoveDirectory(disk, "/"), error::kSuccess);
  EXPECT_NE(platform::DeleteFile(disk, ""), error::kSuccess);
  EXPECT_EQ(platform::CreateDirectory(disk, "/b/new//"), error::kSuccess);
  EXPECT_EQ(disk.KindOf("/b/new"), MemoryFileSystem::Kind::kFolder);
  EXPECT_EQ(platform::CreateDirectory(disk, "/missing/new"), error::kPathNotFound);
  bool empty = false;
  EXPECT_EQ(platform::IsFolderEmpty(disk, "/b/new/", &empty), error::kSuccess);
  EXPECT_TRUE(empty);

  std::string recorded;
  platform::TrashMove move;
  move.before_move = [&](const platform::TrashedEntry& entry) { recorded = entry.original_path; };
  EXPECT_EQ(platform::MoveToTrash(disk, "/a/one/", &move), error::kSuccess);
  EXPECT_EQ(recorded, "/a/one");
}

TEST(MemoryFileSystem, TrashMovesAreAnnouncedMayBeRefusedAndNeverCrossDevices) {
  MemoryFileSystem disk;
  disk.AddFile("/a/one", "1");
  disk.AddFile("/b/one", "2");
  disk.AddMountPoint("/other");
  disk.AddFile("/other/far", "3");
  std::vector<std::string> announced;
  platform::TrashMove move;
  move.before_move = [&](const platform::TrashedEntry& entry) {
    announced.push_back(entry.original_path + " " + entry.name + " " + entry.deletion_date);
  };
  EXPECT_EQ(platform::MoveToTrash(disk, "/a/one", &move), error::kSuccess);
  EXPECT_EQ(platform::MoveToTrash(disk, "/b/one", &move), error::kSuccess);
  EXPECT_EQ(announced, (std::vector<std::string>{"/a/one one 2026-01-01T00:00:00",
                                                 "/b/one one.2 2026-01-01T00:00:00"}));
  EXPECT_EQ(disk.Contents("/trash/files/one.2"), "2");

  disk.AddFile("/a/kept");
  move.before_move = [&](const platform::TrashedEntry&) { move.refused = true; };
  EXPECT_EQ(platform::MoveToTrash(disk, "/a/kept", &move), error::kAccessDenied);
  EXPECT_TRUE(disk.Exists("/a/kept"));
  EXPECT_NE(platform::MoveToTrash(disk, "/other/far"), error::kSuccess);
  EXPECT_TRUE(disk.Exists("/other/far"));
}

}  // namespace
