// Names and trees that break naive cleaners: blanks, quotes, percent signs, bytes that are no
// UTF-8, trees deeper than PATH_MAX and a chain of 100 000 folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

class HostilePaths : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(HostilePaths, BlanksAndQuotesInNames) {
  std::string d = box.Work("my \"odd\" dir ");
  box.MakeFile(d + "/a b.txt", 2);
  box.MakeFile(d + "/\"quoted\".txt", 3);
  box.MakeFile(d + "/sub dir/c d.txt", 4);
  RunResult run = box.RunScript(
      std::string(kPermanently) + Assign("delete-files", d + "/\"quoted\".txt") +
      Assign("delete-folder", d + "/sub dir") + Assign("delete-files", d + "/a b.txt"));
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(d + "/\"quoted\".txt", 3),
                                      FileLine(d + "/sub dir/c d.txt", 4), DirLine(d + "/sub dir"),
                                      FileLine(d + "/a b.txt", 2)}));
  EXPECT_TRUE(box.List(d).empty());
}

TEST_F(HostilePaths, PercentSignsThatNameNoVariableStayAsWritten) {
  std::string d = box.Work("50% off");
  box.MakeFile(d + "/100%.txt", 1);
  box.MakeFile(d + "/%NO_SUCH_SWEEP_VAR%", 2);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", d + "/100%.txt") +
                    Assign("delete-files", d + "/%NO_SUCH_SWEEP_VAR%"));
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(d + "/100%.txt", 1),
                                      FileLine(d + "/%NO_SUCH_SWEEP_VAR%", 2)}));
  EXPECT_TRUE(box.List(d).empty());
}

TEST_F(HostilePaths, ControlCharactersInNamesCannotForgeLinesOrDriveTheTerminal) {
  std::string d = box.Work("planted");
  std::string forged =
      "x\n\xD0\x92\xD1\x81\xD0\xB5\xD0\xB3\xD0\xBE: 999";  // "x", line end, "Всего: 999"
  std::string escape = "y\x1b[2J";
  box.MakeFile(d + "/" + forged, 1);
  box.MakeFile(d + "/" + escape, 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", d + "/*"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(d + "/x?\xD0\x92\xD1\x81\xD0\xB5\xD0\xB3\xD0\xBE: 999", 1),
                   FileLine(d + "/y?[2J", 2)}));
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.log.find('\x1b'), std::string::npos);
  EXPECT_TRUE(box.List(d).empty());  // the files themselves were found and deleted
}

TEST_F(HostilePaths, NamesThatAreNoUtf8PassThroughUnchanged) {
  std::string d = box.Work("bytes");
  std::string latin1 = d + "/caf\xe9.txt", junk = d + "/\xff\xfe";
  box.MakeFile(latin1, 1);
  box.MakeFile(junk, 2);
  box.MakeFile(box.Work("odd \xc0\xaf dir") + "/inner", 3);
  box.SetEnv("SWEEP_ODD_DIR", box.Work("odd \xc0\xaf dir"));
  // Reached through a parent folder and "*", and through an environment variable.
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", d + "/*") +
                                Assign("delete-folder", "%SWEEP_ODD_DIR%"));
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(AsSet({lines[0], lines[1]}), (Lines{FileLine(latin1, 1), FileLine(junk, 2)}));
  EXPECT_EQ(lines[2], FileLine(box.Work("odd \xc0\xaf dir") + "/inner", 3));
  EXPECT_EQ(lines[3], DirLine(box.Work("odd \xc0\xaf dir")));
  EXPECT_TRUE(box.List(d).empty());
  EXPECT_FALSE(box.Exists(box.Work("odd \xc0\xaf dir")));
}

TEST_F(HostilePaths, NamesThatAreNoUtf8GoToTheTrash) {
  std::string file = box.Work("\xff name.txt");
  box.MakeFile(file, 2);
  RunResult run = box.RunScript(Assign("delete-files", box.Work("*.txt")));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(file, 2)});
  EXPECT_FALSE(box.Exists(file));
  EXPECT_EQ(box.List(box.TrashFiles()).size(), 1u);
}

TEST_F(HostilePaths, TreeDeeperThanPathMaxIsDeletedCompletely) {
  constexpr int kLevels = 3000;  // "/ab" per level: about 9000 bytes of path
  static_assert(kLevels * 3 > PATH_MAX);
  std::string base = box.FastFolder() + "/deep";
  box.MakeChain(base, kLevels, "ab", {{"bottom.txt", 5}});
  ASSERT_EQ(box.ChainDepth(base, "ab"), kLevels);

  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-folder", base + "/ab") +
                                "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(box.ChainDepth(base, "ab"), 0);
  EXPECT_TRUE(box.List(base).empty());
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLevels) + 1);
  std::string deepest = base;
  for (int i = 0; i < kLevels; ++i) deepest += "/ab";
  EXPECT_EQ(lines[0], FileLine(deepest + "/bottom.txt", 5));
  EXPECT_EQ(lines[1], DirLine(deepest));
  EXPECT_EQ(lines.back(), DirLine(base + "/ab"));
  size_t errors = 0;
  for (const std::string& line : lines) errors += line.ends_with("]");
  EXPECT_EQ(errors, 0u);
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.folders_deleted, kLevels);
  EXPECT_EQ(totals.folders_left, 0);
  EXPECT_EQ(totals.files_deleted, 1);
}

TEST_F(HostilePaths, FoldersNamedDeeperThanPathMaxAreReached) {
  constexpr int kLevels = 1500;  // "/ab" per level: about 4500 bytes of path
  std::string base = box.FastFolder() + "/deep";
  box.MakeChain(base, kLevels, "ab", {{"keep.txt", 1}});
  std::string deepest = base;
  for (int i = 0; i < kLevels; ++i) deepest += "/ab";
  {
    // The harness makes files by path; below PATH_MAX they are made from the chain's bottom.
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kLevels && fd >= 0; ++i) {
      int next = openat(fd, "ab", O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
    }
    ASSERT_GE(fd, 0);
    ASSERT_EQ(mkdirat(fd, "victim", 0755), 0);
    ASSERT_EQ(mkdirat(fd, "empty", 0755), 0);
    int file = openat(fd, "victim/x.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "abc", 3), 3);
    close(file);
    close(fd);
  }

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", deepest + "/victim") +
                    Assign("delete-empty-folders-with-base", deepest + "/empty") +
                    Assign("create-folder", deepest + "/new/one"));

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(deepest + "/victim/x.txt", 3),
                                      DirLine(deepest + "/victim"), DirLine(deepest + "/empty"),
                                      "*NEW* " + DirLine(deepest + "/new/one")}));
  std::vector<std::string> bottom;
  EXPECT_EQ(box.ChainDepth(base, "ab", &bottom), kLevels);
  EXPECT_EQ(bottom, (std::vector<std::string>{"keep.txt", "new"}));
}

TEST_F(HostilePaths, ChainOf100000FoldersIsWalkedWithoutCrashing) {
  constexpr int kLevels = 100000;
  std::string base = box.FastFolder() + "/chain";
  box.MakeChain(base, kLevels, "d", {{"target.bak", 5}, {"keep.txt", 1}});

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files-recursive", base + "/*.bak") +
                    "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err.substr(0, 2000);
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("/d/target.bak  :: 5 bytes")) << lines[0].substr(0, 100);
  EXPECT_EQ(lines[0].size(),
            base.size() + kLevels * 2 + std::string("/target.bak  :: 5 bytes").size());
  std::vector<std::string> bottom;
  EXPECT_EQ(box.ChainDepth(base, "d", &bottom), kLevels);
  EXPECT_EQ(bottom, std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(ParseTotals(run.out).files_deleted, 1);
}

}  // namespace
}  // namespace sweepwell_test
