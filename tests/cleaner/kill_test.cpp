// A run killed with SIGKILL at random moments, many times over one tree: whatever moment the
// kill comes, every line the run finished is in the log, no line is cut inside a page, and
// nothing is gone from the tree that the log does not name: each line is written before its
// entry goes, for plain and read-only files, folders and links alike.
//
// The moments come from the log itself: the test waits (inotify) until the log has grown by a
// random number of bytes, then kills after a random pause of at most a millisecond, so kills
// land early, late and between and within writes alike.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

namespace fs = std::filesystem;

off_t SizeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

std::string ReadFrom(const std::string& path, off_t from) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(from);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> Entries(const std::string& root) {
  std::set<std::string> entries;
  std::error_code error;
  if (!fs::exists(root, error)) return entries;
  entries.insert(root);
  for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
    entries.insert(entry.path().string());
  }
  return entries;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = box.FastFolder() + "/tree";
    script_ = box.Root() + "/kill.loom";
    box.WriteText(script_, std::string(kPermanently) + Assign("delete-folder", tree_));
    // The log's folder exists before the first run, so that inotify can watch the log.
    box.MakeFolder(box.DataHome() + "/Greyfen Works/Sweep Well");
    box.WriteText(box.LogPath(), "");
  }

  // Plain files in folders; or read-only files (which go one at a time), nested folders and
  // links to files, to folders and to nothing.
  void MakeTree() {
    for (int d = 0; d < 30; ++d) {
      const std::string folder = tree_ + "/d" + std::to_string(d);
      box.MakeFolder(folder);
      if (mixed_) box.MakeFolder(folder + "/e/f");
      for (int f = 0; f < 100; ++f) {
        const std::string path = folder + "/f" + std::to_string(f) + ".tmp";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, mixed_ ? 0444 : 0644);
        ASSERT_GE(fd, 0) << path;
        close(fd);
        if (mixed_ && f % 10 == 0) {
          const std::string link = folder + "/l" + std::to_string(f);
          const std::string target = f % 20 == 0 ? path : f % 30 == 0 ? "nowhere" : tree_;
          ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
        }
      }
    }
  }

  // Stops runs with `signal_number` at random moments; see the top of the file.
  void KillRepeatedly(int signal_number);

  // Starts sweepwell on the script with the sandbox's data folder; its output is thrown away.
  pid_t Start() {
    std::vector<std::string> env = {"HOME=" + box.Home(), "XDG_DATA_HOME=" + box.DataHome(),
                                    "LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin"};
    std::vector<char*> env_pointers;
    for (std::string& e : env) env_pointers.push_back(e.data());
    env_pointers.push_back(nullptr);
    std::string program = SWEEPWELL_BINARY;
    std::vector<char*> argv = {program.data(), script_.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int result =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
  }

  // Waits until the log is `bytes` longer than `start` or the run has ended (true: ended).
  bool WaitForLogGrowth(int watch_fd, off_t start, off_t bytes, pid_t pid, int* status) {
    for (;;) {
      if (waitpid(pid, status, WNOHANG) == pid) return true;
      if (SizeOf(box.LogPath()) >= start + bytes) return false;
      // The timeout only re-checks whether the run ended without writing (it never should).
      struct pollfd wait_for = {watch_fd, POLLIN, 0};
      if (poll(&wait_for, 1, 100) > 0) {
        char events[4096];
        if (read(watch_fd, events, sizeof events) < 0) {
          // Nothing to read yet (a spurious wake); the size is looked at again anyway.
        }
      }
    }
  }

  Sandbox box;
  std::string tree_;
  std::string script_;
  bool mixed_ = false;
};

void KillTest::KillRepeatedly(int signal_number) {
  std::mt19937 random(std::random_device{}());
  const auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  int kills = 0, completed = 0;
  MakeTree();
  while (std::chrono::steady_clock::now() < budget && kills < 60) {
    if (!fs::exists(tree_)) MakeTree();
    const std::set<std::string> before = Entries(tree_);
    const off_t log_start = SizeOf(box.LogPath());

    int watch_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch_fd, 0);
    ASSERT_GE(inotify_add_watch(watch_fd, box.LogPath().c_str(), IN_MODIFY), 0);
    pid_t pid = Start();
    ASSERT_GT(pid, 0);
    int status = 0;
    // A run writes a line of about the path's length and 15 bytes more for each entry left.
    const off_t whole_run = static_cast<off_t>(before.size() * (tree_.size() + 25));
    const off_t growth = std::uniform_int_distribution<off_t>(0, whole_run)(random);
    bool ended = WaitForLogGrowth(watch_fd, log_start, growth, pid, &status);
    close(watch_fd);
    if (!ended) {
      usleep(std::uniform_int_distribution<useconds_t>(0, 1000)(random));
      kill(pid, signal_number);
      waitpid(pid, &status, 0);
    }
    if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 130)) {
      ++kills;
    } else {
      ++completed;
    }

    const std::string added = ReadFrom(box.LogPath(), log_start);
    // A killed write stops only between two pages of the file (the kernel looks for a fatal
    // signal before it copies each page), so a line may be cut only where it crosses a page
    // boundary; the next run then starts with a line end (tested with the log's own tests).
    const off_t log_end = SizeOf(box.LogPath());
    ASSERT_TRUE(added.empty() || added.back() == '\n' || log_end % 4096 == 0)
        << "line cut inside a page after kill " << kills << " at offset " << log_end << ": "
        << added.substr(added.rfind('\n') + 1);
    std::set<std::string> named, named_gone;
    for (const std::string& line : SplitLines(added)) {
      size_t mark = line.find("  :: ");
      if (mark == std::string::npos) continue;
      named.insert(line.substr(0, mark));
      if (line.find("  [", mark) == std::string::npos) named_gone.insert(line.substr(0, mark));
    }
    const std::set<std::string> after = Entries(tree_);
    if (signal_number != SIGKILL) {
      // A run that could stop itself took back the lines of what it did not delete.
      for (const std::string& entry : named_gone) {
        ASSERT_EQ(after.count(entry), 0u) << entry << " has a line and is still there";
      }
    }
    std::vector<std::string> unnamed;
    for (const std::string& entry : before) {
      if (after.count(entry) == 0 && named.count(entry) == 0) unnamed.push_back(entry);
    }
    // Every line of an entry that goes for good reaches the log before the entry goes.
    ASSERT_TRUE(unnamed.empty()) << "gone without a line: " << unnamed[0] << " and "
                                 << unnamed.size() - 1 << " more";
  }
  std::printf("kills: %d, runs to the end: %d\n", kills, completed);
  EXPECT_GE(kills, 5);
}

TEST_F(KillTest, EveryFinishedLineIsLoggedAndNothingGoesUnnamed) { KillRepeatedly(SIGKILL); }

TEST_F(KillTest, ReadOnlyFilesFoldersAndLinksNeverGoUnnamed) {
  mixed_ = true;
  KillRepeatedly(SIGKILL);
}

TEST_F(KillTest, StopSignalLeavesExactlyWhatTheLinesSay) {
  mixed_ = true;
  KillRepeatedly(SIGTERM);
}

}  // namespace
}  // namespace sweepwell_test
