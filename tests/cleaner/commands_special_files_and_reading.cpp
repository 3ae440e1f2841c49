// Sockets, FIFOs and device nodes are no files to clean: the selecting commands pass over them,
// only delete-folder removes them (it must, to remove its folder). And a run or a preview
// changes no access time it can avoid changing, so that a preview shows what the run then does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

class SpecialFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // A FIFO opened by mistake would block for ever: let such a run fail the test soon.
    box.SetTimeout(30);
    dir_ = box.Work("t");
    box.MakeFile(dir_ + "/plain.tmp", 3);
    box.MakeFolder(dir_ + "/sub");
    box.MakeFile(dir_ + "/sub/inner.tmp", 4);
    special_ = {dir_ + "/live.sock", dir_ + "/pipe.tmp", dir_ + "/sub/pipe2"};
    ASSERT_EQ(mkfifo(special_[1].c_str(), 0644), 0) << std::strerror(errno);
    ASSERT_EQ(mkfifo(special_[2].c_str(), 0644), 0) << std::strerror(errno);
    // A bound, listening socket: what a service in /tmp holds.
    socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket_, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(special_[0].size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, special_[0].c_str(), special_[0].size() + 1);
    ASSERT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
    ASSERT_EQ(listen(socket_, 1), 0);
    // A device node (the null device's numbers) only where the test may make one.
    const std::string device = dir_ + "/sub/null.tmp";
    if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
      special_.push_back(device);
    } else {
      std::printf("no device node here (%s): sockets and FIFOs only\n", std::strerror(errno));
    }
    for (const std::string& path : special_) box.SetAges(path, 400, 400);
    box.SetAges(dir_ + "/plain.tmp", 400, 400);
    box.SetAges(dir_ + "/sub/inner.tmp", 400, 400);
  }
  void TearDown() override {
    if (socket_ >= 0) close(socket_);
  }

  // Runs `commands` and checks that every special file is still there and has no line, and
  // that both plain files went with theirs.
  void ExpectSpecialFilesLeftAlone(const std::string& commands) {
    RunResult run = box.RunScript(std::string(kPermanently) + commands + "cleaner.done\n");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> lines = EntryLines(run.out);
    EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()),
              (std::multiset<std::string>{FileLine(dir_ + "/plain.tmp", 3),
                                          FileLine(dir_ + "/sub/inner.tmp", 4)}))
        << commands << run.out;
    EXPECT_EQ(ParseTotals(run.out).files_deleted, 2);
    EXPECT_EQ(ParseTotals(run.out).files_left, 0) << "a special file was counted";
    for (const std::string& path : special_) EXPECT_TRUE(box.Exists(path)) << path;
    EXPECT_EQ(run.log.find("pipe"), std::string::npos) << run.log;
  }

  Sandbox box;
  std::string dir_;
  std::vector<std::string> special_;
  int socket_ = -1;
};

TEST_F(SpecialFiles, PatternCommandsPassOverThem) {
  ExpectSpecialFilesLeftAlone(Assign("delete-files-recursive", dir_ + "/*"));
}

TEST_F(SpecialFiles, MaskCommandsPassOverThem) {
  ExpectSpecialFilesLeftAlone(Assign("by-mask-add-mask", "*") +
                              Assign("by-mask-delete-files-recursive", dir_));
}

TEST_F(SpecialFiles, AgeCommandsPassOverThem) {
  ExpectSpecialFilesLeftAlone("cleaner.by-age-set-days = 30\n" +
                              Assign("by-age-delete-files-recursive", dir_));
}

TEST_F(SpecialFiles, ListCommandsPassOverThem) {
  ExpectSpecialFilesLeftAlone(Assign("by-list-add-files-list-recursive", dir_) +
                              Assign("by-list-delete-files", "*"));
}

TEST_F(SpecialFiles, DeleteFolderRemovesThemWithTheirLines) {
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", dir_) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(box.Exists(dir_));
  const std::vector<std::string> lines = EntryLines(run.out);
  const std::set<std::string> seen(lines.begin(), lines.end());
  for (const std::string& path : special_) {
    EXPECT_EQ(seen.count(FileLine(path, 0)), 1u) << path << "\n" << run.out;
  }
  EXPECT_EQ(ParseTotals(run.out).files_deleted, static_cast<int64_t>(special_.size()) + 2);
}

// Sets the access and write times of `path` itself (a link is not followed) to so many days
// ago, as the tests of relatime need: a time older than a day is refreshed by any access.
void SetOld(const std::string& path, double days) {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct timespec then {};
  then.tv_sec = now.tv_sec - static_cast<time_t>(days * 86400.0);
  const struct timespec times[2] = {then, then};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct timespec AccessTime(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_atim;
}

// A preview of a script that selects by age, then the run itself: the run must delete what the
// preview listed, though the preview listed every folder and looked at every link.
TEST(ReadingChangesNothing, PreviewOfAnAgeSelectionShowsWhatTheRunDeletes) {
  Sandbox box;
  const std::string a = box.Work("a");
  const std::string target = box.Work("target");
  box.MakeFile(target + "/kept.txt", 5);
  box.MakeFolder(a + "/sub/deeper");
  std::vector<std::string> files = {a + "/one.tmp", a + "/two.tmp", a + "/sub/three.tmp",
                                    a + "/sub/deeper/four.tmp"};
  for (const std::string& file : files) box.MakeFile(file, 1);
  box.MakeFile(a + "/new.tmp", 1);  // young: stays
  ASSERT_EQ(symlink((target + "/kept.txt").c_str(), (a + "/to-file").c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), (a + "/to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (a + "/sub/dangling").c_str()), 0);
  // Folders and links last: making their entries set their times.
  std::vector<std::string> old = files;
  for (const char* name : {"/to-file", "/to-folder", "/sub/dangling", "/sub/deeper", "/sub", ""}) {
    old.push_back(a + name);
  }
  old.push_back(target);  // its file is young: it stays, though the walk goes through the link
  for (const std::string& path : old) SetOld(path, 100);
  std::map<std::string, struct timespec> before;
  for (const std::string& path : old) before[path] = AccessTime(path);

  const std::string script = std::string(kPermanently) + "cleaner.go-below-junctions = True\n" +
                             "cleaner.by-age-set-days = 30\n" +
                             Assign("by-age-delete-files-recursive", a) + "cleaner.done\n";
  RunResult preview = box.RunScript(script, {"--preview"});
  ASSERT_EQ(preview.exit_code, 0) << preview.err;
  // Nothing the preview read has a new access time, links aside (the kernel refreshes a
  // link's whenever it is followed, and a link's age is its write time).
  for (const std::string& path : old) {
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    if (S_ISLNK(info.st_mode)) continue;
    EXPECT_EQ(info.st_atim.tv_sec, before[path].tv_sec) << path << " was read by the preview";
  }
  std::vector<std::string> previewed;
  for (const std::string& line : EntryLines(preview.out)) {
    if (line.rfind("***", 0) != 0) previewed.push_back(line);
  }
  RunResult run = box.RunScript(script);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), previewed) << preview.out;
  // The old files and the links to a file and to nothing went; the young one, the link to a folder
  // and everything behind the links stayed.
  EXPECT_EQ(ParseTotals(run.out).files_deleted, static_cast<int64_t>(files.size()) + 2) << run.out;
  EXPECT_TRUE(box.Exists(a + "/new.tmp"));
  EXPECT_TRUE(box.Exists(a + "/to-folder"));
  EXPECT_TRUE(box.Exists(target + "/kept.txt"));
}

}  // namespace
}  // namespace sweepwell_test
