// The deleter: a named path is resolved once, in the folder that holds it, so a folder swapped
// above it between the look and the deletion never leads the deletion elsewhere; the lines of a
// batch that stops part way agree with the totals; and it acts on the file system it was given,
// never the machine's behind it.
#include "cleaner/Deleter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/modByList.h"
#include "cleaner/modDelTree.h"
#include "common/faulty_file_system.h"
#include "support/ov_error.h"
#include "faulty_run_fixture.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

namespace fs = std::filesystem;
using orvanel::testing::FaultyFileSystem;
using orvanel::testing::Op;
using orvanel::testing::ReadBytes;
using orvanel::testing::WriteBytes;
namespace error = platform::error;

class DeleterTest : public FaultyRunTest {
 protected:
  Deleter& deleter() { return run.Output->Deletion(); }
};

// The folder above the named one is replaced by a link to a look-alike tree just as the deleter
// looks at the entry: what it then removes or deletes is still the entry it looked at, in the
// folder it opened, and the look-alike outside the named tree is untouched.
TEST_F(DeleterTest, AFolderSwappedAboveTheNamedPathNeverLeadsTheDeletionElsewhere) {
  fs::create_directories(Path("tree/victim"));
  fs::create_directories(Path("elsewhere/victim"));
  WriteBytes(Path("tree/file"), std::string(10, 'x'));
  WriteBytes(Path("elsewhere/file"), std::string(20, 'y'));

  files.SwapForLink(Op::kGetAttributes, "victim", Path("tree"), Path("elsewhere"));
  EXPECT_TRUE(deleter().RemoveAndReportFolder(Path("tree/victim")));
  EXPECT_FALSE(Exists("tree.moved-aside/victim"));
  EXPECT_TRUE(Exists("elsewhere/victim"));

  // The same for a file named by path (a recorded list): the line shows the size of the file
  // that went.
  fs::remove(Path("tree"));
  fs::rename(Path("tree.moved-aside"), Path("tree"));
  files.SwapForLink(Op::kGetAttributes, "file", Path("tree"), Path("elsewhere"));
  EXPECT_TRUE(deleter().DeleteAndReportFile(Path("tree/file")));
  EXPECT_FALSE(Exists("tree.moved-aside/file"));
  EXPECT_TRUE(Exists("elsewhere/file"));

  const std::string log = Log();
  EXPECT_NE(log.find(Path("tree/victim") + "  :: DIR\n"), std::string::npos) << log;
  EXPECT_NE(log.find(Path("tree/file") + "  :: 10 bytes\n"), std::string::npos) << log;
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 1);
  EXPECT_EQ(run.Output->Totals().FreedBytes, 10);
}

// delete-folder looks at the named folder once: the look that finds it a folder (not a
// junction) is the one its line, its count and its removal follow; the removal is the one
// attempt that the folder's own name sees.
TEST_F(DeleterTest, DeleteFolderLooksAtTheNamedFolderOnce) {
  fs::create_directories(Path("goes/inner"));
  WriteBytes(Path("goes/inner/f"), "data");
  auto& looks = files.Fail(Op::kGetAttributes, "goes", error::kSuccess);
  auto& removals = files.Fail(Op::kRemoveDirectory, "goes", error::kSuccess);
  auto& opens = files.Fail(Op::kOpenFolder, "goes", error::kSuccess);
  DeleteFolder(run, Path("goes"));
  EXPECT_FALSE(Exists("goes"));
  EXPECT_EQ(looks.hits, 1);
  EXPECT_EQ(removals.hits, 1);
  EXPECT_EQ(opens.hits, 1);  // the walk's; the removal acts in the folder above
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 2);
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 2);
}

// A recorded path is looked at once: what that look finds decides whether it is still a file of
// the list (a folder or a FIFO that took a recorded name since is passed over without a line)
// and what its line says.
TEST_F(DeleterTest, ARecordedPathIsLookedAtOnceAndPassedOverWhenNoLongerAFile) {
  fs::create_directories(Path("list"));
  for (const char* name : {"stays.txt", "now-folder.txt", "now-fifo.txt"}) {
    WriteBytes(Path("list/") + name, "12345");
  }
  AddFilesList(run, Path("list"), false);
  fs::remove(Path("list/now-folder.txt"));
  fs::create_directory(Path("list/now-folder.txt"));
  fs::remove(Path("list/now-fifo.txt"));
  ASSERT_EQ(mkfifo(Path("list/now-fifo.txt").c_str(), 0600), 0);
  auto& looks = files.Fail(Op::kGetAttributes, "*.txt", error::kSuccess);
  DeleteFilesByList(run, "*.txt");
  EXPECT_EQ(looks.hits, 3);
  EXPECT_FALSE(Exists("list/stays.txt"));
  EXPECT_TRUE(Exists("list/now-folder.txt"));
  EXPECT_TRUE(Exists("list/now-fifo.txt"));
  const std::string log = Log();
  EXPECT_NE(log.find(Path("list/stays.txt") + "  :: 5 bytes\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("now-"), std::string::npos) << log;
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 1);
}

// A path that cannot be reached (the folder above it is missing) or looked at has its line
// ended with why and is counted as left; a file that could not be looked at is not deleted.
TEST_F(DeleterTest, APathThatCannotBeReachedOrLookedAtStaysAndItsLineSaysWhy) {
  EXPECT_FALSE(deleter().RemoveAndReportFolder(Path("missing/sub")));
  EXPECT_FALSE(deleter().DeleteAndReportFile(Path("missing/file")));
  WriteBytes(Path("unseen"), "data");
  files.Fail(Op::kGetAttributes, "unseen", error::kAccessDenied);
  EXPECT_FALSE(deleter().DeleteAndReportFile(Path("unseen")));
  EXPECT_TRUE(Exists("unseen"));
  const std::string log = Log();
  EXPECT_NE(log.find("\n" + Path("unseen") + "  [Отказано в доступе]\n"), std::string::npos) << log;
  EXPECT_NE(log.find(Path("missing/sub") + "  :: DIR  ["), std::string::npos) << log;
  EXPECT_NE(log.find("\n" + Path("missing/file") + "  ["), std::string::npos) << log;
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 0);
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 0);
}

struct LoggedTotals {
  int lines = 0, kept = 0;
  double bytes = 0, freed = 0;
};

// Adds up the file lines of `log` below `folder`: each says its size, and a kept one ends in
// a bracket.
LoggedTotals AddUpLines(const std::string& log, const std::string& folder) {
  LoggedTotals totals;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(folder, 0) != 0) continue;
    const size_t sizes = line.find("  :: ");
    if (sizes == std::string::npos) continue;
    const double size = std::stod(line.substr(sizes + 5));
    ++totals.lines;
    totals.bytes += size;
    if (line.find("  [") != std::string::npos) {
      ++totals.kept;
    } else {
      totals.freed += size;
    }
  }
  return totals;
}

// Refusals scattered through several batches of lines written ahead: every file has one line,
// and the totals block says what the lines say, file for file and byte for byte.
TEST_F(DeleterTest, BatchesThatStopPartWayKeepTheTotalsInStepWithTheLines) {
  constexpr int kFiles = 600;  // more than two batches
  fs::create_directories(Path("many"));
  for (int k = 0; k < kFiles; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d", k);
    WriteBytes(Path("many/") + name, std::string(1 + k % 7, 'x'));
  }
  // Every name ending in 7, and one more refused for another reason.
  auto& refused = files.Fail(Op::kDeleteFile, "f*7", error::kAccessDenied);
  files.Fail(Op::kDeleteFile, "f256", error::kSharingViolation);
  DeleteFiles(run, Path("many/*"), false);

  const DeletionTotals totals = run.Output->Totals();
  const LoggedTotals logged = AddUpLines(Log(), Path("many/"));
  EXPECT_EQ(refused.hits, kFiles / 10);
  EXPECT_EQ(logged.lines, kFiles);
  EXPECT_EQ(logged.kept, kFiles / 10 + 1);
  EXPECT_EQ(totals.ReportedFiles, logged.lines);
  EXPECT_EQ(totals.DeletedFiles, logged.lines - logged.kept);
  EXPECT_EQ(totals.ReportedBytes, logged.bytes);
  EXPECT_EQ(totals.FreedBytes, logged.freed);
  int left = 0;
  for (const auto& entry : fs::directory_iterator(Path("many"))) {
    (void)entry;
    ++left;
  }
  EXPECT_EQ(left, logged.kept);
}

// The deleter acts on the file system it is given: one that refuses every deletion keeps the
// file, however the output was made.
TEST_F(DeleterTest, ActsOnlyOnTheFileSystemItWasGiven) {
  WriteBytes(Path("kept"), "data");
  FaultyFileSystem refusing;
  refusing.Fail(Op::kDeleteFile, "*", error::kAccessDenied);
  refusing.Fail(Op::kMoveToTrash, "*", error::kAccessDenied);
  bool to_trash = false;
  COutput output("", nullptr, refusing, to_trash);
  EXPECT_THROW(output.KillFile(Path("kept")), support::Error);
  to_trash = true;  // the switch is read at each deletion
  EXPECT_THROW(output.KillFile(Path("kept")), support::Error);
  EXPECT_TRUE(Exists("kept"));
  EXPECT_EQ(output.Totals().DeletedFiles, 0);
}

}  // namespace
}  // namespace sweepwell
