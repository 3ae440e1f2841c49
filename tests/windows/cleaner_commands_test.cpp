// The cleaner's command families on Windows, run through the program's own entry over real
// temporary trees: names outside the ANSI code page, reserved names and paths beyond MAX_PATH
// are found and deleted, the recycle bin never turns into a permanent delete, and bad paths
// harm nothing outside what they name.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cleaner/modMain.h"
#include "platform/platform.h"
#include "platform/protected_folders.h"
#include "support/windows_test_support.h"

namespace {

using windows_test::Exists;
using windows_test::MakeFile;
using windows_test::MakeFolder;
using windows_test::TempTree;

struct ScriptRun {
  int exit_code = -1;
  std::vector<std::string> lines;  // the log lines of this run, read back as UTF-8
  // True when some line holds `text` (UTF-8).
  bool Says(const std::string& text) const {
    for (const auto& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// A line of a log in the ANSI code page as UTF-8, its "<U+hex>" escapes turned back into the
// characters they stand for.
std::string FromAnsiLog(const std::string& line) {
  std::string text;
  size_t i = 0;
  while (i < line.size()) {
    const size_t escape = line.find("<U+", i);
    const size_t end = escape == std::string::npos ? escape : line.find('>', escape);
    text +=
        platform::AnsiToUtf8(line.substr(i, (end == std::string::npos ? line.size() : escape) - i));
    if (end == std::string::npos) break;
    const unsigned long c = std::stoul(line.substr(escape + 3, end - escape - 3), nullptr, 16);
    std::wstring unit;
    if (c >= 0x10000) {
      unit += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      unit += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit += static_cast<wchar_t>(c);
    }
    text += windows_test::Utf8(unit);
    i = end + 1;
  }
  return text;
}

// The lines of the last run in the log (after its line of 78 "="), whichever encoding the log
// is in: UTF-8 after its mark, else the ANSI code page.
std::vector<std::string> LastRunLines() {
  std::ifstream file(windows_test::Wide(windows_test::SweepwellLogPath()).c_str(),
                     std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  bool first = true, utf8 = false;
  while (std::getline(file, line)) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) {
      utf8 = true;
      line.erase(0, 3);
    }
    first = false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == std::string(78, '=')) {
      lines.clear();
    } else {
      lines.push_back(utf8 ? line : FromAnsiLog(line));
    }
  }
  return lines;
}

// A script value: double quotes doubled.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

// Runs the script `body` (UTF-8) through the program's entry, as Sweepwell.exe SCRIPT would.
ScriptRun RunScript(const TempTree& scripts, const std::string& body) {
  const std::string path = scripts / "script.loom";
  {
    std::ofstream file(windows_test::Wide(path).c_str(), std::ios::binary | std::ios::trunc);
    file << body << "cleaner.done\n";
  }
  ScriptRun run;
  run.exit_code = sweepwell::Main({path});
  run.lines = LastRunLines();
  return run;
}

class CleanerCommands : public ::testing::Test {
 protected:
  TempTree tree;
  TempTree scripts;
};

TEST_F(CleanerCommands, DeleteFolderRemovesNamesNoCodePageHoldsAndPathsBeyondMaxPath) {
  const std::string f = tree / "f";
  const std::vector<std::string> files = {
      "Кириллица\\файл.txt",   "日本\\文書.doc", "emoji \xF0\x9F\x98\x80.txt", "CON", "NUL.log",
      "dot.\\trailing blank ",
  };
  for (const auto& name : files) MakeFile(f + "\\" + name, 2);
  std::string deep = f;
  while (deep.size() < 320) deep += "\\deep folder";
  MakeFile(deep + "\\last.bin", 5);
  MakeFile(tree / "sibling.txt", 1);

  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = False\n"
                                  "cleaner.delete-folder = " +
                                      Quoted(f) + "\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(Exists(f));
  EXPECT_TRUE(Exists(tree / "sibling.txt"));
  // The log holds every path whole, whatever the ANSI code page.
  EXPECT_TRUE(run.Says(f + "\\emoji \xF0\x9F\x98\x80.txt  :: 2 bytes"));
  EXPECT_TRUE(run.Says(f + "\\CON  :: 2 bytes"));
  EXPECT_TRUE(run.Says(f + "\\dot.\\trailing blank   :: 2 bytes"));
  EXPECT_TRUE(run.Says(deep + "\\last.bin  :: 5 bytes"));
  EXPECT_TRUE(run.Says(f + "  :: DIR"));

  // The log is a Windows text file: every line ends in CR LF.
  std::ifstream log(windows_test::Wide(windows_test::SweepwellLogPath()).c_str(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.back(), '\n');
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "a bare LF at " << i;
    }
  }
}

TEST_F(CleanerCommands, MasksMatchWithoutLetterCaseInAnyScriptAndEitherSeparator) {
  for (const std::string name :
       {"a\\ФАЙЛ.TMP", "a\\b\\файл.tmp", "a\\keep.txt", "a\\b\\Über.Tmp"}) {
    MakeFile(tree / name, 1);
  }
  std::string slashed = tree / "a/*.tmp";
  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = False\n"
                                  "cleaner.delete-files-recursive = " +
                                      Quoted(slashed) + "\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(Exists(tree / "a\\ФАЙЛ.TMP"));
  EXPECT_FALSE(Exists(tree / "a\\b\\файл.tmp"));
  EXPECT_FALSE(Exists(tree / "a\\b\\Über.Tmp"));
  EXPECT_TRUE(Exists(tree / "a\\keep.txt"));
}

TEST_F(CleanerCommands, RecycleBinThatCannotTakeTheFileLeavesItAndSaysSo) {
  if (!windows_test::RunningUnderWine()) GTEST_SKIP() << "the missing Wine trash case only";
  const std::string trash = windows_test::WineTrashFolder();
  ASSERT_FALSE(trash.empty());
  windows_test::RemoveTree(trash);
  MakeFile(tree / "f\\one.txt", 3);
  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = True\n"
                                  "cleaner.delete-files = " +
                                      Quoted(tree / "f\\*.txt") + "\n");
  EXPECT_TRUE(Exists(tree / "f\\one.txt"));
  ASSERT_TRUE(run.Says(tree / "f\\one.txt  :: 3 bytes  ["));
  EXPECT_FALSE(run.Says("Всего удалено файлов:  1"));

  MakeFolder(trash + "\\files");
  MakeFolder(trash + "\\info");
  const ScriptRun again = RunScript(scripts,
                                    "cleaner.delete-to-recycle-bin = True\n"
                                    "cleaner.delete-files = " +
                                        Quoted(tree / "f\\*.txt") + "\n");
  EXPECT_FALSE(Exists(tree / "f\\one.txt"));
  EXPECT_TRUE(Exists(trash + "\\files\\one.txt"));
  EXPECT_TRUE(again.Says(tree / "f\\one.txt  :: 3 bytes"));
  EXPECT_FALSE(again.Says(tree / "f\\one.txt  :: 3 bytes  ["));
  windows_test::RemoveTree(trash);
}

// Whatever a script names, nothing outside it is touched, and the program ends normally.
TEST_F(CleanerCommands, BadPathsHarmNothingOutsideWhatTheyName) {
  const std::string f = tree / "f";
  MakeFile(f + "\\inside.txt", 1);
  MakeFile(tree / "outside.txt", 1);
  MakeFile(tree / "file.txt", 1);
  const std::vector<std::string> commands = {
      "cleaner.delete-folder = \"\"\n",
      "cleaner.delete-files = \"\"\n",
      "cleaner.delete-folder = " + Quoted(tree / "missing") + "\n",
      "cleaner.delete-files-recursive = " + Quoted(tree / "missing\\*.txt") + "\n",
      "cleaner.delete-folder = " + Quoted(tree / "file.txt\\") + "\n",
      "cleaner.delete-files = " + Quoted(f + "\\..\\f\\x|y<z>*") + "\n",
      "cleaner.delete-files = " + Quoted(f + "\\inside.txt:stream") + "\n",
      "cleaner.delete-empty-folders-recursive = " + Quoted(f + "\\*\\..") + "\n",
      "cleaner.delete-files = " + Quoted(std::string(40000, 'x')) + "\n",
      "cleaner.delete-folder = " + Quoted("\\\\?\\" + tree.root() + "\\nothing") + "\n",
  };
  for (const auto& command : commands) {
    const ScriptRun run = RunScript(scripts, "cleaner.delete-to-recycle-bin = False\n" + command);
    EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 1) << command.substr(0, 200);
    EXPECT_TRUE(Exists(tree / "outside.txt")) << command.substr(0, 200);
    EXPECT_TRUE(Exists(f + "\\inside.txt")) << command.substr(0, 200);
  }
  // A file named as a folder is not deleted as a folder.
  EXPECT_TRUE(Exists(tree / "file.txt"));

  // Trailing separators still name the folder itself, and only it.
  MakeFile(tree / "g\\inner.txt", 1);
  RunScript(scripts, "cleaner.delete-to-recycle-bin = False\ncleaner.delete-folder = " +
                         Quoted(tree / "g\\\\\\") + "\n");
  EXPECT_FALSE(Exists(tree / "g"));
  EXPECT_TRUE(Exists(tree / "outside.txt"));
  EXPECT_TRUE(Exists(f + "\\inside.txt"));
}

TEST_F(CleanerCommands, JunctionsAreRemovedWithoutTouchingWhatTheyLeadTo) {
  if (!windows_test::FolderLinksWork()) {
    GTEST_SKIP() << "this system makes no symbolic links to folders (Wine: CreateSymbolicLinkW "
                    "succeeds and creates nothing)";
  }
  MakeFile(tree / "target\\precious", 1);
  MakeFolder(tree / "f");
  ASSERT_TRUE(CreateSymbolicLinkW(windows_test::LongForm(tree / "f\\link").c_str(),
                                  windows_test::LongForm(tree / "target").c_str(),
                                  SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2));
  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = False\n"
                                  "cleaner.delete-folder = " +
                                      Quoted(tree / "f") + "\n");
  EXPECT_FALSE(Exists(tree / "f"));
  EXPECT_TRUE(Exists(tree / "target\\precious"));
  EXPECT_TRUE(run.Says(tree / "f\\link  :: Junction"));
}

TEST_F(CleanerCommands, GuardRefusesABlankVariableAndTouchesNothing) {
  MakeFile(tree / "keep\\a.tmp", 1);
  windows_test::ScopedVariable where("SWEEPWELL_GUARD_TREE", tree / "keep");
  windows_test::ScopedVariable blank("SWEEPWELL_GUARD_BLANK", "  ");
  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = False\n"
                                  "cleaner.delete-folder = "
                                  "\"%SWEEPWELL_GUARD_TREE%\\%SWEEPWELL_GUARD_BLANK%\"\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.Says("[Переменная %SWEEPWELL_GUARD_BLANK% пуста"));
  EXPECT_TRUE(Exists(tree / "keep\\a.tmp"));
}

// Sets the creation and last write times of `path`, each so many days back (its last access
// goes with the write time).
void SetFileDays(const std::string& path, int created_days, int written_days) {
  const HANDLE file = CreateFileW(windows_test::LongForm(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  auto back = [&now](int days) {
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart -= static_cast<ULONGLONG>(days) * 864000000000ull;
    return FILETIME{ticks.LowPart, ticks.HighPart};
  };
  const FILETIME created = back(created_days), written = back(written_days);
  EXPECT_TRUE(SetFileTime(file, &created, &written, &written));
  CloseHandle(file);
}

// Whether the creation time of `path` reads back older than its last write time: some file
// systems (and Wine over most Linux ones) keep no creation time of their own.
bool CreatedBeforeWritten(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(windows_test::LongForm(path).c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  return CompareFileTime(&data.ftCreationTime, &data.ftLastWriteTime) < 0;
}

TEST_F(CleanerCommands, FoldersByNameAndExclusionsIgnoreLetterCase) {
  MakeFile(tree / "src\\app\\Node_Modules\\x.js", 1);
  MakeFile(tree / "src\\app\\.Git\\node_modules\\in-git.js", 1);
  MakeFile(tree / "src\\lib\\node_modules\\keep\\k.js", 1);
  std::string kept = tree / "SRC\\LIB\\NODE_MODULES\\KEEP";
  const ScriptRun run = RunScript(scripts,
                                  "cleaner.delete-to-recycle-bin = False\n"
                                  "cleaner.exclusions-add-mask = \".git\"\n"
                                  "cleaner.exclusions-add-path = " +
                                      Quoted(kept) +
                                      "\n"
                                      "cleaner.delete-folders-named = " +
                                      Quoted(tree / "src\\node_modules") + "\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(Exists(tree / "src\\app\\Node_Modules"));
  EXPECT_TRUE(Exists(tree / "src\\app\\.Git\\node_modules\\in-git.js"));
  EXPECT_TRUE(Exists(tree / "src\\lib\\node_modules\\keep\\k.js"));
  EXPECT_FALSE(run.Says("in-git.js"));
  EXPECT_FALSE(run.Says("k.js"));
}

// The birth time on Windows is the creation time, which copying a file keeps new while its
// write time comes along old.
TEST_F(CleanerCommands, TheCreationTimeCountsWhenBirthIsNamed) {
  MakeFile(tree / "t\\copied-in", 1);
  MakeFile(tree / "t\\made-long-ago", 1);
  MakeFile(tree / "t\\probe", 1);
  SetFileDays(tree / "t\\copied-in", 1, 90);
  SetFileDays(tree / "t\\made-long-ago", 90, 90);
  SetFileDays(tree / "t\\probe", 90, 1);
  if (!CreatedBeforeWritten(tree / "t\\probe")) {
    GTEST_SKIP() << "this file system keeps no creation time of its own";
  }
  ScriptRun run = RunScript(scripts,
                            "cleaner.delete-to-recycle-bin = False\n"
                            "cleaner.by-age-set-days = 10\n"
                            "cleaner.by-age-set-times = \"birth\"\n"
                            "cleaner.by-age-delete-files = " +
                                Quoted(tree / "t") + "\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Exists(tree / "t\\copied-in"));
  EXPECT_FALSE(Exists(tree / "t\\made-long-ago"));
  // By write time alone the copy is old.
  run = RunScript(scripts,
                  "cleaner.delete-to-recycle-bin = False\n"
                  "cleaner.by-age-set-days = 10\n"
                  "cleaner.by-age-set-times = \"write\"\n"
                  "cleaner.by-age-delete-files = " +
                      Quoted(tree / "t") + "\n");
  EXPECT_FALSE(Exists(tree / "t\\copied-in"));
}

// Only the comparison: nothing here is ever handed to a deleting command.
TEST(ProtectedFolders, DriveAndShareRootsAndTheSystemFolderHoweverSpelt) {
  using platform::ProtectedKind;
  using platform::ProtectedKindOf;
  using platform::ResolvedFolderPath;
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("C:\\")), ProtectedKind::kFileSystemRoot);
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("c:/")), ProtectedKind::kFileSystemRoot);
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("C:\\Windows\\..\\")),
            ProtectedKind::kFileSystemRoot);
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("\\\\server\\share\\")),
            ProtectedKind::kFileSystemRoot);
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("C:\\windows")), ProtectedKind::kSystem);
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath("C:\\WINDOWS\\.\\")), ProtectedKind::kSystem);
  const TempTree temp;
  EXPECT_EQ(ProtectedKindOf(ResolvedFolderPath(temp / "x")), ProtectedKind::kNone);
}

}  // namespace
