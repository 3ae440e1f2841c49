// Undoing a run, as a user sees it: real runs of the program that send a tree to the trash, then
// "sweepwell --undo" bringing it back, checked byte for byte and against trash-cli's own view of
// the trash.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

// What a tree holds: each entry's path below the root, with its kind and contents (a file's
// bytes, a link's target).
using Snapshot = std::map<std::string, std::string>;

void TakeSnapshot(const std::string& root, const std::string& relative, Snapshot* snapshot) {
  DIR* dir = opendir((root + relative).c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names) {
    std::string path = relative + "/" + name;
    struct stat st {};
    if (lstat((root + path).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      (*snapshot)[path] = "folder";
      TakeSnapshot(root, path, snapshot);
    } else if (S_ISLNK(st.st_mode)) {
      char target[4096];
      ssize_t n = readlink((root + path).c_str(), target, sizeof target);
      (*snapshot)[path] = "link " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    } else {
      std::string bytes;
      int fd = open((root + path).c_str(), O_RDONLY | O_CLOEXEC);
      char buffer[65536];
      ssize_t n;
      while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
      if (fd >= 0) close(fd);
      (*snapshot)[path] = "file " + bytes;
    }
  }
}

Snapshot TakeSnapshot(const std::string& root) {
  Snapshot snapshot;
  TakeSnapshot(root, "", &snapshot);
  return snapshot;
}

bool HaveTrashCli() { return std::system("command -v trash-list >/dev/null 2>&1") == 0; }

// The original paths trash-list shows (one per line after the date and time) that lie in the
// sandbox: trash-list also looks at the trash of every mount, other tests' included.
std::vector<std::string> TrashListed(Sandbox& box) {
  std::vector<std::string> paths;
  RunResult listed = box.RunTool({"trash-list"});
  for (const std::string& line : SplitLines(listed.out)) {
    if (line.size() > 20 && line.substr(20).starts_with(box.Root() + "/")) {
      paths.push_back(line.substr(20));
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string UndoFolder(const Sandbox& box) {
  return box.DataHome() + "/Greyfen Works/Sweep Well/Undo";
}

class Undo : public ::testing::Test {
 protected:
  // A tree with nested folders, an empty file, a link to a file and names that only survive
  // when every byte does: a line end, a tab, a "%", Cyrillic and a byte that is no UTF-8.
  void MakeTree() {
    box.WriteText(box.Work("tree/top.txt"), "top level\n");
    box.WriteText(box.Work("tree/empty.dat"), "");
    box.WriteText(box.Work("tree/a/b/c/deep.bin"), std::string("\0\1\2\377 binary", 12));
    box.WriteText(box.Work("tree/a/line\nend.txt"), "line end");
    box.WriteText(box.Work("tree/a/tab\tand%25.txt"), "tab and percent");
    box.WriteText(box.Work("tree/Документы/отчёт.txt"), "Привет");
    box.WriteText(box.Work("tree/a/b/latin1-\xE9.txt"), "not utf-8");
    box.MakeLink(box.Work("tree/a/link-to-top"), "../top.txt");
    for (int i = 0; i < 20; ++i) {
      box.WriteText(box.Work("tree/many/file" + std::to_string(i)), std::string(i * 100, 'm'));
    }
  }

  RunResult CleanTree() {
    return box.RunScript(Assign("delete-folder", box.Work("tree")) + "cleaner.done\n");
  }

  Sandbox box;
};

TEST_F(Undo, ATreeSentToTheTrashComesBackByteForByte) {
  MakeTree();
  const Snapshot before = TakeSnapshot(box.Work("tree"));
  RunResult run = CleanTree();
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  ASSERT_FALSE(box.Exists(box.Work("tree")));
  const size_t files = 28;
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListed(box).size(), files);
  }

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.out << undo.err;
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), before);
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListed(box), std::vector<std::string>{});
  }
  EXPECT_TRUE(box.List(box.TrashFiles()).empty());
  EXPECT_TRUE(box.List(box.DataHome() + "/Trash/info").empty());

  // One line per file as the run wrote it (control characters shown as "?"), then the totals;
  // the log gets the same after its rule line.
  std::vector<std::string> lines = EntryLines(undo.out);
  ASSERT_EQ(lines.size(), files + 3) << undo.out;  // heading, files, two totals lines
  EXPECT_NE(std::find(lines.begin(), lines.end(), FileLine(box.Work("tree/top.txt"), 10)),
            lines.end())
      << undo.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), FileLine(box.Work("tree/a/line?end.txt"), 8)),
            lines.end())
      << undo.out;
  EXPECT_NE(undo.out.find("Восстановлено файлов:  28  [осталось в корзине: 0]"), std::string::npos)
      << undo.out;
  EXPECT_EQ(undo.log, std::string(78, '=') + "\n" + undo.out);
}

TEST_F(Undo, ListShowsTheRunsAndASecondUndoFindsEverythingRestored) {
  MakeTree();
  ASSERT_EQ(CleanTree().exit_code, 0);
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_NE(list.out.find("\"" + box.ScriptPath() + "\"  файлов: 28, в корзине: 28\n"),
            std::string::npos)
      << list.out;
  EXPECT_TRUE(list.log.empty());  // a list changes nothing, so the log does not get it

  std::vector<std::string> ids = box.List(UndoFolder(box));
  ASSERT_EQ(ids.size(), 1u);
  const std::string run_id = ids[0].substr(0, ids[0].size() - 5);
  ASSERT_EQ(box.Run({"/UNDO", run_id}).exit_code, 0);

  RunResult again = box.Run({"--undo", run_id});
  EXPECT_EQ(again.exit_code, 0);
  std::vector<std::string> lines = EntryLines(again.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.ends_with("  [Уже восстановлен]"); }),
            28)
      << again.out;
  list = box.Run({"/Undo", "/List"});
  EXPECT_NE(list.out.find("файлов: 28, в корзине: 0  [отменён]"), std::string::npos) << list.out;
}

TEST_F(Undo, RunsThatTrashNothingLeaveNoRecord) {
  box.WriteText(box.Work("gone.tmp"), "x");
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("*.tmp")));
  ASSERT_EQ(run.exit_code, 0);
  ASSERT_EQ(box.RunScript("cleaner.done\n").exit_code, 0);
  EXPECT_FALSE(box.Exists(UndoFolder(box)));
  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("нет запусков"), std::string::npos) << undo.err;
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_NE(list.out.find("Нет запусков"), std::string::npos) << list.out;
}

TEST_F(Undo, BadUndoCommandLinesAreRefused) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--undo", "--list", "extra"}, {"--undo", "--bogus"}, {"--undo", "/NoLong"}}) {
    RunResult run = box.Run(arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments[1];
    EXPECT_NE(run.err.find("--undo"), std::string::npos) << run.err;
  }
  for (const char* run_name : {"no-such-run", "../../etc/passwd"}) {
    RunResult run = box.Run({"--undo", run_name});
    EXPECT_EQ(run.exit_code, 1) << run_name;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST_F(Undo, AKilledRunIsUndoneAsFarAsItGot) {
  std::string root = box.FastFolder();
  box.MakeFolder(root + "/tree");
  for (int folder = 0; folder < 20; ++folder) {
    for (int i = 0; i < 400; ++i) {
      box.WriteText(root + "/tree/f" + std::to_string(folder) + "/" + std::to_string(i) + ".tmp",
                    std::to_string(folder * 1000 + i));
    }
  }
  const Snapshot before = TakeSnapshot(root + "/tree");
  // The trash must be on the tree's device for the files to go to the home trash quickly and
  // for trash-list to look there.
  box.SetEnv("XDG_DATA_HOME", root + "/data");
  box.WriteText(box.ScriptPath(), Assign("delete-files-recursive", root + "/tree/*.tmp"));
  Sandbox::Started run = box.Start({box.ScriptPath()});

  // Wait for the run to be well under way: its log shows a few hundred lines.
  const std::string log =
      root + "/data/Greyfen Works/Sweep Well/" + box.LogPath().substr(box.LogPath().rfind('/') + 1);
  for (;;) {
    struct stat st {};
    if (stat(log.c_str(), &st) == 0 && st.st_size > 300 * 40) break;
    if (waitpid(run.pid, nullptr, WNOHANG) == run.pid) FAIL() << "the run ended before the kill";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(run.pid, SIGKILL);
  RunResult killed = box.Wait(run);
  ASSERT_EQ(killed.exit_code, 128 + SIGKILL);
  ASSERT_NE(TakeSnapshot(root + "/tree"), before);  // some files did go

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.out << undo.err;
  EXPECT_EQ(TakeSnapshot(root + "/tree"), before);
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListed(box), std::vector<std::string>{});
  }
}

TEST_F(Undo, ATakenPlaceIsNotOverwrittenAndItsFileStaysInTheTrash) {
  box.WriteText(box.Work("tree/keep.txt"), "trashed");
  box.WriteText(box.Work("tree/other.txt"), "other");
  ASSERT_EQ(CleanTree().exit_code, 0);
  box.WriteText(box.Work("tree/keep.txt"), "made since");

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0);
  std::vector<std::string> lines = EntryLines(undo.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      FileLine(box.Work("tree/keep.txt"), 7) +
                          "  [Место занято, файл остался в корзине]"),
            lines.end())
      << undo.out;
  EXPECT_NE(undo.out.find("Восстановлено файлов:  1  [осталось в корзине: 1]"), std::string::npos)
      << undo.out;
  Snapshot now = TakeSnapshot(box.Work("tree"));
  EXPECT_EQ(now["/keep.txt"], "file made since");
  EXPECT_EQ(now["/other.txt"], "file other");
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListed(box), std::vector<std::string>{box.Work("tree/keep.txt")});
  }
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_NE(list.out.find("файлов: 2, в корзине: 1\n"), std::string::npos) << list.out;

  // Once the place is free again, the next undo brings the rest.
  ASSERT_EQ(unlink(box.Work("tree/keep.txt").c_str()), 0);
  ASSERT_EQ(box.Run({"--undo"}).exit_code, 0);
  EXPECT_EQ(TakeSnapshot(box.Work("tree"))["/keep.txt"], "file trashed");
}

TEST_F(Undo, EntriesEmptiedOrChangedByOtherToolsAreReportedAndLeftAlone) {
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed";
  box.WriteText(box.Work("tree/emptied.txt"), "emptied");
  box.WriteText(box.Work("tree/kept.txt"), "kept");
  ASSERT_EQ(CleanTree().exit_code, 0);
  ASSERT_EQ(box.RunTool({"trash-rm", "emptied.txt"}).exit_code, 0);

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0);
  std::vector<std::string> lines = EntryLines(undo.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      box.Work("tree/emptied.txt") +
                          "  [Нет в корзине: удалён из неё или уже восстановлен]"),
            lines.end())
      << undo.out;
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), (Snapshot{{"/kept.txt", "file kept"}}));
}

TEST_F(Undo, TwoUndosAtOnceRestoreEachFileOnce) {
  MakeTree();
  const Snapshot before = TakeSnapshot(box.Work("tree"));
  ASSERT_EQ(CleanTree().exit_code, 0);
  Sandbox::Started first = box.Start({"--undo"});
  Sandbox::Started second = box.Start({"--undo"});
  RunResult results[] = {box.Wait(first), box.Wait(second)};

  int restored_lines = 0;
  for (const RunResult& result : results) {
    // Either it ran (finding what the other had restored already), or the record was held.
    if (result.exit_code == 1) {
      EXPECT_NE(result.err.find("занят"), std::string::npos) << result.err;
      continue;
    }
    EXPECT_EQ(result.exit_code, 0) << result.err;
    for (const std::string& line : EntryLines(result.out)) {
      restored_lines += line.ends_with(" bytes") && line.find("  :: ") != std::string::npos;
    }
  }
  EXPECT_EQ(restored_lines, 28);
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), before);
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListed(box), std::vector<std::string>{});
  }
}

TEST_F(Undo, ARecordHeldByARunningRunIsNotUndone) {
  box.WriteText(box.Work("tree/a.txt"), "a");
  ASSERT_EQ(CleanTree().exit_code, 0);
  std::vector<std::string> ids = box.List(UndoFolder(box));
  ASSERT_EQ(ids.size(), 1u);
  int fd = open((UndoFolder(box) + "/" + ids[0]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);  // as the run holds it while it works
  RunResult undo = box.Run({"--undo"});
  close(fd);
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("занят"), std::string::npos) << undo.err;
  EXPECT_FALSE(box.Exists(box.Work("tree/a.txt")));
}

// A record written by hand: its entries name places that are no trash, or names that climb out
// of one. Each is refused with its reason; no file moves.
TEST_F(Undo, AForgedRecordMovesNothingOutsideATrash) {
  box.WriteText(box.Work("secret.txt"), "secret");
  box.WriteText(box.Work("fake/files/x.txt"), "fake");
  box.WriteText(
      box.Work("fake/info/x.txt.trashinfo"),
      "[Trash Info]\nPath=" + box.Work("restored.txt") + "\nDeletionDate=2026-01-01T00:00:00\n");
  box.MakeFolder(box.DataHome() + "/Trash/files");
  box.MakeFolder(box.DataHome() + "/Trash/info");
  const std::string trash = box.DataHome() + "/Trash";
  const std::string date = "2026-01-01T00:00:00";
  box.WriteText(
      UndoFolder(box) + "/2026-01-01_00-00-00_1.undo",
      "Sweepwell undo record 1\nstarted\t" + date + "\nscript\t/x.loom\n" + "trash\t" + date +
          "\t" + trash + "\t../../work/secret.txt\t" + box.Work("restored1.txt") + "\n" +  //
          "trash\t" + date + "\t" + trash + "\t..\t" + box.Work("restored2") + "\n" + "trash\t" +
          date + "\t" + box.Work("fake") + "\tx.txt\t" + box.Work("restored.txt") + "\n" +  //
          "trash\t" + date + "\t" + trash + "/../../work/fake\tx.txt\t" + box.Work("restored.txt") +
          "\n" +  //
          "this line is damaged\n");
  const Snapshot before = TakeSnapshot(box.Work());

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  std::vector<std::string> lines = EntryLines(undo.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.ends_with("  [Запись указывает не в корзину]");
                          }),
            4)
      << undo.out;
  EXPECT_NE(undo.out.find("Строк записи не прочитано: 1"), std::string::npos) << undo.out;
  EXPECT_EQ(TakeSnapshot(box.Work()), before);
}

TEST_F(Undo, ARecordThatIsNoRecordIsUnreadable) {
  box.WriteText(UndoFolder(box) + "/2026-01-01_00-00-00_1.undo", "garbage\n");
  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("не читается"), std::string::npos) << undo.err;
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_NE(list.out.find("[запись не читается]"), std::string::npos) << list.out;
}

TEST_F(Undo, AnUndoWhoseLogCannotBeWrittenMovesNothingUntilItCan) {
  box.WriteText(box.Work("tree/a.txt"), "a");
  ASSERT_EQ(CleanTree().exit_code, 0);
  ASSERT_EQ(unlink(box.LogPath().c_str()), 0);
  ASSERT_EQ(symlink("/dev/full", box.LogPath().c_str()), 0);  // a log that takes no line
  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("не записан"), std::string::npos) << undo.err;
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), Snapshot{});
  ASSERT_EQ(unlink(box.LogPath().c_str()), 0);
  EXPECT_EQ(box.Run({"--undo"}).exit_code, 0);
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), (Snapshot{{"/a.txt", "file a"}}));
}

// The uid the other user's steps run as.
constexpr uid_t kOtherUser = 65534;

// Runs `step` in a child that has become the other user; true when it returned true.
bool AsOtherUser(const std::function<bool()>& step) {
  pid_t child = fork();
  if (child == 0) {
    if (setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
        setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
      _exit(2);
    }
    _exit(step() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The trash entries (names under files/) of the sandbox's home trash.
std::vector<std::string> InTrash(const Sandbox& box) { return box.List(box.TrashFiles()); }

// A run cleaned a shared sticky folder; another user then puts something of theirs where a
// folder the run removed used to be. The undo goes neither through their link nor into their
// folder: the file stays in the trash and its line says why.
TEST_F(Undo, WhatAnotherUserPutsOnTheWayBackIsNeitherFollowedNorUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  // The other user must be able to reach the shared folder.
  ASSERT_EQ(chmod(box.Root().c_str(), 0755), 0);
  ASSERT_EQ(chmod(box.Work().c_str(), 0755), 0);
  box.MakeFolder(box.Work("shared"));
  ASSERT_EQ(chmod(box.Work("shared").c_str(), 01777), 0);
  box.MakeFolder(box.Work("private"));
  ASSERT_EQ(chmod(box.Work("private").c_str(), 0700), 0);
  box.WriteText(box.Work("shared/linked/authorized_keys"), "trashed one");
  box.WriteText(box.Work("shared/owned/.bashrc"), "trashed two");
  ASSERT_EQ(box.RunScript(Assign("delete-folder", box.Work("shared/linked")) +
                          Assign("delete-folder", box.Work("shared/owned")) + "cleaner.done\n")
                .exit_code,
            0);
  ASSERT_FALSE(box.Exists(box.Work("shared/linked")));
  const std::string private_folder = box.Work("private");
  const std::string linked = box.Work("shared/linked"), owned = box.Work("shared/owned");
  ASSERT_TRUE(AsOtherUser([&] {
    return symlink(private_folder.c_str(), linked.c_str()) == 0 && mkdir(owned.c_str(), 0777) == 0;
  }));

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  std::vector<std::string> lines = EntryLines(undo.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      FileLine(box.Work("shared/linked/authorized_keys"), 11) +
                          "  [На пути теперь ссылка, файл остался в корзине]"),
            lines.end())
      << undo.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      FileLine(box.Work("shared/owned/.bashrc"), 11) +
                          "  [Папка на пути теперь чужая, файл остался в корзине]"),
            lines.end())
      << undo.out;
  EXPECT_EQ(box.List(private_folder), std::vector<std::string>{});
  EXPECT_EQ(box.List(owned), std::vector<std::string>{});
  EXPECT_EQ(InTrash(box).size(), 2u);

  // With the other user's things gone, the same undo brings both back.
  ASSERT_EQ(unlink(linked.c_str()), 0);
  ASSERT_EQ(rmdir(owned.c_str()), 0);
  ASSERT_EQ(box.Run({"--undo"}).exit_code, 0);
  EXPECT_EQ(TakeSnapshot(box.Work("shared")),
            (Snapshot{{"/linked", "folder"},
                      {"/linked/authorized_keys", "file trashed one"},
                      {"/owned", "folder"},
                      {"/owned/.bashrc", "file trashed two"}}));
}

// A record of an older version knows no folders; a folder that another user made since in a
// shared sticky folder is still not used.
TEST_F(Undo, AnOlderRecordStillKeepsOutOfAnotherUsersFolderInASharedOne) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  ASSERT_EQ(chmod(box.Root().c_str(), 0755), 0);
  ASSERT_EQ(chmod(box.Work().c_str(), 0755), 0);
  box.MakeFolder(box.Work("shared"));
  ASSERT_EQ(chmod(box.Work("shared").c_str(), 01777), 0);
  box.WriteText(box.Work("shared/owned/f.txt"), "f");
  ASSERT_EQ(box.RunScript(Assign("delete-folder", box.Work("shared/owned")) + "cleaner.done\n")
                .exit_code,
            0);
  std::vector<std::string> ids = box.List(UndoFolder(box));
  ASSERT_EQ(ids.size(), 1u);
  const std::string record = UndoFolder(box) + "/" + ids[0];
  ASSERT_EQ(std::system(("sed -i '/^folder\t/d; /^link\t/d' '" + record + "'").c_str()), 0);
  const std::string owned = box.Work("shared/owned");
  ASSERT_TRUE(AsOtherUser([&] { return mkdir(owned.c_str(), 0777) == 0; }));

  RunResult undo = box.Run({"--undo"});
  EXPECT_NE(undo.out.find(FileLine(owned + "/f.txt", 1) +
                          "  [Папка на пути теперь чужая, файл остался в корзине]"),
            std::string::npos)
      << undo.out;
  EXPECT_EQ(box.List(owned), std::vector<std::string>{});
}

// The folders an undo makes again are the folders the run removed, mode and owner included;
// a link that was on the way when the run trashed is still taken on the way back.
TEST_F(Undo, FoldersComeBackWithTheirModeAndOwnerAndOldLinksStillLead) {
  box.WriteText(box.Work("real/tree/sticky/grouped/a.txt"), "a");
  ASSERT_EQ(chmod(box.Work("real/tree/sticky").c_str(), 01777), 0);
  ASSERT_EQ(chmod(box.Work("real/tree/sticky/grouped").c_str(), 02750), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(box.Work("real/tree/sticky/grouped").c_str(), kOtherUser, 100), 0);
  }
  box.MakeLink(box.Work("via"), "real");  // the script names the tree through a link
  ASSERT_EQ(box.RunScript(Assign("delete-folder", box.Work("via/tree/sticky")) + "cleaner.done\n")
                .exit_code,
            0);
  ASSERT_FALSE(box.Exists(box.Work("real/tree/sticky")));
  ASSERT_EQ(umask(022), 022);  // the mode must not come from the umask

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(TakeSnapshot(box.Work("real/tree")),
            (Snapshot{{"/sticky", "folder"},
                      {"/sticky/grouped", "folder"},
                      {"/sticky/grouped/a.txt", "file a"}}))
      << undo.out;
  EXPECT_EQ(ModeOf(box.Work("real/tree/sticky")), 01777u);
  EXPECT_EQ(ModeOf(box.Work("real/tree/sticky/grouped")), 02750u);
  if (root) {
    struct stat st {};
    ASSERT_EQ(stat(box.Work("real/tree/sticky/grouped").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOtherUser);
    EXPECT_EQ(st.st_gid, 100u);
  }
}

// A .trashinfo or a record that is a FIFO now is refused, never waited on: the undo and the
// list end (a run that hangs is killed by the sandbox and fails the test).
TEST_F(Undo, AFifoInPlaceOfATrashinfoOrARecordIsRefusedAndNeverWaitedOn) {
  box.SetTimeout(60);
  box.WriteText(box.Work("tree/a.txt"), "a");
  box.WriteText(box.Work("tree/b.txt"), "b");
  ASSERT_EQ(CleanTree().exit_code, 0);
  const std::string info = box.DataHome() + "/Trash/info/a.txt.trashinfo";
  ASSERT_EQ(unlink(info.c_str()), 0);
  ASSERT_EQ(mkfifo(info.c_str(), 0600), 0);

  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_NE(list.out.find("файлов: 2, в корзине: 1\n"), std::string::npos) << list.out;
  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  std::vector<std::string> lines = EntryLines(undo.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      box.Work("tree/a.txt") +
                          "  [Запись корзины не обычный файл, файл остался в корзине]"),
            lines.end())
      << undo.out;
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), (Snapshot{{"/b.txt", "file b"}}));

  std::vector<std::string> ids = box.List(UndoFolder(box));
  ASSERT_EQ(ids.size(), 1u);
  const std::string record = UndoFolder(box) + "/" + ids[0];
  ASSERT_EQ(unlink(record.c_str()), 0);
  ASSERT_EQ(mkfifo(record.c_str(), 0600), 0);
  list = box.Run({"--undo", "--list"});
  EXPECT_NE(list.out.find("[запись не читается]"), std::string::npos) << list.out;
  undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("не обычный файл"), std::string::npos) << undo.err;
}

TEST_F(Undo, ListingMakesNothing) {
  const std::string fresh = box.Root() + "/fresh-data";
  box.SetEnv("XDG_DATA_HOME", fresh);
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_NE(list.out.find("Нет запусков"), std::string::npos) << list.out;
  EXPECT_FALSE(box.Exists(fresh));

  box.MakeFolder(fresh);
  EXPECT_EQ(box.Run({"--undo", "--list"}).exit_code, 0);
  EXPECT_EQ(box.List(fresh), std::vector<std::string>{});
}

// A run that cannot make (or lock) its record trashes nothing: an entry trashed unrecorded could
// not be undone. It says so on standard error and in the lines of what it left.
TEST_F(Undo, ARunWithoutItsRecordTrashesNothing) {
  box.WriteText(box.Work("tree/a.txt"), "a");
  box.WriteText(UndoFolder(box), "a file where the records' folder goes");
  RunResult run = CleanTree();
  EXPECT_NE(run.err.find("не сохранена"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(FileLine(box.Work("tree/a.txt"), 1) + kAccessDenied), std::string::npos)
      << run.out;
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), (Snapshot{{"/a.txt", "file a"}}));
  EXPECT_EQ(box.List(box.TrashFiles()), std::vector<std::string>{});
}

// Links swapped in on every folder of the way back while an undo restores, an undo killed in
// the middle, and a last undo: every file is back or still in the trash, nothing lands outside
// the tree, and nothing there is overwritten.
TEST_F(Undo, LinkSwapsAndAKilledUndoLoseNothingAndWriteNothingOutside) {
  constexpr int kChains = 60;
  const std::string outside = box.Work("outside");
  Snapshot before;
  for (int k = 0; k < kChains; ++k) {
    const std::string name = "/d" + std::to_string(k) + "/sub/f.txt";
    box.WriteText(box.Work("tree") + name, "file " + std::to_string(k));
    before[name] = "file file " + std::to_string(k);
    before["/d" + std::to_string(k)] = "folder";
    before["/d" + std::to_string(k) + "/sub"] = "folder";
  }
  box.WriteText(outside + "/f.txt", "decoy");
  box.MakeFolder(outside + "/sub");
  box.WriteText(outside + "/sub/f.txt", "decoy");
  const Snapshot outside_before = TakeSnapshot(outside);
  ASSERT_EQ(CleanTree().exit_code, 0);
  ASSERT_FALSE(box.Exists(box.Work("tree")));

  // The swapper plants a link on each missing folder of the way and takes it away again.
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    const std::string tree = box.Work("tree");
    for (int round = 0; round < 2000 && !stop.load(); ++round) {
      if (symlink(outside.c_str(), tree.c_str()) == 0) unlink(tree.c_str());
      for (int k = 0; k < kChains; ++k) {
        const std::string chain = box.Work("tree/d") + std::to_string(k);
        for (const std::string& place : {chain, chain + "/sub"}) {
          if (symlink(outside.c_str(), place.c_str()) == 0) unlink(place.c_str());
        }
      }
    }
  });
  RunResult raced = box.Run({"--undo"});
  stop = true;
  swapper.join();
  EXPECT_EQ(raced.exit_code, 0) << raced.err;

  // Whatever the race left in the trash, an undo killed once it holds the record and works.
  std::vector<std::string> ids = box.List(UndoFolder(box));
  ASSERT_EQ(ids.size(), 1u);
  int record = open((UndoFolder(box) + "/" + ids[0]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(record, 0);
  Sandbox::Started killed = box.Start({"--undo"});
  bool ended = false;
  while (!(ended = waitpid(killed.pid, nullptr, WNOHANG) == killed.pid)) {
    if (flock(record, LOCK_EX | LOCK_NB) != 0) {
      kill(killed.pid, SIGKILL);
      break;
    }
    flock(record, LOCK_UN);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  close(record);
  if (!ended) box.Wait(killed);

  RunResult last = box.Run({"--undo"});
  EXPECT_EQ(last.exit_code, 0) << last.err;
  EXPECT_EQ(TakeSnapshot(box.Work("tree")), before) << raced.out << last.out;
  EXPECT_EQ(TakeSnapshot(outside), outside_before);
  EXPECT_EQ(InTrash(box), std::vector<std::string>{});
}

}  // namespace
}  // namespace sweepwell_test
