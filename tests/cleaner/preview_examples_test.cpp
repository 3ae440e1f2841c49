// Every example script, previewed and then run for real over the same generated tree: the
// preview changes nothing on disk and writes no log, and shows the very lines and totals of
// the real run that follows it.
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

std::vector<std::string> ExampleScripts() {
  std::vector<std::string> scripts;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(TESTS_SOURCE_DIR) / ".." / "examples")) {
    if (entry.path().extension() == ".loom") scripts.push_back(entry.path().string());
  }
  std::sort(scripts.begin(), scripts.end());
  return scripts;
}

// Every entry below `root` with what a change would alter: kind, size, permissions, last write
// time, a link's target. (Access times are left out: reading a file may change them.)
std::vector<std::string> Snapshot(const std::string& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string path = it->path().string();
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
      lines.push_back(path + " vanished");
      continue;
    }
    std::string line = path + " mode " + std::to_string(st.st_mode) + " size " +
                       std::to_string(st.st_size) + " written " +
                       std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode)) line += " -> " + fs::read_symlink(it->path()).string();
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The entry lines of a run without the preview's first and last line.
std::vector<std::string> EntryLinesWithoutMarks(const std::string& out) {
  std::vector<std::string> lines = EntryLines(out);
  std::erase_if(lines, [](const std::string& line) {
    return line == kPreviewStarts || line == kPreviewEnds;
  });
  return lines;
}

class PreviewExamplesTest : public ::testing::TestWithParam<std::string> {
 protected:
  // Something for every command of every example, things that must stay beside them, and
  // old and new files for the commands that go by age.
  void MakeTree() {
    const std::string home = box.Home(), temp = box.Work("temp"), demo = box.Work("demo"),
                      projects = box.Work("projects");
    box.SetEnv("TEMP", temp);
    box.SetEnv("TMP", temp);
    box.SetEnv("DEMO", demo);
    box.SetEnv("PROJECTS", projects);

    for (const char* cache : {"/.cache/mozilla/firefox/p1/cache2/entries",
                              "/.cache/chromium/Default/Cache/Cache_Data"}) {
      Old(home + cache + "/old-a", 300);
      Old(home + cache + "/old-b", 20);
      box.MakeFile(home + cache + "/fresh", 7);
      Old(home + cache + "/../only-old/x", 5);
    }
    box.MakeFolder(home + "/.cache/mozilla/firefox/p1/empty/emptier");
    box.MakeFile(home + "/.cache/thumbnails/normal/a.png", 11);
    box.MakeFile(home + "/.cache/thumbnails/large/b.png", 12);
    Old(home + "/.cache/thumbnails/fail/c.png", 13);
    box.MakeFile(home + "/Documents/letter.odt~", 3);
    box.MakeFile(home + "/Documents/letter.odt", 30);
    box.MakeFile(home + "/Documents/old/report.bak", 4);
    box.MakeFile(home + "/Documents/.~lock.letter.odt#", 1);
    box.MakeFile(home + "/notes.txt~", 2);
    box.MakeFile(home + "/.local/share/apport/app.crash", 9);

    box.MakeFile(temp + "/a.tmp", 1);
    box.MakeFile(temp + "/b.temp", 2);
    box.MakeFile(temp + "/keep.txt", 3);
    box.MakeFile(temp + "/sub/c.tmp", 4);
    box.MakeFile(temp + "/sub/deeper/d.TMP", 5);
    Old(temp + "/old-session/trace.log", 6);
    box.SetAges(temp + "/old-session", 30, 30);

    box.MakeFile(demo + "/cache/page1.tmp", 7);
    box.MakeFile(demo + "/cache/thumbs/img.tmp", 7);
    box.MakeFile(demo + "/cache/settings.conf", 8);
    Old(demo + "/downloads/old-installer.zip", 14);
    box.MakeFile(demo + "/downloads/new-installer.zip", 14);
    box.MakeFile(demo + "/build-output/obj/debug/unit1.o", 9);
    box.MakeFile(demo + "/build-output/obj/debug/unit2.o", 9);
    box.MakeFolder(demo + "/build-output/empty");
    box.MakeFile(demo + "/projects/app/src/main.c", 15);
    box.MakeFile(demo + "/projects/app/src/main.c~", 15);
    box.MakeFile(demo + "/projects/notes/todo.txt.bak", 6);
    box.MakeFolder(demo + "/projects/old/empty1");
    box.MakeFolder(demo + "/projects/old/empty2/deeper");
    box.MakeLink(demo + "/links/app-shortcut", "../projects/app");
    box.MakeLink(demo + "/links/dangling", "../nowhere");

    box.MakeFolder(projects + "/a/b/c");
    box.MakeFile(projects + "/kept/.gitkeep", 0);
    box.MakeFolder(projects + "/scratch/real/inner");
    box.MakeLink(projects + "/scratch/to-a", "../a");
    box.MakeLink(projects + "/scratch/real/to-kept", "../../kept");
    box.MakeFile(projects + "/web/node_modules/lib/index.js", 16);
    box.MakeFolder(projects + "/web/.git/refs/heads");
    box.MakeFile(projects + "/py/__pycache__/m.pyc", 17);
  }

  void Old(const std::string& path, size_t size) {
    box.MakeFile(path, size);
    box.SetAges(path, 90, 90);
  }

  Sandbox box;
};

TEST_P(PreviewExamplesTest, PreviewShowsTheRealRunAndChangesNothing) {
  MakeTree();
  const std::string script = GetParam();
  std::vector<std::string> before = Snapshot(box.Root());

  RunResult preview = box.Run({"--preview", script});
  ASSERT_EQ(preview.exit_code, 0) << preview.out << preview.err;
  EXPECT_TRUE(preview.log.empty()) << preview.log;
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Greyfen Works"));
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Trash"));
  // The run's own files (its standard output and error) are rewritten by every run.
  auto without_run_files = [this](std::vector<std::string> lines) {
    std::erase_if(lines, [this](const std::string& line) {
      // run1.stdout, run2.stderr...
      const std::string run_file = line.substr(0, line.find(' '));
      return run_file.starts_with(box.Root() + "/run") &&
             (run_file.ends_with(".stdout") || run_file.ends_with(".stderr"));
    });
    return lines;
  };
  EXPECT_EQ(without_run_files(Snapshot(box.Root())), without_run_files(before));
  std::vector<std::string> shown = preview.OutLines();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), kPreviewStarts);
  EXPECT_EQ(shown.back(), kPreviewEnds);

  RunResult real = box.Run({script});
  ASSERT_EQ(real.exit_code, 0) << real.out << real.err;
  EXPECT_EQ(real.out.find(kPreviewStarts), std::string::npos);
  EXPECT_EQ(EntryLinesWithoutMarks(preview.out), EntryLines(real.out));
  Totals would = ParseTotals(preview.out), went = ParseTotals(real.out);
  ASSERT_TRUE(would.found && went.found);
  EXPECT_EQ(would.files_deleted, went.files_deleted);
  EXPECT_EQ(would.files_left, went.files_left);
  EXPECT_EQ(would.folders_deleted, went.folders_deleted);
  EXPECT_EQ(would.folders_left, went.folders_left);
  EXPECT_EQ(would.links_deleted, went.links_deleted);
  EXPECT_EQ(would.bytes_freed, went.bytes_freed);
  EXPECT_EQ(would.bytes_left, went.bytes_left);
  // The real run did something, so the comparison above is not between two empty runs.
  EXPECT_GT(went.files_deleted + went.folders_deleted + went.links_deleted, 0) << real.out;
}

TEST(PreviewExamples, EveryExampleIsTried) { EXPECT_GE(ExampleScripts().size(), 7u); }

INSTANTIATE_TEST_SUITE_P(Examples, PreviewExamplesTest, ::testing::ValuesIn(ExampleScripts()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = fs::path(info.param).stem().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace sweepwell_test
