// The Win32 backend over real temporary trees: names the ANSI code page cannot hold, names
// Win32 paths would rewrite, paths beyond MAX_PATH, deletion by handle, and entries that change
// between a listing and an action.
#include <windows.h>
// The layer's functions carry the names these macros would rename.
#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef GetFileAttributes
#undef ExpandEnvironmentStrings

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/windows_test_support.h"

namespace {

using windows_test::Exists;
using windows_test::MakeFile;
using windows_test::MakeFolder;
using windows_test::TempTree;

std::vector<std::string> NamesIn(const std::string& path) {
  uint32_t error = 0;
  const platform::Folder folder = platform::Folder::Open(path, &error);
  EXPECT_EQ(error, 0u) << path;
  std::vector<platform::FindRecord> records;
  EXPECT_EQ(platform::ListFolder(folder, &records), 0u);
  std::vector<std::string> names;
  for (const auto& record : records) {
    if (record.name != "." && record.name != "..") names.push_back(record.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Names outside any ANSI code page, names Win32 path parsing would change or refuse ("CON",
// "NUL", trailing dots and blanks), all found by a listing and removed through the layer.
TEST(Win32Backend, UnusualNamesAreListedExactlyAndDeleted) {
  TempTree tree;
  const std::vector<std::string> names = {"CON",
                                          "NUL.txt",
                                          "trailing dot.",
                                          "trailing blank ",
                                          "Кириллица.tmp",
                                          "日本語のファイル",
                                          "emoji \xF0\x9F\x98\x80.txt",
                                          "aux"};
  for (const auto& name : names) MakeFile(tree / name, 3);
  MakeFolder(tree / "папка.");

  std::vector<std::string> expected = names;
  expected.push_back("папка.");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(NamesIn(tree.root()), expected);

  uint32_t error = 0;
  const platform::Folder folder = platform::Folder::Open(tree.root(), &error);
  ASSERT_TRUE(folder.IsOpen());
  for (const auto& name : names) {
    uint32_t attributes = 0;
    uint64_t size = 0;
    EXPECT_EQ(platform::GetEntryAttributes(folder, name, &attributes, &size), 0u) << name;
    EXPECT_EQ(size, 3u) << name;
    EXPECT_EQ(platform::DeleteEntryFile(folder, name), 0u) << name;
    EXPECT_FALSE(Exists(tree / name)) << name;
  }
  // By path as well: the full path keeps the trailing dot.
  EXPECT_EQ(platform::RemoveDirectory(tree / "папка."), 0u);
  EXPECT_TRUE(NamesIn(tree.root()).empty());
}

TEST(Win32Backend, PathsLongerThanMaxPathWorkByPathAndByHandle) {
  TempTree tree;
  std::string deep = tree.root();
  while (deep.size() < 400) deep += "\\a folder name of some length";
  MakeFolder(deep);
  MakeFile(deep + "\\file.txt", 5);

  uint32_t attributes = 0;
  uint64_t size = 0;
  EXPECT_EQ(platform::GetFileAttributes(deep + "\\file.txt", &attributes, &size), 0u);
  EXPECT_EQ(size, 5u);
  uint32_t error = 0;
  const platform::Folder folder = platform::Folder::Open(deep, &error);
  ASSERT_TRUE(folder.IsOpen()) << error;
  EXPECT_EQ(NamesIn(deep), std::vector<std::string>{"file.txt"});
  EXPECT_EQ(platform::CreateDirectory(deep + "\\new"), 0u);
  EXPECT_EQ(platform::CreateDirectory(deep + "\\new"), platform::error::kAlreadyExists);
  EXPECT_EQ(platform::RemoveDirectory(deep + "\\new"), 0u);
  EXPECT_EQ(platform::DeleteFile(deep + "\\file.txt"), 0u);
  EXPECT_FALSE(Exists(deep + "\\file.txt"));
}

// "/" is a separator, "." and ".." are resolved by text, a trailing separator is ignored.
TEST(Win32Backend, PathsAreNormalisedAsWindowsDoes) {
  TempTree tree;
  MakeFile(tree / "sub\\file.txt", 2);
  std::string slashed = tree.root() + "/sub/./other/../file.txt";
  uint32_t attributes = 0;
  uint64_t size = 0;
  EXPECT_EQ(platform::GetFileAttributes(slashed, &attributes, &size), 0u);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(platform::GetFileAttributes(tree / "sub\\", &attributes, &size), 0u);
  EXPECT_NE(attributes & platform::attr::kDirectory, 0u);
  bool empty = true;
  EXPECT_EQ(platform::IsFolderEmpty(tree.root() + "/sub/", &empty), 0u);
  EXPECT_FALSE(empty);
  EXPECT_EQ(platform::AbsolutePath(tree.root() + "/sub/x/.."), tree / "sub");
}

TEST(Win32Backend, FailuresCarryTheWindowsCodes) {
  TempTree tree;
  MakeFile(tree / "full\\file", 1);
  MakeFile(tree / "read-only", 4);
  SetFileAttributesW(windows_test::LongForm(tree / "read-only").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(platform::DeleteFile(tree / "missing"), platform::error::kFileNotFound);
  EXPECT_EQ(platform::DeleteFile(tree / "no folder\\file"), platform::error::kPathNotFound);
  EXPECT_EQ(platform::DeleteFile(tree / "full"), platform::error::kAccessDenied);
  EXPECT_EQ(platform::RemoveDirectory(tree / "full"), platform::error::kDirNotEmpty);
  EXPECT_TRUE(Exists(tree / "full\\file"));

  // Read-only: refused until the attributes are made normal, as DeleteFile does.
  EXPECT_EQ(platform::DeleteFile(tree / "read-only"), platform::error::kAccessDenied);
  EXPECT_TRUE(Exists(tree / "read-only"));
  EXPECT_EQ(platform::SetFileAttributesNormal(tree / "read-only"), 0u);
  EXPECT_EQ(platform::DeleteFile(tree / "read-only"), 0u);

  uint32_t error = 0;
  EXPECT_FALSE(platform::Folder::Open(tree / "missing", &error).IsOpen());
  EXPECT_EQ(error, platform::error::kPathNotFound);
  EXPECT_FALSE(platform::Folder::Open(tree / "full\\file", &error).IsOpen());
  EXPECT_EQ(error, platform::error::kPathNotFound);
}

TEST(Win32Backend, AFileHeldOpenWithoutDeleteSharingIsASharingViolation) {
  TempTree tree;
  MakeFile(tree / "held", 1);
  HANDLE held = CreateFileW(windows_test::LongForm(tree / "held").c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::DeleteFile(tree / "held"), platform::error::kSharingViolation);
  CloseHandle(held);
  EXPECT_TRUE(Exists(tree / "held"));
  EXPECT_EQ(platform::DeleteFile(tree / "held"), 0u);
}

// An entry name can only name an entry of its own folder: whatever it holds, nothing outside
// the folder is reached.
TEST(Win32Backend, EntryNamesThatReachElsewhereAreRefused) {
  TempTree tree;
  MakeFile(tree / "victim", 1);
  MakeFile(tree / "inner\\victim", 1);
  uint32_t error = 0;
  const platform::Folder folder = platform::Folder::Open(tree / "inner", &error);
  ASSERT_TRUE(folder.IsOpen());
  for (const std::string& name :
       std::vector<std::string>{"..\\victim", "../victim", "sub/victim", "victim:stream",
                                "C:victim", std::string("victim\0x", 8), std::string()}) {
    EXPECT_EQ(platform::DeleteEntryFile(folder, name), platform::error::kInvalidName) << name;
    EXPECT_EQ(platform::RemoveEntryDirectory(folder, name), platform::error::kInvalidName);
    EXPECT_FALSE(folder.OpenEntry(name, &error).IsOpen());
  }
  EXPECT_TRUE(Exists(tree / "victim"));
  EXPECT_TRUE(Exists(tree / "inner\\victim"));
  EXPECT_EQ(platform::DeleteEntryFile(folder, std::string(300, 'n')),
            platform::error::kFilenameTooLong);
}

TEST(Win32Backend, WalksGoDownByHandleAndBackUpByIdentity) {
  TempTree tree;
  MakeFolder(tree / "a\\b");
  uint32_t error = 0;
  const platform::Folder root = platform::Folder::Open(tree.root(), &error);
  const platform::Folder a = root.OpenEntry("a", &error);
  ASSERT_TRUE(a.IsOpen());
  const platform::Folder b = a.OpenEntry("b", &error);
  ASSERT_TRUE(b.IsOpen());
  const platform::Folder back = b.OpenEntryVerified("..", a.Id(), &error);
  EXPECT_TRUE(back.IsOpen()) << error;
  EXPECT_FALSE(b.OpenEntryVerified("..", root.Id(), &error).IsOpen());
  EXPECT_EQ(error, platform::error::kPathNotFound);
  EXPECT_FALSE(root.Id() == a.Id());
}

// A folder listed, then swapped for a file, then for a folder of the same name: a walk that
// kept the listing is told so instead of acting on the newcomer.
TEST(Win32Backend, AFolderReplacedAfterItsListingIsNotTakenForTheOldOne) {
  TempTree tree;
  MakeFile(tree / "sub\\keep", 1);
  uint32_t error = 0;
  const platform::Folder root = platform::Folder::Open(tree.root(), &error);
  const platform::FolderId listed = root.OpenEntry("sub", &error).Id();

  ASSERT_TRUE(MoveFileW(windows_test::LongForm(tree / "sub").c_str(),
                        windows_test::LongForm(tree / "moved").c_str()));
  MakeFile(tree / "sub", 1);
  EXPECT_FALSE(root.OpenEntry("sub", &error).IsOpen());
  EXPECT_EQ(error, platform::error::kPathNotFound);

  windows_test::RemoveTree(tree / "sub");
  MakeFolder(tree / "sub");
  EXPECT_FALSE(root.OpenEntryVerified("sub", listed, &error).IsOpen());
  EXPECT_TRUE(Exists(tree / "moved\\keep"));
}

TEST(Win32Backend, AJunctionInPlaceOfAListedFolderIsNeverEntered) {
  if (!windows_test::FolderLinksWork()) {
    GTEST_SKIP() << "this system makes no symbolic links to folders (Wine: CreateSymbolicLinkW "
                    "succeeds and creates nothing)";
  }
  TempTree tree;
  MakeFile(tree / "outside\\precious", 1);
  MakeFolder(tree / "walked");
  uint32_t error = 0;
  const platform::Folder root = platform::Folder::Open(tree.root(), &error);
  RemoveDirectoryW(windows_test::LongForm(tree / "walked").c_str());
  ASSERT_TRUE(CreateSymbolicLinkW(windows_test::LongForm(tree / "walked").c_str(),
                                  windows_test::LongForm(tree / "outside").c_str(),
                                  SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2));
  EXPECT_FALSE(root.OpenEntry("walked", &error, /*follow_links=*/false).IsOpen());
  uint32_t attributes = 0;
  EXPECT_EQ(platform::GetEntryAttributes(root, "walked", &attributes, nullptr), 0u);
  EXPECT_EQ(attributes & (platform::attr::kDirectory | platform::attr::kReparsePoint),
            platform::attr::kDirectory | platform::attr::kReparsePoint);
  // Removing it removes the link only.
  EXPECT_EQ(platform::RemoveEntryDirectory(root, "walked"), 0u);
  EXPECT_TRUE(Exists(tree / "outside\\precious"));
}

TEST(Win32Backend, EmptinessIgnoresOnlyTheDots) {
  TempTree tree;
  MakeFolder(tree / "empty");
  MakeFile(tree / "full\\x", 0);
  bool empty = false;
  EXPECT_EQ(platform::IsFolderEmpty(tree / "empty", &empty), 0u);
  EXPECT_TRUE(empty);
  EXPECT_EQ(platform::IsFolderEmpty(tree / "full", &empty), 0u);
  EXPECT_FALSE(empty);
  EXPECT_NE(platform::IsFolderEmpty(tree / "none", &empty), 0u);
  EXPECT_FALSE(empty);
}

// Under Wine the shell deletes for good, and says it succeeded, when the Unix trash folder is
// missing: the layer must refuse then, and the file must stay.
TEST(Win32Backend, RecyclingNeverDeletesForGood) {
  if (!windows_test::RunningUnderWine()) GTEST_SKIP() << "the Wine trash case only";
  const std::string trash = windows_test::WineTrashFolder();
  ASSERT_FALSE(trash.empty()) << "XDG_DATA_HOME must be set for the tests";
  TempTree tree;
  MakeFile(tree / "recycle me.txt", 7);

  windows_test::RemoveTree(trash);
  EXPECT_NE(platform::MoveToTrash(tree / "recycle me.txt"), 0u);
  EXPECT_TRUE(Exists(tree / "recycle me.txt"));

  MakeFolder(trash + "\\files");
  MakeFolder(trash + "\\info");
  EXPECT_EQ(platform::MoveToTrash(tree / "recycle me.txt"), 0u);
  EXPECT_FALSE(Exists(tree / "recycle me.txt"));
  EXPECT_TRUE(Exists(trash + "\\files\\recycle me.txt"));
  windows_test::RemoveTree(trash);
}

TEST(Win32Backend, RecyclingRefusesFoldersAndOverlongPaths) {
  TempTree tree;
  MakeFolder(tree / "folder");
  EXPECT_EQ(platform::MoveToTrash(tree / "folder"), platform::error::kAccessDenied);
  std::string deep = tree.root();
  while (deep.size() < 300) deep += "\\deeper";
  MakeFile(deep + "\\file", 1);
  EXPECT_EQ(platform::MoveToTrash(deep + "\\file"), platform::error::kFilenameTooLong);
  EXPECT_TRUE(Exists(deep + "\\file"));
  EXPECT_TRUE(Exists(tree / "folder"));
}

TEST(Win32Backend, TextCrossesTheAnsiCodePageAsWindowsConvertsIt) {
  EXPECT_EQ(platform::AnsiIsUtf8(), GetACP() == CP_UTF8);
  const std::string ascii = "plain ASCII";
  EXPECT_EQ(platform::Utf8ToAnsi(ascii), ascii);
  // A character no single-byte page holds comes out as "?", never as a look-alike.
  EXPECT_EQ(platform::Utf8ToAnsi("\xF0\x9F\x98\x80"),
            GetACP() == CP_UTF8 ? "\xF0\x9F\x98\x80" : "??");
  const std::string round = platform::AnsiToUtf8(platform::Utf8ToAnsi("caf\xC3\xA9"));
  if (GetACP() == 1252 || GetACP() == CP_UTF8) {
    EXPECT_EQ(round, "caf\xC3\xA9");
  }
}

TEST(Win32Backend, EnvironmentAndUserFolders) {
  windows_test::ScopedVariable variable("SWEEPWELL_TEST_VALUE", "Значение");
  EXPECT_EQ(platform::ExpandEnvironmentStrings("[%sweepwell_test_value%] %NO_SUCH_VAR% 100%"),
            "[Значение] %NO_SUCH_VAR% 100%");
  const std::string data = platform::GetUserDataFolder();
  ASSERT_FALSE(data.empty());
  uint32_t attributes = 0;
  EXPECT_EQ(platform::GetFileAttributes(data, &attributes, nullptr), 0u);
  EXPECT_NE(attributes & platform::attr::kDirectory, 0u);
}

}  // namespace
