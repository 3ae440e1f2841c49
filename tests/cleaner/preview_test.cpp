// A preview over trees where one command depends on what an earlier one removed: each script
// is previewed, the tree is checked untouched, then the script runs for real on the same tree
// and must write the lines the preview wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

namespace fs = std::filesystem;

constexpr char kPreviewStarts[] = "*** Предварительный просмотр: ничего не удаляется ***";
constexpr char kPreviewEnds[] = "*** Предварительный просмотр: ничего не удалено ***";

// Path, kind, permissions, size and last write time of everything below `root`.
std::vector<std::string> Snapshot(const std::string& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    struct stat st {};
    if (lstat(it->path().c_str(), &st) != 0) continue;
    lines.push_back(it->path().string() + " " + std::to_string(st.st_mode) + " " +
                    std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                    std::to_string(st.st_mtim.tv_nsec));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

class PreviewTest : public ::testing::Test {
 protected:
  // Previews `script`, checks that nothing below the work folder and the data folder changed
  // and that no log was written, then runs it for real; returns the preview's entry lines after
  // checking them against the real run's.
  std::vector<std::string> PreviewThenRun(const std::string& script) {
    std::vector<std::string> before = Snapshot(box.Work()), data_before = Snapshot(box.DataHome());
    RunResult preview = box.RunScript(script, {"--preview"});
    EXPECT_EQ(preview.exit_code, 0) << preview.err;
    EXPECT_EQ(Snapshot(box.Work()), before);
    EXPECT_EQ(Snapshot(box.DataHome()), data_before);
    EXPECT_TRUE(preview.log.empty());
    std::vector<std::string> lines = EntryLines(preview.out);
    EXPECT_TRUE(!lines.empty() && lines.front() == kPreviewStarts) << preview.out;
    EXPECT_TRUE(!lines.empty() && lines.back() == kPreviewEnds) << preview.out;
    std::erase_if(lines, [](const std::string& line) {
      return line == kPreviewStarts || line == kPreviewEnds;
    });

    RunResult real = box.RunScript(script);
    EXPECT_EQ(real.exit_code, 0) << real.err;
    EXPECT_EQ(lines, EntryLines(real.out));
    Totals would = ParseTotals(preview.out), went = ParseTotals(real.out);
    EXPECT_EQ(would.found, went.found);
    EXPECT_EQ(would.files_deleted, went.files_deleted);
    EXPECT_EQ(would.folders_deleted, went.folders_deleted);
    EXPECT_EQ(would.folders_left, went.folders_left);
    EXPECT_EQ(would.links_deleted, went.links_deleted);
    EXPECT_EQ(would.bytes_freed, went.bytes_freed);
    return lines;
  }

  Sandbox box;
};

TEST_F(PreviewTest, FilesThatWentAreMissingForLaterCommands) {
  const std::string d = box.Work("d");
  box.MakeFile(d + "/a.tmp", 3);
  box.MakeFile(d + "/sub/b.tmp", 4);
  box.MakeFile(d + "/keep.txt", 5);
  ASSERT_EQ(chmod((d + "/a.tmp").c_str(), 0444), 0);  // read-only: the preview leaves its mode
  std::vector<std::string> lines = PreviewThenRun(
      std::string(kPermanently) + Assign("by-list-add-files-list-recursive", d) +
      Assign("delete-files-recursive", d + "/*.tmp") + Assign("by-list-delete-files", "*.*") +
      Assign("delete-files", d + "/a.tmp") + "cleaner.done\n");
  // The recorded files that went are "not found" the second time, the others go.
  EXPECT_NE(std::find(lines.begin(), lines.end(), d + "/a.tmp" + kFileNotFound), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), FileLine(d + "/keep.txt", 5)), lines.end());
}

TEST_F(PreviewTest, FoldersEmptiedByEarlierCommandsGoAndThenAreMissing) {
  const std::string d = box.Work("d");
  box.MakeFile(d + "/x/y/z/old.bak", 1);
  box.MakeFile(d + "/x/stays/keep.txt", 2);
  box.MakeFolder(d + "/empty/emptier");
  box.MakeFile(d + "/tree/t/file", 6);
  std::vector<std::string> lines = PreviewThenRun(
      std::string(kPermanently) + Assign("delete-files-recursive", d + "/*.bak") +
      Assign("delete-empty-folders-recursive", d) + Assign("delete-folder", d + "/tree") +
      Assign("delete-folder", d + "/tree") + Assign("delete-empty-folders", d + "/x/y") +
      Assign("delete-empty-folders-with-base-recursive", d + "/x/stays") + "cleaner.done\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(), DirLine(d + "/x/y")), lines.end());
  EXPECT_EQ(std::find(lines.begin(), lines.end(), DirLine(d + "/x")), lines.end());
}

TEST_F(PreviewTest, LinksToFoldersThatWentDangleAndLinksGoAsLinks) {
  const std::string d = box.Work("d");
  box.MakeFolder(d + "/target/inner");
  box.MakeFile(d + "/kept/file", 1);
  box.MakeLink(d + "/links/to-target", "../target");
  box.MakeLink(d + "/links/to-kept", "../kept");
  std::vector<std::string> lines =
      PreviewThenRun(std::string(kPermanently) + Assign("delete-folder", d + "/target") +
                     Assign("delete-junctions", d + "/links") +
                     Assign("delete-folder", d + "/links") + "cleaner.done\n");
  // The link whose target went is a dangling link, a file, by the time links are removed.
  EXPECT_EQ(std::find(lines.begin(), lines.end(), JunctionLine(d + "/links/to-target")),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), JunctionLine(d + "/links/to-kept")), lines.end());
}

TEST_F(PreviewTest, CreateFolderIsShownAndNothingIsMade) {
  const std::string d = box.Work("d");
  box.MakeFile(d + "/file", 1);
  std::vector<std::string> lines = PreviewThenRun(
      Assign("create-folder", d + "/new/deeper") + Assign("create-folder", d + "/new/deeper") +
      Assign("create-folder", d + "/file") + Assign("create-folder", d + "/file/below") +
      // below folders the preview made, and one of them again
      Assign("create-folder", d + "/new/deeper/third/") + Assign("create-folder", d + "/new"));
  EXPECT_EQ(lines.front(), "*NEW* " + DirLine(d + "/new/deeper"));
}

TEST_F(PreviewTest, TrashIsLeftAloneAndTheFileStays) {
  box.MakeFile(box.Work("t/a.tmp"), 4);
  RunResult preview =
      box.RunScript(Assign("delete-files", box.Work("t/a.tmp")) + "cleaner.done\n", {"/Preview"});
  EXPECT_EQ(preview.exit_code, 0);
  EXPECT_EQ(
      EntryLines(preview.out),
      (std::vector<std::string>{kPreviewStarts, FileLine(box.Work("t/a.tmp"), 4), kPreviewEnds}));
  EXPECT_EQ(ParseTotals(preview.out).bytes_freed, 4);
  EXPECT_TRUE(box.Exists(box.Work("t/a.tmp")));
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Trash"));
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Greyfen Works"));
}

}  // namespace
}  // namespace sweepwell_test
