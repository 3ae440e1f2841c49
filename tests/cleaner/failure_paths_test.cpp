// What each command family does when the file system refuses or changes under it: the line it
// writes (the error in brackets), what it counts, what it leaves, that nothing outside the named
// folder is touched, and that the run goes on. The failures come from a stand-in file system,
// so no root, loop image or immutable file is needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/modByAge.h"
#include "cleaner/modByList.h"
#include "cleaner/modByMask.h"
#include "cleaner/modDelJunctions.h"
#include "cleaner/modDelTree.h"
#include "cleaner/modEmptyFolders.h"
#include "common/faulty_file_system.h"
#include "faulty_run_fixture.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

namespace fs = std::filesystem;
using orvanel::testing::Fault;
using orvanel::testing::FaultyFileSystem;
using orvanel::testing::Op;
using orvanel::testing::ReadBytes;
using orvanel::testing::WriteBytes;
namespace error = platform::error;

// The descriptions of the error numbers the Windows codes map to.
constexpr char kDenied[] = "  [Отказано в доступе]";                  // 5, 32 -> 70
constexpr char kPathError[] = "  [Ошибка доступа к пути или файлу]";  // 112, 145 -> 75
constexpr char kNotFound[] = "  [Файл не найден]";                    // 2 -> 53

class FailurePathsTest : public FaultyRunTest {
 protected:
  void Folder(const std::string& name) { fs::create_directories(Path(name)); }
  void File(const std::string& name) { WriteBytes(Path(name), std::string(10, 'x')); }

  // `log` holds the whole line `line`.
  static bool HasLine(const std::string& log, const std::string& line) {
    return log.find("\n" + line + "\n") != std::string::npos;
  }
  std::string FileLine(const std::string& name, const char* outcome = "") {
    return Path(name) + "  :: 10 bytes" + outcome;
  }
};

TEST_F(FailurePathsTest, DeleteFilesKeepsARefusedFileSaysWhyAndGoesOn) {
  Folder("d");
  File("d/a.tmp");
  File("d/b.tmp");
  File("d/c.tmp");
  files.Fail(Op::kDeleteFile, "b.tmp", error::kAccessDenied);
  DeleteFiles(run, Path("d/*.tmp"), false);
  EXPECT_TRUE(Exists("d/b.tmp"));
  EXPECT_FALSE(Exists("d/a.tmp"));
  EXPECT_FALSE(Exists("d/c.tmp"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 3);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 2);
  EXPECT_EQ(run.Output->Totals().FreedBytes, 20);
  EXPECT_EQ(run.Output->Totals().ReportedBytes, 30);
  const std::string log = Log();
  EXPECT_TRUE(HasLine(log, FileLine("d/b.tmp", kDenied))) << log;
  EXPECT_TRUE(HasLine(log, FileLine("d/a.tmp"))) << log;
}

// Lines are written ahead of their deletions in batches; a refusal in the middle of one must
// leave exactly the lines a file-by-file run writes: each file once, in listing order, the
// refused ones with their error, none for a file after them twice.
TEST_F(FailurePathsTest, RefusalsInsideLargeFoldersLeaveOneTrueLinePerFileInOrder) {
  Folder("big");
  constexpr int kFiles = 700;
  for (int i = 0; i < kFiles; ++i) File("big/f" + std::to_string(i));
  files.Fail(Op::kDeleteFile, "f17", error::kAccessDenied);
  files.Fail(Op::kDeleteFile, "f300", error::kAccessDenied);
  files.Vanish(Op::kDeleteFile, "f301");
  std::vector<platform::FindRecord> listed;
  platform::Folder big = platform::RealFileSystem().OpenFolder(Path("big"), nullptr, false);
  platform::RealFileSystem().ListFolder(big, &listed);
  std::erase_if(listed,
                [](const platform::FindRecord& e) { return e.name == "." || e.name == ".."; });
  ASSERT_EQ(listed.size(), static_cast<size_t>(kFiles));
  DeleteFolder(run, Path("big"));
  std::string expected;
  for (const platform::FindRecord& entry : listed) {
    const char* outcome = entry.name == "f17" || entry.name == "f300" ? kDenied
                          : entry.name == "f301"                      ? kNotFound
                                                                      : "";
    expected += FileLine("big/" + entry.name, outcome) + "\n";
  }
  std::string log = Log();
  const size_t first = log.find(Path("big/"));
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.substr(first, expected.size()), expected);
  EXPECT_EQ(log.find(Path("big") + "  :: DIR"), std::string::npos);  // the folder stays
  EXPECT_EQ(run.Output->Totals().DeletedFiles, kFiles - 3);
  EXPECT_EQ(run.Output->Totals().ReportedFiles, kFiles);
}

TEST_F(FailurePathsTest, DeleteFilesRecursiveSkipsAFolderItCannotEnterAndSharingViolations) {
  Folder("t/locked");
  Folder("t/open");
  File("t/locked/x.tmp");
  File("t/open/busy.tmp");
  File("t/open/free.tmp");
  Fault& locked = files.Fail(Op::kOpenEntry, "locked", error::kAccessDenied);
  files.Fail(Op::kDeleteFile, "busy.tmp", error::kSharingViolation);
  DeleteFiles(run, Path("t/*.tmp"), true);
  EXPECT_EQ(locked.hits, 1);
  EXPECT_TRUE(Exists("t/locked/x.tmp"));  // never listed: no line, not counted
  EXPECT_TRUE(Exists("t/open/busy.tmp"));
  EXPECT_FALSE(Exists("t/open/free.tmp"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 2);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  const std::string log = Log();
  EXPECT_TRUE(HasLine(log, FileLine("t/open/busy.tmp", kDenied))) << log;
  EXPECT_EQ(log.find("locked"), std::string::npos) << log;
}

TEST_F(FailurePathsTest, FileThatVanishedAfterTheListingIsReportedNotFoundAndNotCounted) {
  Folder("v");
  File("v/gone.tmp");
  File("v/stays.txt");
  files.Vanish(Op::kDeleteFile, "gone.tmp");
  DeleteFiles(run, Path("v/*.tmp"), false);
  EXPECT_FALSE(Exists("v/gone.tmp"));
  EXPECT_TRUE(Exists("v/stays.txt"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 0);
  EXPECT_EQ(run.Output->Totals().FreedBytes, 0);
  EXPECT_TRUE(HasLine(Log(), FileLine("v/gone.tmp", kNotFound)));
}

TEST_F(FailurePathsTest, FileThatCannotGoToTheTrashStaysWhereItIs) {
  run.DeleteToRecycleBin = true;
  Folder("r");
  File("r/full.tmp");
  Fault& full = files.Fail(Op::kMoveToTrash, "*", error::kDiskFull);
  Fault& deleted = files.Fail(Op::kDeleteFile, "*", error::kSuccess);  // only counts the calls
  DeleteFiles(run, Path("r/"), false);
  EXPECT_EQ(full.hits, 1);
  EXPECT_EQ(deleted.hits, 0);  // never deleted for good instead
  EXPECT_TRUE(Exists("r/full.tmp"));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 0);
  EXPECT_TRUE(HasLine(Log(), FileLine("r/full.tmp", kPathError)));
}

TEST_F(FailurePathsTest, DeleteFolderKeepsEveryFolderAboveARefusedFile) {
  Folder("f/keep/deeper");
  Folder("f/goes/inner");
  File("f/keep/deeper/stuck");
  File("f/keep/other");
  File("f/goes/inner/free");
  files.Fail(Op::kDeleteFile, "stuck", error::kAccessDenied);
  DeleteFolder(run, Path("f"));
  EXPECT_TRUE(Exists("f/keep/deeper/stuck"));
  EXPECT_FALSE(Exists("f/keep/other"));
  EXPECT_FALSE(Exists("f/goes"));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 2);
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 2);   // goes/inner and goes
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 2);  // nothing is said of the folders kept
  EXPECT_TRUE(HasLine(Log(), FileLine("f/keep/deeper/stuck", kDenied)));
}

TEST_F(FailurePathsTest, DeleteFolderNeverEntersAFolderSwappedForALinkAfterTheListing) {
  Folder("outside");
  File("outside/precious");
  Folder("f/s");
  File("f/s/own");
  Fault& swap = files.SwapForLink(Op::kOpenEntry, "s", Path("f/s"), Path("outside"));
  DeleteFolder(run, Path("f"));
  ASSERT_EQ(swap.hits, 1);
  EXPECT_TRUE(Exists("outside/precious"));
  EXPECT_TRUE(Exists("f/s.moved-aside/own"));  // the real folder, moved aside, is not touched
  EXPECT_TRUE(Exists("f"));                    // it still holds that folder
  const std::string log = Log();
  EXPECT_EQ(log.find("precious"), std::string::npos) << log;
  EXPECT_TRUE(HasLine(log, Path("f") + "  :: DIR" + kPathError)) << log;
}

TEST_F(FailurePathsTest, ByMaskTriesAFileAgainForTheNextMaskAfterARefusal) {
  Folder("m");
  File("m/x.tmp");
  File("m/y.log");
  Fault& once = files.Fail(Op::kDeleteFile, "x.tmp", error::kSharingViolation, 1);
  AddMask(run, "*.tmp");
  AddMask(run, "x.*");
  DeleteFilesByMask(run, Path("m"), false);
  EXPECT_EQ(once.hits, 1);
  EXPECT_FALSE(Exists("m/x.tmp"));
  EXPECT_TRUE(Exists("m/y.log"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 2);  // one line per attempt
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  const std::string log = Log();
  EXPECT_TRUE(HasLine(log, FileLine("m/x.tmp", kDenied))) << log;
  EXPECT_TRUE(HasLine(log, FileLine("m/x.tmp"))) << log;
}

TEST_F(FailurePathsTest, ByListReportsRefusedAndVanishedFilesAndDeletesTheRest) {
  Folder("l");
  File("l/busy.txt");
  File("l/gone.txt");
  File("l/free.txt");
  AddFilesList(run, Path("l"), false);
  files.Fail(Op::kDeleteFile, "busy.txt", error::kSharingViolation);
  files.Vanish(Op::kDeleteFile, "gone.txt");
  DeleteFilesByList(run, "*.txt");
  EXPECT_TRUE(Exists("l/busy.txt"));
  EXPECT_FALSE(Exists("l/gone.txt"));
  EXPECT_FALSE(Exists("l/free.txt"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 3);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  const std::string log = Log();
  EXPECT_TRUE(HasLine(log, FileLine("l/busy.txt", kDenied))) << log;
  EXPECT_TRUE(HasLine(log, FileLine("l/gone.txt", kNotFound))) << log;
}

TEST_F(FailurePathsTest, ByAgeKeepsAnOldFileItMayNotDelete) {
  Folder("a");
  File("a/old1");
  File("a/old2");
  files.Fail(Op::kDeleteFile, "old1", error::kAccessDenied);
  SetAgeDays(run, -1);  // a day ahead: every file is older
  DeleteFilesByAge(run, Path("a"), false);
  EXPECT_TRUE(Exists("a/old1"));
  EXPECT_FALSE(Exists("a/old2"));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  EXPECT_TRUE(HasLine(Log(), FileLine("a/old1", kDenied)));
}

TEST_F(FailurePathsTest, EmptyFoldersThatCannotBeSearchedOrRemovedStay) {
  Folder("e/unreadable");
  Folder("e/refused");
  Folder("e/free");
  files.Fail(Op::kIsFolderEmpty, "unreadable", error::kAccessDenied);
  files.Fail(Op::kRemoveDirectory, "refused", error::kAccessDenied);
  DeleteEmptyFolders(run, Path("e"), true, true);
  EXPECT_TRUE(Exists("e/unreadable"));  // not known to be empty: left without a line
  EXPECT_TRUE(Exists("e/refused"));
  EXPECT_FALSE(Exists("e/free"));
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 1);
  const std::string log = Log();
  EXPECT_TRUE(HasLine(log, Path("e/refused") + "  :: DIR" + kDenied)) << log;
  EXPECT_EQ(log.find("unreadable"), std::string::npos) << log;
  // The base still holds its kept folders, so it is not even tried.
  EXPECT_EQ(log.find(Path("e") + "  :: DIR"), std::string::npos) << log;
}

TEST_F(FailurePathsTest, JunctionThatCannotBeRemovedStaysAndItsTargetIsUntouched) {
  Folder("target");
  File("target/keep");
  Folder("j");
  fs::create_directory_symlink(Path("target"), Path("j/link"));
  files.Fail(Op::kRemoveDirectory, "link", error::kAccessDenied);
  DeleteJunctions(run, Path("j"), true, false);
  EXPECT_TRUE(Exists("j/link"));
  EXPECT_TRUE(Exists("target/keep"));
  EXPECT_EQ(run.Output->Totals().ReportedJunctions, 1);
  EXPECT_EQ(run.Output->Totals().DeletedJunctions, 0);
  EXPECT_TRUE(HasLine(Log(), Path("j/link") + "  :: Junction" + kDenied));
}

TEST_F(FailurePathsTest, CreateFolderOnAFullDiskSaysSoAndCountsTheFolderAsLeft) {
  files.Fail(Op::kCreateDirectory, "new", error::kDiskFull);
  run.Output->CreateFolder(Path("made/new"));
  EXPECT_TRUE(Exists("made"));  // the level above was made before the disk filled
  EXPECT_FALSE(Exists("made/new"));
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 0);
  EXPECT_TRUE(HasLine(Log(), "*NEW* " + Path("made/new") + "  :: DIR" + kPathError));
}

}  // namespace
}  // namespace sweepwell
