// The one file type over Win32 handles: what its openers refuse (folders, devices, pipes),
// and its reads, appends, cuts and locks on a real file.
#include <windows.h>
// The layer's functions carry the names these macros would rename.
#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef GetFileAttributes
#undef ExpandEnvironmentStrings

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/streams.h"
#include "support/windows_test_support.h"

namespace {

using platform::File;
using windows_test::MakeFile;
using windows_test::MakeFolder;
using windows_test::TempTree;
namespace error = platform::error;

// A folder, a device and a pipe are no files: every opener says so with one code, the by-path
// whole-file calls with the library's access denied, and the device namespace is not opened.
TEST(Win32File, OpenersAnswerBadFileTypeForFoldersDevicesAndPipes) {
  TempTree tree;
  MakeFolder(tree / "folder");
  const std::wstring pipe_name =
      L"\\\\.\\pipe\\orvanel-file-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(pipe_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512,
                                 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const std::string pipe_path =
      "\\\\.\\pipe\\orvanel-file-test-" + std::to_string(GetCurrentProcessId());
  for (const std::string& path :
       {tree / "folder", std::string("\\\\.\\NUL"), std::string("\\\\.\\CON"), pipe_path}) {
    uint32_t code = error::kSuccess;
    EXPECT_FALSE(File::OpenForReading(path, &code).IsOpen()) << path;
    EXPECT_EQ(code, error::kBadFileType) << path;
    File file;
    EXPECT_EQ(platform::OpenForAppend(path, &file), error::kBadFileType) << path;
    EXPECT_EQ(platform::OpenExistingForRead(path, &file), error::kBadFileType) << path;
    EXPECT_EQ(platform::OpenExistingForAppend(path, &file), error::kBadFileType) << path;
    EXPECT_FALSE(file.IsOpen());
    std::vector<uint8_t> data;
    EXPECT_EQ(platform::ReadWholeFile(platform::RealFileSystem(), path, &data),
              error::kAccessDenied)
        << path;
    EXPECT_FALSE(platform::OpenWholeFile(platform::RealFileSystem(), path, &code).IsOpen());
    EXPECT_EQ(code, error::kAccessDenied) << path;
    EXPECT_EQ(platform::AppendToFile(platform::RealFileSystem(), path, "x"), error::kAccessDenied)
        << path;
    EXPECT_EQ(platform::OverwriteFile(platform::RealFileSystem(), path, "x"), error::kAccessDenied)
        << path;
  }
  // Nor are a device's named streams reached.
  std::string value;
  EXPECT_EQ(platform::GetFileStream("\\\\.\\COM1", "name", &value), error::kAccessDenied);
  EXPECT_EQ(platform::SetFileStream("\\\\.\\COM1", "name", "x"), error::kAccessDenied);
  // Nobody came to the pipe: its one instance is still free for a client.
  HANDLE client =
      CreateFileW(pipe_name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(client, INVALID_HANDLE_VALUE);
  if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
  CloseHandle(pipe);

  uint32_t code = error::kSuccess;
  EXPECT_FALSE(File::OpenForReading(tree / "missing", &code).IsOpen());
  EXPECT_EQ(code, error::kFileNotFound);
  EXPECT_FALSE(File::OpenForReading(tree / "a:stream", &code).IsOpen());
  EXPECT_EQ(code, error::kInvalidName);
}

TEST(Win32File, AppendsReadsAtOffsetsCutsBackAndLocks) {
  TempTree tree;
  const std::string path = tree / "run.log";
  File file;
  ASSERT_EQ(platform::OpenForAppend(path, &file), error::kSuccess);
  ASSERT_EQ(file.Write("first\n"), error::kSuccess);
  {
    File other;
    ASSERT_EQ(platform::OpenForAppend(path, &other), error::kSuccess);
    ASSERT_EQ(other.Write("other\n"), error::kSuccess);
  }
  ASSERT_EQ(file.Write("last\n"), error::kSuccess);
  uint64_t size = 0;
  ASSERT_EQ(file.GetSize(&size), error::kSuccess);
  EXPECT_EQ(size, 17u);
  std::vector<uint8_t> piece;
  ASSERT_EQ(file.ReadAt(6, 5, &piece), error::kSuccess);
  EXPECT_EQ(std::string(piece.begin(), piece.end()), "other");
  EXPECT_EQ(file.ReadAt(15, 5, &piece), error::kGenFailure);
  ASSERT_EQ(file.Truncate(6), error::kSuccess);
  ASSERT_EQ(file.Write("again\n"), error::kSuccess);
  std::string all;
  ASSERT_EQ(file.ReadAll(&all), error::kSuccess);
  EXPECT_EQ(all, "first\nagain\n");
  EXPECT_EQ(file.Close(), error::kSuccess);

  // The exclusive creators never take a name that is there; the locked one holds its lock from
  // the start, so that a second handle cannot take it.
  File created;
  EXPECT_EQ(platform::CreateForAppend(path, &created), error::kFileExists);
  EXPECT_EQ(platform::OpenFileByPath(platform::RealFileSystem(), path,
                                     platform::FileOpening::kCreateLocked, &created),
            error::kFileExists);
  ASSERT_EQ(platform::OpenFileByPath(platform::RealFileSystem(), tree / "run.undo",
                                     platform::FileOpening::kCreateLocked, &created),
            error::kSuccess);
  File second;
  ASSERT_EQ(platform::OpenExistingForAppend(tree / "run.undo", &second), error::kSuccess);
  bool locked = true;
  ASSERT_EQ(second.TryLock(&locked), error::kSuccess);
  EXPECT_FALSE(locked);
  created.Close();
  ASSERT_EQ(second.TryLock(&locked), error::kSuccess);
  EXPECT_TRUE(locked);

  // The whole-file calls go through the same file type.
  MakeFile(tree / "three", 3);
  ASSERT_EQ(platform::OverwriteFile(platform::RealFileSystem(), tree / "three", "ab"),
            error::kSuccess);
  ASSERT_EQ(platform::AppendToFile(platform::RealFileSystem(), tree / "three", "c"),
            error::kSuccess);
  std::vector<uint8_t> data;
  ASSERT_EQ(platform::ReadWholeFile(platform::RealFileSystem(), tree / "three", &data),
            error::kSuccess);
  EXPECT_EQ(std::string(data.begin(), data.end()), "abc");
  ASSERT_EQ(platform::GetFileSize(platform::RealFileSystem(), tree / "three", &size),
            error::kSuccess);
  EXPECT_EQ(size, 3u);
}

}  // namespace
