#include "cleaner/sweepwell_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace sweepwell_test {

namespace {

std::string ReadWholeFile(const std::string& path, off_t from = 0) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  if (from > 0) lseek(fd, from, SEEK_SET);
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

off_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Runs a helper program to its end (for chattr and rm); true when it exited with 0.
bool RunQuietly(const std::vector<std::string>& argv) {
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, STDIN_FILENO);
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Splits an absolute path into its names.
std::vector<std::string> PathNames(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// Opens the folder that holds the last name of `path`, one name at a time (so a path longer
// than PATH_MAX works); -1 when a folder on the way is missing. *last gets the last name.
int OpenParent(const std::string& path, std::string* last) {
  std::vector<std::string> names = PathNames(path);
  if (names.empty()) return -1;
  *last = names.back();
  names.pop_back();
  int fd = open(path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (const std::string& name : names) {
    if (fd < 0) return -1;
    int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  return fd;
}

bool IsTotalsLine(std::string_view line) {
  for (std::string_view prefix : {"Всего удалено", "Освобождено на дисках", "Текущая дата",
                                  "Текущее время", "Процесс занял"}) {
    if (line.starts_with(prefix)) return true;
  }
  return false;
}

// The two numbers of a totals line "LABEL N[ bytes]  [осталось: M[ bytes]]"; blanks inside a
// number group its digits.
bool ParseTotalsLine(std::string_view line, int64_t* first, int64_t* second) {
  size_t colon = line.find(':');
  size_t left = line.find("[осталось: ");
  if (colon == std::string_view::npos || left == std::string_view::npos) return false;
  auto number = [](std::string_view text, int64_t* value) {
    std::string digits;
    bool negative = false;
    for (char c : text) {
      if (c == '-' && digits.empty()) negative = true;
      if (c >= '0' && c <= '9') digits += c;
      if (c == 'b' || c == ']') break;
    }
    if (digits.empty()) return false;
    *value = std::stoll(digits) * (negative ? -1 : 1);
    return true;
  };
  return number(line.substr(colon + 1, left - colon - 1), first) &&
         number(line.substr(left + std::strlen("[осталось: ")), second);
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> EntryLines(std::string_view text) {
  std::vector<std::string> lines;
  for (std::string& line : SplitLines(text)) {
    if (!line.empty() && !IsTotalsLine(line)) lines.push_back(std::move(line));
  }
  return lines;
}

std::string Assign(std::string_view member, std::string_view value) {
  std::string line = "cleaner.";
  line += member;
  line += " = \"";
  for (char c : value) {
    line += c;
    if (c == '"') line += '"';
  }
  line += "\"\n";
  return line;
}

std::string FileLine(const std::string& path, uint64_t size) {
  // Digits are grouped by threes with a blank, as the totals group them.
  std::string digits = std::to_string(size), grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
    grouped += digits[i];
  }
  return path + "  :: " + grouped + " bytes";
}

std::string DirLine(const std::string& path) { return path + "  :: DIR"; }

std::string JunctionLine(const std::string& path) { return path + "  :: Junction"; }

std::vector<std::string> RunResult::OutLines() const { return SplitLines(out); }
std::vector<std::string> RunResult::LogLines() const { return SplitLines(log); }

Totals ParseTotals(std::string_view text) {
  Totals totals;
  for (const std::string& line : SplitLines(text)) {
    if (line.starts_with("Всего удалено файлов:")) {
      totals = Totals();
      totals.found = ParseTotalsLine(line, &totals.files_deleted, &totals.files_left);
    } else if (line.starts_with("Всего удалено папок:")) {
      totals.found &= ParseTotalsLine(line, &totals.folders_deleted, &totals.folders_left);
    } else if (line.starts_with("Всего удалено ссылок:")) {
      totals.found &= ParseTotalsLine(line, &totals.links_deleted, &totals.links_left);
    } else if (line.starts_with("Освобождено на дисках:")) {
      totals.found &= ParseTotalsLine(line, &totals.bytes_freed, &totals.bytes_left);
    }
  }
  return totals;
}

int CountTotalsBlocks(std::string_view text) {
  int count = 0;
  for (const std::string& line : SplitLines(text))
    count += line.starts_with("Всего удалено файлов:");
  return count;
}

Sandbox::Sandbox() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sweepwell-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
    return;
  }
  root_ = pattern;
  MakeFolder(DataHome());
  MakeFolder(Home());
  MakeFolder(Work());
}

Sandbox::~Sandbox() {
  if (root_.empty()) return;
  for (const std::string& path : immutable_) RunQuietly({"chattr", "-i", path});
  for (auto m = mounts_.rbegin(); m != mounts_.rend(); ++m) umount2(m->c_str(), MNT_DETACH);
  if (!RunQuietly({"rm", "-rf", "--", root_})) ADD_FAILURE() << "rm -rf " << root_ << " failed";
}

std::string Sandbox::Work(std::string_view relative) const {
  std::string path = root_ + "/work";
  if (!relative.empty()) (path += '/') += relative;
  return path;
}

std::string Sandbox::LogPath() const {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char name[64];
  std::snprintf(name, sizeof name, "Sweep %04d-%02d.LOG", local.tm_year + 1900, local.tm_mon + 1);
  return DataHome() + "/Greyfen Works/Sweep Well/" + name;
}

std::vector<std::string> Sandbox::Environment() const {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string_view entry(*e);
    size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    vars[std::string(entry.substr(0, eq))] = std::string(entry.substr(eq + 1));
  }
  vars.erase("LANG");
  vars.erase("LANGUAGE");
  vars["LC_ALL"] = "C.UTF-8";
  // The build tree's catalogues: a test that asks for another language gets it from there.
  vars["SWEEPWELL_LOCALEDIR"] = SWEEPWELL_TEST_LOCALEDIR;
  vars["HOME"] = Home();
  vars["XDG_DATA_HOME"] = DataHome();
  for (const auto& [name, value] : env_) vars[name] = value;
  std::vector<std::string> list;
  for (const auto& [name, value] : vars) list.push_back(name + "=" + value);
  return list;
}

RunResult Sandbox::RunScript(std::string_view script, const std::vector<std::string>& switches) {
  WriteText(ScriptPath(), script);
  std::vector<std::string> arguments = switches;
  arguments.push_back(ScriptPath());
  return Run(arguments);
}

RunResult Sandbox::Run(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {SWEEPWELL_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Spawn(argv, true);
}

RunResult Sandbox::RunTool(const std::vector<std::string>& command) {
  return Spawn(command, false);
}

Sandbox::Started Sandbox::Start(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {SWEEPWELL_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return StartChild(argv, true);
}

RunResult Sandbox::Spawn(const std::vector<std::string>& argv, bool read_log) {
  return Wait(StartChild(argv, read_log));
}

Sandbox::Started Sandbox::StartChild(const std::vector<std::string>& argv, bool read_log) {
  Started started;
  if (root_.empty()) return started;
  const std::string run_name = root_ + "/run" + std::to_string(++started_);
  std::string out_path = run_name + ".stdout", err_path = run_name + ".stderr";
  started.out_path = out_path;
  started.err_path = err_path;
  started.read_log = read_log;
  std::string log_path = LogPath();
  started.log_start = FileSize(log_path);
  // Everything the child needs is prepared before fork.
  std::vector<std::string> env = Environment();
  std::vector<char*> env_pointers, arg_pointers;
  for (std::string& e : env) env_pointers.push_back(e.data());
  env_pointers.push_back(nullptr);
  std::vector<std::string> args = argv;
  for (std::string& a : args) arg_pointers.push_back(a.data());
  arg_pointers.push_back(nullptr);
  std::string program = argv[0];
  if (program.find('/') == std::string::npos) {
    for (std::string_view folder : {"/usr/local/bin/", "/usr/bin/", "/bin/"}) {
      if (access((std::string(folder) + argv[0]).c_str(), X_OK) == 0) {
        program = std::string(folder) + argv[0];
        break;
      }
    }
  }
  int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0 || err < 0) {
    ADD_FAILURE() << "cannot open the run's standard files in " << root_;
    return started;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (chdir(root_.c_str()) != 0) _exit(126);
#ifndef __SANITIZE_ADDRESS__
    // A runaway program (an endless walk) fails its test instead of exhausting the machine.
    // (AddressSanitizer reserves far more address space than this at start, so a sanitized
    // build relies on the run's timeout alone.)
    struct rlimit memory {};
    memory.rlim_cur = memory.rlim_max = 4ull << 30;
    setrlimit(RLIMIT_AS, &memory);
#endif
    // The child starts as a fresh program would, whatever the test process blocks or ignores.
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    if (pending_signal_ != 0) sigaddset(&mask, pending_signal_);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (pending_signal_ != 0) kill(getpid(), pending_signal_);
    execve(program.c_str(), arg_pointers.data(), env_pointers.data());
    _exit(127);
  }
  close(in);
  close(out);
  close(err);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return started;
  }
  started.pid = pid;
  return started;
}

RunResult Sandbox::Wait(const Started& started) {
  RunResult result;
  const pid_t pid = started.pid;
  if (pid < 0) return result;
  int status = 0;
  // A hanging program must fail its test, not the whole suite's time limit.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds_);
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "a program ran longer than " << timeout_seconds_ << " s; killed";
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadWholeFile(started.out_path);
  result.err = ReadWholeFile(started.err_path);
  // Only a real file: a test may put a device such as /dev/full in the log's place.
  const std::string log_path = LogPath();
  if (started.read_log && IsRegularFile(log_path)) {
    result.log = ReadWholeFile(log_path, static_cast<off_t>(started.log_start));
  }
  return result;
}

void Sandbox::MakeFolder(const std::string& path) {
  std::string partial;
  for (const std::string& name : PathNames(path)) {
    partial += "/" + name;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      ADD_FAILURE() << "mkdir " << partial << ": " << std::strerror(errno);
      return;
    }
  }
}

void Sandbox::MakeFile(const std::string& path, size_t size) {
  WriteText(path, std::string(size, 'x'));
}

void Sandbox::WriteText(const std::string& path, std::string_view text) {
  MakeFolder(path.substr(0, path.rfind('/')));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    ADD_FAILURE() << "create " << path << ": " << std::strerror(errno);
    return;
  }
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ADD_FAILURE() << "write " << path << ": " << std::strerror(errno);
  }
  close(fd);
}

void Sandbox::MakeLink(const std::string& path, const std::string& target) {
  MakeFolder(path.substr(0, path.rfind('/')));
  if (symlink(target.c_str(), path.c_str()) != 0) {
    ADD_FAILURE() << "symlink " << path << ": " << std::strerror(errno);
  }
}

void Sandbox::SetAges(const std::string& path, double write_days_ago, double access_days_ago) {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  auto back = [&now](double days) {
    double seconds = static_cast<double>(now.tv_sec) - days * 86400.0;
    struct timespec t {};
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = 0;
    return t;
  };
  struct timespec times[2] = {back(access_days_ago), back(write_days_ago)};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    ADD_FAILURE() << "utimensat " << path << ": " << std::strerror(errno);
  }
}

bool Sandbox::MakeImmutable(const std::string& path) {
  if (geteuid() != 0) return false;
  if (!RunQuietly({"chattr", "+i", path})) return false;
  immutable_.push_back(path);
  return true;
}

std::string Sandbox::FastFolder() {
  std::string path = root_ + "/fast";
  if (std::find(mounts_.begin(), mounts_.end(), path) == mounts_.end()) MountTmpfs(path);
  return path;
}

bool Sandbox::MountTmpfs(const std::string& path, const std::string& size) {
  MakeFolder(path);
  const std::string options = "size=" + size;
  if (geteuid() != 0 || mount("sweepwell-test", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    return false;
  }
  mounts_.push_back(path);
  return true;
}

void Sandbox::MakeChain(const std::string& base, int levels, const std::string& name,
                        const std::vector<FileSpec>& bottom) {
  MakeFolder(base);
  int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < levels && fd >= 0; ++i) {
    if (mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) {
      ADD_FAILURE() << "mkdir at level " << i << ": " << std::strerror(errno);
    }
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  if (fd < 0) {
    ADD_FAILURE() << "cannot walk down the chain below " << base;
    return;
  }
  for (const FileSpec& file : bottom) {
    int f = openat(fd, file.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::string bytes(file.size, 'x');
    if (f < 0 || write(f, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      ADD_FAILURE() << "cannot write " << file.name << " at the bottom of the chain";
    }
    if (f >= 0) close(f);
  }
  close(fd);
}

int Sandbox::ChainDepth(const std::string& base, const std::string& name,
                        std::vector<std::string>* bottom_names) const {
  int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int depth = 0;
  for (;;) {
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) break;
    close(fd);
    fd = next;
    ++depth;
  }
  if (bottom_names != nullptr) {
    bottom_names->clear();
    if (DIR* dir = fdopendir(dup(fd))) {
      while (dirent* e = readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") bottom_names->push_back(n);
      }
      closedir(dir);
    }
    std::sort(bottom_names->begin(), bottom_names->end());
  }
  close(fd);
  return depth;
}

bool Sandbox::Exists(const std::string& path) const {
  std::string last;
  int fd = OpenParent(path, &last);
  if (fd < 0) return false;
  struct stat st {};
  bool found = fstatat(fd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  close(fd);
  return found;
}

bool Sandbox::IsFolder(const std::string& path) const {
  std::string last;
  int fd = OpenParent(path, &last);
  if (fd < 0) return false;
  struct stat st {};
  bool folder = fstatat(fd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
  close(fd);
  return folder;
}

std::vector<std::string> Sandbox::List(const std::string& path) const {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace sweepwell_test
