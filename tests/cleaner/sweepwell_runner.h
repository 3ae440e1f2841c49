// Runs the real sweepwell program on scripts in a private sandbox and reads what it left: its
// standard output and error, its exit status, the lines it added to the month's log and the
// files on disk.
//
// A sandbox is a fresh folder made with mkdtemp below $TMPDIR (or /tmp) holding "data" (the
// program's XDG_DATA_HOME: log and trash), "home" (its HOME) and "work" (where tests build
// their trees). Every run gets standard input from /dev/null, LC_ALL=C.UTF-8 (no LANG or
// LANGUAGE: the program's own Russian texts), SWEEPWELL_LOCALEDIR at the build tree's
// catalogues and the sandbox's HOME and XDG_DATA_HOME, so nothing reaches the real home or
// trash.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sweepwell_test {

struct RunResult {
  int exit_code = -1;  // exit status; 128 + the signal when a signal ended it; -1 not started
  std::string out;     // standard output
  std::string err;     // standard error
  std::string log;     // what this run added to the month's log

  std::vector<std::string> OutLines() const;
  std::vector<std::string> LogLines() const;
};

// The numbers of a totals block ("Всего удалено файлов:  N  [осталось: M]" ...).
struct Totals {
  bool found = false;
  int64_t files_deleted = -1, files_left = -1;
  int64_t folders_deleted = -1, folders_left = -1;
  int64_t links_deleted = -1, links_left = -1;
  int64_t bytes_freed = -1, bytes_left = -1;
};

// The last totals block in `text`; `found` is false when there is none.
Totals ParseTotals(std::string_view text);

// How many totals blocks `text` holds.
int CountTotalsBlocks(std::string_view text);

// `text` cut at "\n" (a last unterminated piece is a line too).
std::vector<std::string> SplitLines(std::string_view text);

// The lines of an output that report entries or headings: without empty lines and without the
// lines of the totals block.
std::vector<std::string> EntryLines(std::string_view text);

// A script line that assigns `value` to the cleaner's `member`, quoted as scripts quote
// ("" for each quote).
std::string Assign(std::string_view member, std::string_view value);
// Switches the recycle bin off: the usual first line of a test script.
inline constexpr char kPermanently[] = "cleaner.delete-to-recycle-bin = False\n";

// The lines the cleaner writes for one entry (without an error bracket).
std::string FileLine(const std::string& path, uint64_t size);
std::string DirLine(const std::string& path);
std::string JunctionLine(const std::string& path);
// The bracket that ends the line of a failed entry.
inline constexpr char kFileNotFound[] = "  [Файл не найден]";
inline constexpr char kPathNotFound[] = "  [Путь не найден]";
inline constexpr char kAccessDenied[] = "  [Отказано в доступе]";

// A file and its size, for building trees.
struct FileSpec {
  std::string name;
  size_t size = 0;
};

class Sandbox {
 public:
  Sandbox();   // a failure to make the folders fails the test that uses it
  ~Sandbox();  // clears immutable flags it set, unmounts its fast folder, then rm -rf
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& Root() const { return root_; }
  // Root/work, or Root/work/relative.
  std::string Work(std::string_view relative = {}) const;
  std::string DataHome() const { return root_ + "/data"; }
  std::string Home() const { return root_ + "/home"; }
  std::string TrashFiles() const { return DataHome() + "/Trash/files"; }
  // The log file of the current month.
  std::string LogPath() const;
  std::string ScriptPath() const { return root_ + "/script.loom"; }

  // An environment variable for every later run (and for RunTool).
  void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }

  // Later runs are killed after so many seconds (and fail the test); 120 by default.
  void SetTimeout(int seconds) { timeout_seconds_ = seconds; }

  // Later runs start with `signal_number` blocked and already pending, as when a parent sent
  // it before the program could take it; 0 for none (the default).
  void StartWithPendingSignal(int signal_number) { pending_signal_ = signal_number; }

  // Writes `script` to ScriptPath() and runs "sweepwell [switches...] ScriptPath()".
  RunResult RunScript(std::string_view script, const std::vector<std::string>& switches = {});
  // Runs sweepwell with exactly these arguments (current folder: Root()).
  RunResult Run(const std::vector<std::string>& arguments);
  // Runs another program (found through PATH) in the same environment; `log` stays empty.
  RunResult RunTool(const std::vector<std::string>& command);

  // A sweepwell started and not yet waited for: for runs that must overlap or be killed.
  struct Started {
    int pid = -1;
    std::string out_path, err_path;
    long long log_start = 0;
    bool read_log = true;
  };
  // Starts "sweepwell arguments..." as Run does, without waiting; each start has its own
  // standard output and error files.
  Started Start(const std::vector<std::string>& arguments);
  // Waits for a started program (the timeout counts from now) and reads what it left.
  RunResult Wait(const Started& started);

  // Tree building; paths are absolute and missing parents are made. Failures fail the test.
  void MakeFolder(const std::string& path);
  void MakeFile(const std::string& path, size_t size = 0);
  void WriteText(const std::string& path, std::string_view text);
  // A symbolic link to a folder: what the cleaner treats as a junction.
  void MakeLink(const std::string& path, const std::string& target);
  // Sets last write and last access times to so many days before now (negative: future).
  void SetAges(const std::string& path, double write_days_ago, double access_days_ago);
  // chattr +i; false when that is impossible here (not root, no support); the flag is taken
  // off again by the destructor.
  bool MakeImmutable(const std::string& path);

  // A folder for big or deep trees: a tmpfs mounted in the sandbox when the test runs as root
  // (making and removing 100 000 folders on a disk takes minutes), else a plain folder.
  std::string FastFolder();
  // Mounts a small tmpfs on the folder `path` (made when missing); false when that is
  // impossible here (not root). Unmounted by the destructor.
  bool MountTmpfs(const std::string& path, const std::string& size = "1g");

  // Makes `levels` nested folders named `name` below `base` (base/name/name/...), walking with
  // folder handles so the depth is not limited by the path length, and the files of `bottom`
  // in the deepest one.
  void MakeChain(const std::string& base, int levels, const std::string& name,
                 const std::vector<FileSpec>& bottom = {});
  // How many nested `name` folders are below `base`, and the names in the deepest one.
  int ChainDepth(const std::string& base, const std::string& name,
                 std::vector<std::string>* bottom_names = nullptr) const;

  // Whether the entry exists (a link counts itself, not its target); works past PATH_MAX.
  bool Exists(const std::string& path) const;
  bool IsFolder(const std::string& path) const;  // a real folder, not a link
  // The names in a folder, sorted, without "." and "..".
  std::vector<std::string> List(const std::string& path) const;

 private:
  RunResult Spawn(const std::vector<std::string>& argv, bool read_log);
  Started StartChild(const std::vector<std::string>& argv, bool read_log);
  std::vector<std::string> Environment() const;

  std::string root_;
  std::map<std::string, std::string> env_;
  std::vector<std::string> immutable_;
  std::vector<std::string> mounts_;
  int timeout_seconds_ = 120;
  int started_ = 0;  // programs started so far: names their output files
  int pending_signal_ = 0;
};

}  // namespace sweepwell_test
