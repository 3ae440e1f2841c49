// The recycle bin on Linux: the freedesktop.org trash (version 1.0).
//
// A trashed entry gets its .trashinfo record in info/ first (created exclusively, so two
// cleaners never share a record), then moves by rename into files/ under the same name. The
// rename is the only step that moves data: a file is never copied and never unlinked here, so an
// entry that cannot be renamed within its own device simply stays where it was.
//
// Where the trash is:
// - the home trash $XDG_DATA_HOME/Trash for entries on the device of the data folder (its
//   Path= is absolute);
// - else, on the top folder of the entry's mount, $topdir/.Trash/$uid when .Trash is a real
//   sticky folder, otherwise $topdir/.Trash-$uid (Path= relative to $topdir).
//
// Name collisions: the trash name is the entry's name, then "NAME.2", "NAME.3"... — the suffix
// goes at the very end so that the original name stays readable as it was. Restore tools read
// the original name from Path=, not from the trash name.
#include "platform/trash.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/posix/trash_internal.h"

namespace platform {
namespace trash {

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Mount points in mountinfo escape blank, tab, newline and backslash as \ooo.
std::string DecodeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// Backs `length` off so that a cut there does not fall inside a UTF-8 sequence. Bytes that are
// not UTF-8 are cut where asked.
size_t Utf8CutPoint(std::string_view text, size_t length) {
  if (length >= text.size()) return text.size();
  for (size_t cut = length; cut > 0 && length - cut <= 3; --cut) {
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) return cut;
  }
  return length;
}

}  // namespace

std::string PercentEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char ch : path) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c) || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string PercentDecodePath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TrashInfoText(std::string_view encoded_path, const std::tm& local_time) {
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local_time);
  std::string text = "[Trash Info]\nPath=";
  text += encoded_path;
  text += "\nDeletionDate=";
  text += date;
  text += '\n';
  return text;
}

std::string TrashEntryName(std::string_view name, int attempt) {
  std::string suffix = attempt > 1 ? std::string(".") + std::to_string(attempt) : std::string();
  if (name.size() + suffix.size() <= kMaxTrashNameLength) return std::string(name) + suffix;

  // Keep a short extension so the shortened entry still opens with the right program.
  static constexpr size_t kLongestKeptExtension = 32;
  std::string_view stem = name;
  std::string_view extension;
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension) {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
  size_t room = kMaxTrashNameLength - extension.size() - suffix.size();
  std::string out(stem.substr(0, Utf8CutPoint(stem, room)));
  out += extension;
  out += suffix;
  return out;
}

std::vector<std::string> ParseMountPoints(std::string_view mountinfo) {
  // Each line: ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS ...; fields split on blanks.
  std::vector<std::string> points;
  size_t start = 0;
  while (start < mountinfo.size()) {
    size_t end = mountinfo.find('\n', start);
    if (end == std::string_view::npos) end = mountinfo.size();
    std::string_view line = mountinfo.substr(start, end - start);
    start = end + 1;
    size_t pos = 0;
    for (int field = 0; field < 4 && pos != std::string_view::npos; ++field) {
      pos = line.find(' ', pos);
      if (pos != std::string_view::npos) ++pos;
    }
    if (pos == std::string_view::npos || pos >= line.size()) continue;
    size_t stop = line.find(' ', pos);
    if (stop == std::string_view::npos) stop = line.size();
    points.push_back(DecodeMountField(line.substr(pos, stop - pos)));
  }
  return points;
}

std::string LongestMountPrefix(std::string_view absolute_path,
                               const std::vector<std::string>& mount_points) {
  std::string best;
  bool found = false;
  for (const std::string& point : mount_points) {
    bool contains = point == "/" ||
                    (absolute_path.starts_with(point) &&
                     (absolute_path.size() == point.size() || absolute_path[point.size()] == '/'));
    if (contains && (!found || point.size() >= best.size())) {
      best = point;
      found = true;
    }
  }
  return best;
}

std::string CleanAbsolutePath(std::string_view path) {
  std::string out;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view part = path.substr(pos, slash - pos);
    if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    pos = slash + 1;
  }
  return out.empty() ? "/" : out;
}

}  // namespace trash

namespace {

// An open folder of the trash's own; a failed open (-1) gives a closed one with errno kept.
Folder Held(int fd) {
  const int cause = errno;
  Folder folder = posix::AdoptFd(fd, {});
  errno = cause;
  return folder;
}

int FdOf(const Folder& folder) { return posix::FdOf(folder); }

// The two folders of one trash, and how the entry's original location is written in it.
struct TrashTarget {
  Folder files;
  Folder info;
  std::string record_path;  // not yet encoded
  std::string folder_path;  // the trash folder, absolute
  std::string entry_path;   // absolute: where record_path leads
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens the folder `name` of `parent`, making it (with `mode`) when it is missing. With
// `no_links`, a symbolic link in its place is refused instead of followed.
Folder OpenOrMakeFolder(int parent, const char* name, mode_t mode, bool no_links) {
  int flags = kFolderFlags | (no_links ? O_NOFOLLOW : 0);
  int fd = openat(parent, name, flags);
  if (fd < 0 && errno == ENOENT) {
    if (mkdirat(parent, name, mode) != 0 && errno != EEXIST) return Held(-1);
    fd = openat(parent, name, flags);
  }
  return Held(fd);
}

// mkdir -p with 0700 for every folder it makes (the data folder is private to the user).
void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0700);
  }
  mkdir(path.c_str(), 0700);
}

// Opens files/ and info/ of an opened trash folder; both must be on `device`, so that the
// rename into files/ never crosses devices.
uint32_t OpenTrashFolders(int trash, dev_t device, bool no_links, TrashTarget* target) {
  target->files = OpenOrMakeFolder(trash, "files", 0700, no_links);
  if (!target->files.IsOpen()) return ErrorFromErrno(errno);
  target->info = OpenOrMakeFolder(trash, "info", 0700, no_links);
  if (!target->info.IsOpen()) return ErrorFromErrno(errno);
  struct stat files_stat, info_stat;
  if (fstat(FdOf(target->files), &files_stat) != 0 || fstat(FdOf(target->info), &info_stat) != 0) {
    return ErrorFromErrno(errno);
  }
  if (files_stat.st_dev != device || info_stat.st_dev != device) return ErrorFromErrno(EXDEV);
  return error::kSuccess;
}

// The home trash's data folder and its device, kept between calls: a cleaner run trashes
// thousands of entries and the data folder does not move under it. Keyed by the folder's name
// so that a changed $XDG_DATA_HOME is noticed.
struct HomeTrashCache {
  std::string data_folder;
  dev_t device = 0;
};

std::mutex cache_mutex;
HomeTrashCache home_cache;
// Next collision attempt to try per trash info/ folder and name: trashing many entries of the
// same name (Thumbs.db in every folder) would otherwise probe 1, 2, 3... again each time. A
// folder is known by device and inode, which a trash emptied by removal and made again can
// get back, so a hint counts only while the record it was learnt from is still there
// (HintStillHolds).
std::unordered_map<std::string, int> attempt_hints;

// True when the record of the name before `attempt` is still in `info`: the hint that names
// `attempt` was learnt in this very folder and nothing has taken the names below it away.
// When that record is gone (the trash was emptied, restored from, or made again), the lower
// names may be free and the search starts over from the first.
bool HintStillHolds(int info, const std::string& name, int attempt) {
  if (attempt <= 1) return true;
  const std::string previous = trash::TrashEntryName(name, attempt - 1) + ".trashinfo";
  struct stat seen;
  return fstatat(info, previous.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0;
}

// Finds the data folder's device, making the folder when missing. False when there is no data
// folder to be had (no $HOME, or it cannot be made).
bool HomeDataDevice(std::string* data_folder, dev_t* device) {
  std::string data = GetUserDataFolder();
  if (data.empty()) return false;
  data = AbsolutePath(data);
  {
    std::lock_guard lock(cache_mutex);
    if (!home_cache.data_folder.empty() && home_cache.data_folder == data) {
      *data_folder = data;
      *device = home_cache.device;
      return true;
    }
  }
  struct stat st;
  if (stat(data.c_str(), &st) != 0) {
    MakeFolders(data);
    if (stat(data.c_str(), &st) != 0) return false;
  }
  std::lock_guard lock(cache_mutex);
  home_cache.data_folder = data;
  home_cache.device = st.st_dev;
  *data_folder = data;
  *device = st.st_dev;
  return true;
}

uint32_t OpenHomeTrash(const std::string& data_folder, dev_t device, TrashTarget* target) {
  Folder data = Held(open(data_folder.c_str(), kFolderFlags));
  if (!data.IsOpen() && errno == ENOENT) {  // removed since it was cached
    MakeFolders(data_folder);
    data = Held(open(data_folder.c_str(), kFolderFlags));
  }
  if (!data.IsOpen()) return ErrorFromErrno(errno);
  Folder trash = OpenOrMakeFolder(FdOf(data), "Trash", 0700, false);
  if (!trash.IsOpen()) return ErrorFromErrno(errno);
  target->folder_path = trash::CleanAbsolutePath(data_folder + "/Trash");
  return OpenTrashFolders(FdOf(trash), device, false, target);
}

}  // namespace

std::string trash::ReadMountInfo() {
  const int opened = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  std::string text;
  if (opened < 0) return text;
  const File fd = File::Adopt(opened, 0, {});
  char buffer[16384];
  for (;;) {
    ssize_t n = read(opened, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

namespace {

// The real location of an open folder, from the kernel; empty when unknown.
std::string RealFolderPath(int folder) {
  std::string link = "/proc/self/fd/" + std::to_string(folder);
  char buffer[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer) || buffer[0] != '/') return "";
  return std::string(buffer, static_cast<size_t>(n));
}

// A trash folder below a mount's top folder is only trusted when it is a real folder of ours
// on the entry's device: anything else could hand our files to someone else or off the device.
bool IsOurFolderOn(int fd, dev_t device) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && st.st_dev == device;
}

uint32_t OpenTopDirTrash(int folder, std::string_view name, dev_t device,
                         const std::string& absolute_path, TrashTarget* target) {
  std::vector<std::string> mounts = trash::ParseMountPoints(trash::ReadMountInfo());

  // The path as the user named it may pass through links to another device; the kernel's view
  // of the folder is the fallback.
  std::vector<std::string> candidates = {absolute_path};
  std::string real_folder = RealFolderPath(folder);
  if (!real_folder.empty()) {
    candidates.push_back(trash::CleanAbsolutePath(real_folder + "/" + std::string(name)));
  }
  std::string top, entry_path;
  for (const std::string& candidate : candidates) {
    std::string point = trash::LongestMountPrefix(candidate, mounts);
    struct stat st;
    if (!point.empty() && stat(point.c_str(), &st) == 0 && st.st_dev == device) {
      top = point;
      entry_path = candidate;
      break;
    }
  }
  if (top.empty()) return ErrorFromErrno(EXDEV);
  // The entry is the mount itself (a bind-mounted file): it cannot leave its mount point.
  if (entry_path.size() <= top.size() + (top == "/" ? 0 : 1)) return ErrorFromErrno(EBUSY);

  Folder top_fd = Held(open(top.c_str(), kFolderFlags));
  if (!top_fd.IsOpen()) return ErrorFromErrno(errno);
  target->record_path = entry_path.substr(top == "/" ? 1 : top.size() + 1);
  target->entry_path = entry_path;
  std::string uid = std::to_string(getuid());
  const std::string top_slash = top == "/" ? top : top + "/";

  // $topdir/.Trash/$uid: only inside a real (not linked) sticky folder, where other users
  // cannot remove or replace our folder.
  Folder shared = Held(openat(FdOf(top_fd), ".Trash", kFolderFlags | O_NOFOLLOW));
  struct stat shared_stat;
  if (shared.IsOpen() && fstat(FdOf(shared), &shared_stat) == 0 &&
      (shared_stat.st_mode & S_ISVTX) && shared_stat.st_dev == device) {
    Folder own = OpenOrMakeFolder(FdOf(shared), uid.c_str(), 0700, true);
    if (own.IsOpen() && IsOurFolderOn(FdOf(own), device) &&
        OpenTrashFolders(FdOf(own), device, true, target) == error::kSuccess) {
      target->folder_path = top_slash + ".Trash/" + uid;
      return error::kSuccess;
    }
  }

  std::string private_name = ".Trash-" + uid;
  Folder own = OpenOrMakeFolder(FdOf(top_fd), private_name.c_str(), 0700, true);
  if (!own.IsOpen()) return ErrorFromErrno(errno);
  if (!IsOurFolderOn(FdOf(own), device)) return error::kAccessDenied;
  target->folder_path = top_slash + private_name;
  return OpenTrashFolders(FdOf(own), device, true, target);
}

// Writes the record and renames the entry in, under the first free trash name.
uint32_t MoveIntoTrash(int folder, const std::string& name, const TrashTarget& target,
                       TrashMove* move) {
  time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const std::string text =
      trash::TrashInfoText(trash::PercentEncodePath(target.record_path), local);

  struct stat info_stat;
  if (fstat(FdOf(target.info), &info_stat) != 0) return ErrorFromErrno(errno);
  const std::string hint_key =
      std::to_string(info_stat.st_dev) + ":" + std::to_string(info_stat.st_ino) + "/" + name;
  int attempt = 1;
  {
    std::lock_guard lock(cache_mutex);
    auto hint = attempt_hints.find(hint_key);
    if (hint != attempt_hints.end()) attempt = hint->second;
  }
  if (!HintStillHolds(FdOf(target.info), name, attempt)) attempt = 1;

  constexpr int kLastAttempt = 1000000;
  for (; attempt <= kLastAttempt; ++attempt) {
    const std::string trash_name = trash::TrashEntryName(name, attempt);
    const std::string info_name = trash_name + ".trashinfo";
    if (move != nullptr) {
      // The caller writes the name down before anything of it is made, so a process killed at
      // any later point leaves nothing in the trash its caller does not know of. Names taken
      // already are passed over unannounced.
      struct stat seen;
      if (fstatat(FdOf(target.info), info_name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0 ||
          fstatat(FdOf(target.files), trash_name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0) {
        continue;
      }
      move->made = {target.folder_path, trash_name, target.entry_path, date};
      if (move->before_move) move->before_move(move->made);
      if (move->refused) return error::kAccessDenied;
    }
    const int made = openat(FdOf(target.info), info_name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made < 0) {
      if (errno == EEXIST) continue;
      return ErrorFromErrno(errno);
    }
    File record = File::Adopt(made, 0, {});
    ssize_t written = write(made, text.data(), text.size());
    int write_errno = errno;
    const uint32_t closed = record.Close();
    if (written != static_cast<ssize_t>(text.size()) || closed != error::kSuccess) {
      unlinkat(FdOf(target.info), info_name.c_str(), 0);
      return ErrorFromErrno(written < 0 ? write_errno : ENOSPC);
    }

    // files/ may hold the name without a record (a crashed trasher, a manual copy).
    struct stat taken;
    if (fstatat(FdOf(target.files), trash_name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
      unlinkat(FdOf(target.info), info_name.c_str(), 0);
      continue;
    }
    int result =
        renameat2(folder, name.c_str(), FdOf(target.files), trash_name.c_str(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
      // Some file systems cannot promise "no replace"; the name was free a moment ago.
      result = renameat(folder, name.c_str(), FdOf(target.files), trash_name.c_str());
    }
    if (result == 0) {
      std::lock_guard lock(cache_mutex);
      if (attempt_hints.size() > 4096) attempt_hints.clear();
      attempt_hints[hint_key] = attempt + 1;
      return error::kSuccess;
    }
    int rename_errno = errno;
    unlinkat(FdOf(target.info), info_name.c_str(), 0);
    if (rename_errno == EEXIST) continue;
    return ErrorFromErrno(rename_errno);
  }
  return error::kAlreadyExists;
}

}  // namespace

uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name, const std::string& path,
                          TrashMove* move) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
    return error::kInvalidName;
  }
  const std::string entry_name(name);
  const int fd = posix::FdOf(folder);
  struct stat entry;
  if (fstatat(fd, entry_name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
    return ErrorFromErrno(errno);
  }
  if (S_ISDIR(entry.st_mode)) {
    // A mount point cannot move; say so before any trash is made on the mounted device.
    struct stat parent;
    if (fstat(fd, &parent) != 0) return ErrorFromErrno(errno);
    if (parent.st_dev != entry.st_dev) return ErrorFromErrno(EBUSY);
  }

  const std::string absolute = trash::CleanAbsolutePath(AbsolutePath(path));
  TrashTarget target;
  std::string data_folder;
  dev_t home_device = 0;
  uint32_t result;
  if (HomeDataDevice(&data_folder, &home_device) && home_device == entry.st_dev) {
    result = OpenHomeTrash(data_folder, entry.st_dev, &target);
    target.record_path = absolute;
    target.entry_path = absolute;
  } else {
    result = OpenTopDirTrash(fd, name, entry.st_dev, absolute, &target);
  }
  if (result != error::kSuccess) return result;
  return MoveIntoTrash(fd, entry_name, target, move);
}

uint32_t MoveToTrash(const std::string& path, TrashMove* move) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == kPathSeparator) trimmed.pop_back();
  return posix::OnParent(trimmed, [&](const Folder& parent, const std::string& name) {
    return MoveEntryToTrash(parent, name, trimmed, move);
  });
}

}  // namespace platform
