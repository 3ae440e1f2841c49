// Folders by name at any depth, exclusions, the minimum age of empty folders and the times the
// age commands count, run by the real program over temporary trees.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

class FoldersNamed : public ::testing::Test {
 protected:
  // src/a/node_modules (with a nested node_modules and a subfolder), src/b/c/__pycache__,
  // src/b/target kept (its name is not asked for), and beside it all a file that stays.
  void MakeTree() {
    src = box.Work("src");
    box.MakeFile(src + "/a/node_modules/x/index.js", 10);
    box.MakeFile(src + "/a/node_modules/node_modules/y.js", 20);
    box.MakeFile(src + "/a/package.json", 3);
    box.MakeFile(src + "/b/c/__pycache__/m.pyc", 5);
    box.MakeFile(src + "/b/c/m.py", 6);
    box.MakeFile(src + "/b/target/out.o", 7);
  }
  Sandbox box;
  std::string src;
};

TEST_F(FoldersNamed, EveryMatchingFolderGoesWholeAndIsNotSearchedFurther) {
  MakeTree();
  RunResult run = box.RunScript(std::string(kPermanently) +
                                Assign("delete-folders-named", src + "/node_modules;__PYCACHE__") +
                                "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::string nm = src + "/a/node_modules";
  // The lines of a delete-folder of each match: the nested node_modules is part of the outer
  // one (one line for it, as a subfolder), never a match of its own.
  EXPECT_EQ(
      AsSet(EntryLines(run.out)),
      (Lines{FileLine(nm + "/x/index.js", 10), DirLine(nm + "/x"),
             FileLine(nm + "/node_modules/y.js", 20), DirLine(nm + "/node_modules"), DirLine(nm),
             FileLine(src + "/b/c/__pycache__/m.pyc", 5), DirLine(src + "/b/c/__pycache__")}))
      << run.out;
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 3);
  EXPECT_EQ(totals.folders_deleted, 4);
  EXPECT_FALSE(box.Exists(nm));
  EXPECT_FALSE(box.Exists(src + "/b/c/__pycache__"));
  EXPECT_TRUE(box.Exists(src + "/a/package.json"));
  EXPECT_TRUE(box.Exists(src + "/b/c/m.py"));
  EXPECT_TRUE(box.Exists(src + "/b/target/out.o"));
}

TEST_F(FoldersNamed, ALinkOfAMatchingNameIsNeitherFollowedNorRemoved) {
  MakeTree();
  // Outside the tree, reached only through the links.
  const std::string outside = box.Work("outside");
  box.MakeFile(outside + "/node_modules/precious.js", 4);
  box.MakeFile(outside + "/important.txt", 4);
  box.MakeLink(src + "/b/node_modules", outside);
  box.MakeLink(src + "/b/via", outside);
  RunResult run =
      box.RunScript(std::string(kPermanently) +
                    Assign("delete-folders-named", src + "/node_modules") + "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(box.Exists(src + "/b/node_modules/important.txt"));
  EXPECT_TRUE(box.Exists(outside + "/node_modules/precious.js"));
  EXPECT_EQ(run.out.find(outside), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(src + "/b/node_modules"), std::string::npos) << run.out;
  EXPECT_FALSE(box.Exists(src + "/a/node_modules"));

  // Going below links, the link is searched like a folder, and still never removed.
  run = box.RunScript(std::string(kPermanently) + "cleaner.go-below-junctions = True\n" +
                      Assign("delete-folders-named", src + "/node_modules") + "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  struct stat st {};
  ASSERT_EQ(lstat((src + "/b/node_modules").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_FALSE(box.Exists(outside + "/node_modules"));
  EXPECT_TRUE(box.Exists(outside + "/important.txt"));
}

TEST_F(FoldersNamed, TheGuardRefusesItOverAProtectedFolderAndTheLongTwinFollowsNoLong) {
  RunResult run =
      box.RunScript(Assign("delete-folders-named", box.Home() + "/*") +
                        Assign("delete-folders-named-long", box.Work("src/x")) + "cleaner.done\n",
                    {"--no-long"});
  EXPECT_EQ(run.exit_code, 1) << run.out;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_TRUE(lines[0].starts_with(box.Home() + "/*  :: DIR  [")) << lines[0];
  EXPECT_EQ(lines[1], "*Rejected*");
}

// A name that matches the home folder itself does not take it: it is refused as delete-folder
// naming it is, unless the run lifts the protection.
TEST_F(FoldersNamed, AMatchedHomeFolderIsRefusedAndNotSearched) {
  box.MakeFile(box.Home() + "/docs/letter.txt", 3);
  box.MakeFile(box.Root() + "/homework/sheet.txt", 4);
  RunResult run =
      box.RunScript(std::string(kPermanently) +
                    Assign("delete-folders-named", box.Root() + "/home*") + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(box.Exists(box.Home() + "/docs/letter.txt"));
  EXPECT_FALSE(box.Exists(box.Root() + "/homework"));
  const std::vector<std::string> lines = EntryLines(run.out);
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& line) {
                           return line.starts_with(box.Home() + "  :: DIR  [");
                         }),
            lines.end())
      << run.out;
  EXPECT_EQ(run.out.find("letter.txt"), std::string::npos) << run.out;

  run = box.RunScript(std::string(kPermanently) +
                          Assign("delete-folders-named", box.Root() + "/home*") + "cleaner.done\n",
                      {"--no-preserve-root"});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_FALSE(box.Exists(box.Home()));
}

class Exclusions : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(Exclusions, GitStoresKeepTheirEmptyFoldersAndAnExcludedPathSurvivesAMatchedFolder) {
  const std::string src = box.Work("src");
  box.MakeFolder(src + "/repo/.git/refs/heads");
  box.MakeFolder(src + "/repo/.git/objects");
  box.MakeFolder(src + "/repo/empty");
  box.MakeFile(src + "/repo/node_modules/a.js", 1);
  box.MakeFile(src + "/repo/node_modules/keep/k.js", 2);
  box.MakeFile(src + "/repo/.git/node_modules/inside-git.js", 3);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("exclusions-add-mask", ".GIT") +
                                Assign("exclusions-add-path", src + "/./repo/node_modules/keep") +
                                Assign("delete-folders-named", src + "/node_modules") +
                                Assign("delete-empty-folders-recursive", src) + "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  // What the exclusions kept gives no line; the matched folder keeps the excluded entry, so
  // it stays too, silently, with the rest of it gone.
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(src + "/repo/node_modules/a.js", 1), DirLine(src + "/repo/empty")}))
      << run.out;
  EXPECT_EQ(ParseTotals(run.out).folders_left, 0);
  EXPECT_TRUE(box.IsFolder(src + "/repo/.git/refs/heads"));
  EXPECT_TRUE(box.IsFolder(src + "/repo/.git/objects"));
  EXPECT_TRUE(box.Exists(src + "/repo/.git/node_modules/inside-git.js"));
  EXPECT_TRUE(box.Exists(src + "/repo/node_modules/keep/k.js"));
}

TEST_F(Exclusions, EverySelectingCommandHonoursThemUntilTheyAreCleared) {
  const std::string t = box.Work("t"), keep = t + "/keep";
  auto make_tree = [&] {
    for (const char* name : {"/a.tmp", "/keep/b.tmp", "/sub/keep.tmp", "/sub/c.tmp"}) {
      box.MakeFile(t + name, 1);
      box.SetAges(t + name, 90, 90);
    }
    box.MakeFolder(keep + "/empty");
    box.MakeFolder(t + "/sub/keep.d");
    box.MakeFolder(t + "/sub/gone");
    for (const std::string& link : {keep + "/link", t + "/sub/ln"}) {
      unlink(link.c_str());  // left by the case before
      box.MakeLink(link, "..");
    }
  };
  const std::string excluded =
      Assign("exclusions-add-path", keep) + Assign("exclusions-add-mask", "keep.*");
  const std::vector<std::string> old_files = {FileLine(t + "/a.tmp", 1),
                                              FileLine(t + "/sub/c.tmp", 1)};
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {Assign("delete-files-recursive", t + "/*.tmp"), old_files},
      {"cleaner.by-mask-add-mask = \"*.tmp\"\n" + Assign("by-mask-delete-files-recursive", t),
       old_files},
      {"cleaner.by-age-set-days = 10\n" + Assign("by-age-delete-files-recursive", t), old_files},
      {Assign("by-list-add-files-list-recursive", t) + "cleaner.by-list-delete-files = \"*\"\n",
       old_files},
      {Assign("delete-empty-folders-recursive", t), {DirLine(t + "/sub/gone")}},
      {Assign("delete-junctions-recursive", t), {JunctionLine(t + "/sub/ln")}},
      // A command whose folder is excluded does nothing at all.
      {Assign("delete-folder", keep) + Assign("delete-empty-folders-with-base", keep + "/empty") +
           Assign("delete-files", t + "/sub/keep.tmp"),
       {}},
  };
  for (const auto& [commands, lines] : cases) {
    make_tree();
    RunResult run =
        box.RunScript(std::string(kPermanently) + excluded + commands + "cleaner.done\n");
    ASSERT_EQ(run.exit_code, 0) << commands << run.out << run.err;
    EXPECT_EQ(AsSet(EntryLines(run.out)), AsSet(lines)) << commands << run.out;
    EXPECT_TRUE(box.Exists(keep + "/b.tmp")) << commands;
    EXPECT_TRUE(box.IsFolder(keep + "/empty")) << commands;
    EXPECT_TRUE(box.Exists(keep + "/link")) << commands;
    EXPECT_TRUE(box.Exists(t + "/sub/keep.tmp")) << commands;
    EXPECT_TRUE(box.IsFolder(t + "/sub/keep.d")) << commands;
  }

  // Files recorded before an exclusion came are kept out of the deletion too.
  make_tree();
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list-recursive", t) +
                    Assign("exclusions-add-path", t + "/sub") +
                    "cleaner.by-list-delete-files = \"*\"\n" + "cleaner.done\n");
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(t + "/a.tmp", 1), FileLine(keep + "/b.tmp", 1)}))
      << run.out;

  // Cleared: the same command now reaches them.
  run = box.RunScript(std::string(kPermanently) + excluded + "cleaner.exclusions-clear\n" +
                      Assign("delete-folder", keep) + "cleaner.done\n");
  EXPECT_FALSE(box.Exists(keep)) << run.out;
}

TEST_F(Exclusions, APathWithABlankVariableIsRefusedBeforeAnythingRuns) {
  const std::string t = box.Work("t");
  const std::string before = box.Work("before");
  box.MakeFile(t + "/.git/config", 1);
  box.MakeFile(before + "/f", 1);
  box.SetEnv("REPO", " ");
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-folder", before) +
                                Assign("exclusions-add-path", t + "/%REPO%/.git") +
                                Assign("delete-folder", t) + "cleaner.done\n");
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.err.find("строка 3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("%REPO%"), std::string::npos) << run.err;
  EXPECT_TRUE(box.Exists(before + "/f"));
  EXPECT_TRUE(box.Exists(t + "/.git/config"));
}

TEST_F(Exclusions, AnExcludedLinkStaysAndSoDoesWhereItLeads) {
  const std::string t = box.Work("t");
  box.MakeFile(t + "/real/keep/f", 1);
  box.MakeLink(t + "/link", t + "/real");
  box.MakeLink(t + "/other", t + "/real");
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("exclusions-add-path", t + "/link/") +
                    Assign("delete-junctions-recursive", t) +
                    Assign("delete-files-recursive", t + "/*") + "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  // Another link to the same place is no exclusion of its own: it goes as a link.
  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{JunctionLine(t + "/other")})) << run.out;
  struct stat st {};
  ASSERT_EQ(lstat((t + "/link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_TRUE(box.Exists(t + "/real/keep/f"));
}

TEST_F(Exclusions, ARelativePathIsRefusedBeforeAnythingRuns) {
  const std::string t = box.Work("t");
  box.MakeFolder(t + "/repo/.git/refs");
  for (const char* value : {".git", "repo/.git", "3", "~/src"}) {
    RunResult run =
        box.RunScript(std::string(kPermanently) + Assign("delete-empty-folders-recursive", t) +
                      Assign("exclusions-add-path", value) + "cleaner.done\n");
    EXPECT_EQ(run.exit_code, 1) << value;
    EXPECT_NE(run.err.find("строка 3"), std::string::npos) << value << run.err;
    EXPECT_NE(run.err.find("exclusions-add-mask"), std::string::npos) << value << run.err;
    EXPECT_TRUE(box.IsFolder(t + "/repo/.git/refs")) << value;
  }
}

class FolderAge : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(FolderAge, YoungEmptyFoldersStayAndAnOldChainGoesByItsTimeBeforeTheRun) {
  const std::string t = box.Work("t");
  box.MakeFolder(t + "/young");
  box.MakeFolder(t + "/old/older/oldest");
  box.MakeFolder(t + "/old/fresh-inside");
  for (const char* name : {"/old/older/oldest", "/old/older", "/old", "/old/fresh-inside"}) {
    box.SetAges(t + name, 5, 5);
  }
  box.MakeFolder(t + "/old/fresh-inside/new");
  box.SetAges(t + "/old/fresh-inside", 5, 5);  // making "new" wrote it
  box.SetAges(t, 5, 5);
  RunResult run =
      box.RunScript("cleaner.empty-folders-set-days = 2\n" +
                    Assign("delete-empty-folders-with-base-recursive", t) + "cleaner.done\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  // Removing oldest wrote older, and older wrote old: what counts is the time they had.
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{DirLine(t + "/old/older/oldest"), DirLine(t + "/old/older")}))
      << run.out;
  EXPECT_TRUE(box.IsFolder(t + "/young"));
  EXPECT_TRUE(box.IsFolder(t + "/old/fresh-inside/new"));

  // Set back to 0: every empty folder goes again, the base too once it is empty.
  box.MakeFolder(t + "/young2");
  run = box.RunScript("cleaner.empty-folders-set-days = 0\n" +
                      Assign("delete-empty-folders-recursive", t + "/old") + "cleaner.done\n");
  EXPECT_FALSE(box.Exists(t + "/old/fresh-inside")) << run.out;
}

class AgeTimes : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(AgeTimes, TheNamedTimesAreTheOnesThatCount) {
  const std::string t = box.Work("t");
  auto make = [&] {
    box.MakeFile(t + "/read-lately", 1);
    box.SetAges(t + "/read-lately", 90, 1);
    box.MakeFile(t + "/old", 2);
    box.SetAges(t + "/old", 90, 90);  // its change time is now: setting times changes it
  };
  auto run_with = [&](const std::string& times) {
    make();
    return box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = 10\n" +
                         (times.empty() ? "" : Assign("by-age-set-times", times)) +
                         Assign("by-age-delete-files", t) + "cleaner.done\n");
  };
  // Today's default: write and access.
  EXPECT_EQ(EntryLines(run_with("").out), (std::vector<std::string>{FileLine(t + "/old", 2)}));
  EXPECT_EQ(AsSet(EntryLines(run_with("WRITE").out)),
            (Lines{FileLine(t + "/read-lately", 1), FileLine(t + "/old", 2)}));
  EXPECT_EQ(EntryLines(run_with("access ; write").out),
            (std::vector<std::string>{FileLine(t + "/old", 2)}));
  // The change time is now for both: nothing is old.
  RunResult changed = run_with("write,change");
  EXPECT_TRUE(EntryLines(changed.out).empty()) << changed.out;
  EXPECT_TRUE(box.Exists(t + "/old"));
}

TEST_F(AgeTimes, TheLoaderRefusesBadValuesBeforeAnythingRuns) {
  const std::string t = box.Work("t");
  box.MakeFile(t + "/victim", 1);
  for (const std::string& bad : {std::string("cleaner.by-age-set-times = \"write, modified\"\n"),
                                 std::string("cleaner.by-age-set-times = \" , \"\n"),
                                 std::string("cleaner.by-age-set-times = 3\n"),
                                 std::string("cleaner.empty-folders-set-days = -1\n"),
                                 std::string("cleaner.empty-folders-set-days = \"soon\"\n"),
                                 std::string("cleaner.empty-folders-set-days = 1e12\n"),
                                 std::string("cleaner.exclusions-add-mask = \"\"\n")}) {
    RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-folder", t) + bad, {});
    EXPECT_NE(run.err.find("строка 3"), std::string::npos) << bad << run.err;
    EXPECT_TRUE(box.Exists(t + "/victim")) << bad;
  }
}

// The two examples of these commands on real trees: previewed, run, and undone.
class NewExamples : public ::testing::Test {
 protected:
  std::string Example(const char* name) {
    return std::string(TESTS_SOURCE_DIR) + "/../examples/" + name;
  }

  // The preview shows the lines of the real run and changes nothing; the real run is then made.
  RunResult PreviewThenRun(const std::string& script, const std::string& tree) {
    const std::vector<std::string> before = Files(tree);
    RunResult preview = box.Run({"--preview", script});
    EXPECT_EQ(preview.exit_code, 0) << preview.out << preview.err;
    EXPECT_EQ(Files(tree), before);
    RunResult real = box.Run({script});
    EXPECT_EQ(real.exit_code, 0) << real.out << real.err;
    std::vector<std::string> shown = EntryLines(preview.out);
    std::erase_if(shown, [](const std::string& line) { return line.starts_with("***"); });
    EXPECT_EQ(shown, EntryLines(real.out));
    return real;
  }

  // Every entry below `root`, as "path" for folders and "path size" for the rest.
  std::vector<std::string> Files(const std::string& root) {
    std::vector<std::string> found;
    std::vector<std::string> pending = {root};
    while (!pending.empty()) {
      const std::string folder = pending.back();
      pending.pop_back();
      for (const std::string& name : box.List(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
          found.push_back(path + "/");
          pending.push_back(path);
        } else {
          found.push_back(path + " " + std::to_string(st.st_size));
        }
      }
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  Sandbox box;
};

TEST_F(NewExamples, BuildOutputsGoAndComeBackWhileGitStoresAreNeverTouched) {
  const std::string projects = box.Work("projects");
  box.SetEnv("PROJECTS", projects);
  box.MakeFile(projects + "/web/node_modules/left-pad/index.js", 11);
  box.MakeFile(projects + "/web/node_modules/.bin/cli", 12);
  box.MakeFile(projects + "/web/src/app.js", 13);
  box.MakeFolder(projects + "/web/.git/refs/heads");
  box.MakeFile(projects + "/web/.git/target/HEAD", 14);  // a name asked for, inside .git
  box.MakeFile(projects + "/py/pkg/__pycache__/m.cpython-312.pyc", 15);
  box.MakeFile(projects + "/py/pkg/m.py", 16);
  box.MakeFile(projects + "/rs/target/debug/app", 17);
  box.MakeFile(projects + "/java/.gradle/8.5/cache.bin", 18);
  box.MakeLink(projects + "/py/node_modules", "../web/src");
  const std::vector<std::string> before = Files(projects);

  RunResult real = PreviewThenRun(Example("build-outputs.loom"), projects);
  EXPECT_FALSE(box.Exists(projects + "/web/node_modules"));
  EXPECT_FALSE(box.Exists(projects + "/py/pkg/__pycache__"));
  EXPECT_FALSE(box.Exists(projects + "/rs/target"));
  EXPECT_FALSE(box.Exists(projects + "/java/.gradle"));
  EXPECT_TRUE(box.IsFolder(projects + "/web/.git/refs/heads"));
  EXPECT_TRUE(box.Exists(projects + "/web/.git/target/HEAD"));
  EXPECT_TRUE(box.Exists(projects + "/web/src/app.js"));
  EXPECT_TRUE(box.Exists(projects + "/py/node_modules/app.js"));  // the link, not followed
  EXPECT_EQ(ParseTotals(real.out).files_deleted, 5) << real.out;

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.out << undo.err;
  // Every file is back where it was; the folders that held nothing but folders are not
  // recorded by a deletion, and here every folder held a file.
  EXPECT_EQ(Files(projects), before);
}

TEST_F(NewExamples, TheReaperKeepsYoungFoldersSocketsAndSessionFoldersAndIsUndone) {
  box.SetTimeout(30);
  const std::string temp = box.Work("tmp");
  box.SetEnv("TEMP", temp);
  box.MakeFile(temp + "/old.log", 5);
  box.SetAges(temp + "/old.log", 40, 40);
  box.MakeFile(temp + "/read-yesterday.dat", 6);
  box.SetAges(temp + "/read-yesterday.dat", 40, 1);
  box.MakeFile(temp + "/build-1/obj.o", 7);
  box.SetAges(temp + "/build-1/obj.o", 40, 40);
  box.SetAges(temp + "/build-1", 40, 40);
  box.MakeFolder(temp + "/just-made");
  box.MakeFile(temp + "/.X11-unix/X0-lock", 8);
  box.SetAges(temp + "/.X11-unix/X0-lock", 40, 40);
  box.MakeFolder(temp + "/tmux-1000");
  box.SetAges(temp + "/tmux-1000", 40, 40);
  // A listening socket, aged like the rest.
  const std::string sock = temp + "/s.sock";
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, sock.c_str(), sock.size() + 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  box.SetAges(sock, 40, 40);
  const std::vector<std::string> before = Files(temp);

  RunResult real = PreviewThenRun(Example("tmp-reaper.loom"), temp);
  close(fd);
  EXPECT_EQ(
      AsSet(EntryLines(real.out)),
      (Lines{"Old temporary files.. ", FileLine(temp + "/old.log", 5),
             FileLine(temp + "/build-1/obj.o", 7), "Empty folders.. ", DirLine(temp + "/build-1")}))
      << real.out;
  EXPECT_TRUE(box.Exists(sock));
  EXPECT_TRUE(box.IsFolder(temp + "/just-made"));
  EXPECT_TRUE(box.IsFolder(temp + "/tmux-1000"));
  EXPECT_TRUE(box.Exists(temp + "/.X11-unix/X0-lock"));
  EXPECT_TRUE(box.Exists(temp + "/read-yesterday.dat"));

  RunResult undo = box.Run({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.out << undo.err;
  EXPECT_EQ(Files(temp), before);
}

}  // namespace
}  // namespace sweepwell_test
