// Bringing an entry back from the freedesktop.org trash (see platform/trash.h).
//
// Every name the caller hands in is checked again here, because it comes from a file on disk
// that anything may have changed: the folder must be a trash folder of this user, the entry's
// name a plain name inside its files/, and the .trashinfo there must still say the recorded path
// and date. The entry then moves back with one rename on its own device that refuses to replace
// anything (renameat2 RENAME_NOREPLACE; where a file system cannot promise that, a hard link,
// which fails on a taken name, and the unlink of the trash name). Nothing is copied and nothing
// but the .trashinfo of a restored entry is removed.
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/posix/trash_internal.h"
#include "platform/trash.h"

namespace platform {

namespace {

// Larger than any real .trashinfo (a path of PATH_MAX bytes, each encoded as three).
constexpr off_t kLongestTrashInfo = 64 * 1024;

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    if (slash > pos) parts.push_back(path.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return parts;
}

// An absolute path in its plain form: no empty, "." or ".." components.
bool IsPlainAbsolutePath(std::string_view path) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos) return false;
  if (trash::CleanAbsolutePath(path) != path) return false;
  for (std::string_view part : Components(path)) {
    if (part == "..") return false;
  }
  return true;
}

bool IsPlainName(std::string_view name, size_t longest = NAME_MAX) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && name.size() <= longest;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The three folders of a trash that passed the checks, and the top folder its relative Path=
// lines start from (empty for the home trash).
struct OpenTrash {
  Folder files;
  Folder info;
  std::string top;
};

// Which kind of trash folder `folder` names by its place: the home trash, or one at the top of
// a mount (kTrashMissing when that is not mounted now). kNotATrash for any other folder.
TrashEntryStatus PlaceOfTrash(const std::string& folder, std::string* top, bool* shared) {
  *top = "";
  *shared = false;
  std::string data = GetUserDataFolder();
  if (!data.empty() && trash::CleanAbsolutePath(AbsolutePath(data) + "/Trash") == folder) {
    return TrashEntryStatus::kInTrash;
  }
  const std::string uid = std::to_string(getuid());
  const std::string parent = ParentOf(folder);
  if (LastNameOf(folder) == ".Trash-" + uid) {
    *top = parent;
  } else if (LastNameOf(folder) == uid && parent != "/" && LastNameOf(parent) == ".Trash") {
    *top = ParentOf(parent);
    *shared = true;
  } else {
    return TrashEntryStatus::kNotATrash;
  }
  std::vector<std::string> mounts = trash::ParseMountPoints(trash::ReadMountInfo());
  if (std::find(mounts.begin(), mounts.end(), *top) != mounts.end()) {
    return TrashEntryStatus::kInTrash;
  }
  // Not at the top of a mount: a disk that is not mounted now (its trash is not there), or a
  // folder that only bears a trash's name.
  struct stat st;
  return lstat(folder.c_str(), &st) == 0 ? TrashEntryStatus::kNotATrash
                                         : TrashEntryStatus::kTrashMissing;
}

bool IsFolderOf(const Folder& folder, uid_t owner, dev_t device) {
  struct stat st;
  return fstat(posix::FdOf(folder), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == owner &&
         st.st_dev == device;
}

TrashEntryStatus OpenTrashOf(const TrashedEntry& entry, OpenTrash* trash, uint32_t* error) {
  bool shared = false;
  if (!IsPlainAbsolutePath(entry.trash_folder) ||
      !IsPlainName(entry.name, trash::kMaxTrashNameLength)) {
    return TrashEntryStatus::kNotATrash;
  }
  TrashEntryStatus place = PlaceOfTrash(entry.trash_folder, &trash->top, &shared);
  if (place != TrashEntryStatus::kInTrash) return place;
  Folder folder = Folder::Open(entry.trash_folder, error, false);
  if (!folder.IsOpen()) {
    return *error == error::kPathNotFound ? TrashEntryStatus::kTrashMissing
                                          : TrashEntryStatus::kFailed;
  }
  struct stat st;
  if (fstat(posix::FdOf(folder), &st) != 0) {
    *error = ErrorFromErrno(errno);
    return TrashEntryStatus::kFailed;
  }
  const dev_t device = st.st_dev;
  if (!IsFolderOf(folder, getuid(), device)) return TrashEntryStatus::kNotATrash;
  if (!trash->top.empty()) {
    // As the trash itself requires: our folder on the mount's own device, and a shared .Trash
    // only when it is a real sticky folder, so no other user can have put it there.
    struct stat top_stat;
    if (stat(trash->top.c_str(), &top_stat) != 0 || top_stat.st_dev != device) {
      return TrashEntryStatus::kNotATrash;
    }
    if (shared) {
      Folder parent = Folder::Open(ParentOf(entry.trash_folder), error, false);
      struct stat parent_stat;
      if (!parent.IsOpen() || fstat(posix::FdOf(parent), &parent_stat) != 0 ||
          !(parent_stat.st_mode & S_ISVTX)) {
        return TrashEntryStatus::kNotATrash;
      }
    }
  }
  trash->files = folder.OpenEntry("files", error, false);
  trash->info = folder.OpenEntry("info", error, false);
  if (!trash->files.IsOpen() || !trash->info.IsOpen()) {
    return *error == error::kPathNotFound ? TrashEntryStatus::kGone : TrashEntryStatus::kFailed;
  }
  if (!IsFolderOf(trash->files, getuid(), device) || !IsFolderOf(trash->info, getuid(), device)) {
    return TrashEntryStatus::kNotATrash;
  }
  return TrashEntryStatus::kInTrash;
}

// The text of info/NAME.trashinfo; false with *missing when there is none, with *not_regular
// when it is no regular file. The open never waits: a FIFO or device put in its place (a
// removable disk's trash is anybody's to change) is refused (OpenRegularAt) before anything is
// read from it.
bool ReadTrashInfo(const OpenTrash& trash, const std::string& name, std::string* text,
                   bool* missing, bool* not_regular, uint32_t* error) {
  *missing = false;
  *not_regular = false;
  const std::string info_name = name + ".trashinfo";
  const File file = posix::OpenRegularAt(posix::FdOf(trash.info), info_name.c_str(),
                                  O_RDONLY | O_NOFOLLOW, 0, error);
  if (!file.IsOpen()) {
    *missing = *error == error::kFileNotFound;
    *not_regular = *error == error::kBadFileType;
    if (*not_regular) *error = ErrorFromErrno(EINVAL);
    return false;
  }
  if (file.Size() > static_cast<uint64_t>(kLongestTrashInfo)) {
    *error = ErrorFromErrno(EINVAL);
    return false;
  }
  size_t done = 0;
  text->resize(static_cast<size_t>(file.Size()));
  *error = file.ReadUpTo(0, text->data(), text->size(), &done);
  if (*error != error::kSuccess) return false;
  text->resize(done);
  return true;
}

// True when the .trashinfo text describes the entry: its Path= (relative to the mount's top in
// a top-folder trash) leads to the original path and its DeletionDate is the recorded one.
bool TrashInfoAgrees(std::string_view text, const std::string& top, const TrashedEntry& entry) {
  bool in_group = false, path_agrees = false, date_agrees = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("[")) {
      in_group = line == "[Trash Info]";
    } else if (in_group && line.starts_with("Path=")) {
      std::string path = trash::PercentDecodePath(line.substr(5));
      if (!path.starts_with('/')) {
        if (top.empty()) return false;  // the home trash keeps absolute paths only
        path = (top == "/" ? top : top + "/") + path;
      }
      path_agrees = path == entry.original_path;
    } else if (in_group && line.starts_with("DeletionDate=")) {
      date_agrees = line.substr(13) == entry.deletion_date;
    }
  }
  return path_agrees && date_agrees;
}

// *stale_record: the entry's .trashinfo is there and agrees, but its file is not (a move into
// the trash that was cut short between the two, or a tool that removed only the file).
TrashEntryStatus FindIn(const OpenTrash& trash, const TrashedEntry& entry, struct stat* file,
                        uint32_t* error, bool* stale_record) {
  *stale_record = false;
  std::string text;
  bool info_missing = false, info_not_regular = false;
  bool file_there =
      fstatat(posix::FdOf(trash.files), entry.name.c_str(), file, AT_SYMLINK_NOFOLLOW) == 0;
  if (!file_there && errno != ENOENT) {
    *error = ErrorFromErrno(errno);
    return TrashEntryStatus::kFailed;
  }
  if (!ReadTrashInfo(trash, entry.name, &text, &info_missing, &info_not_regular, error)) {
    if (info_not_regular) return TrashEntryStatus::kNotRegular;
    if (!info_missing) return TrashEntryStatus::kFailed;
    // A file without its record is not the entry we made (trash tools make the record first).
    return file_there ? TrashEntryStatus::kChanged : TrashEntryStatus::kGone;
  }
  if (!TrashInfoAgrees(text, trash.top, entry)) return TrashEntryStatus::kChanged;
  *stale_record = !file_there;
  return file_there ? TrashEntryStatus::kInTrash : TrashEntryStatus::kGone;
}

TrashEntryStatus Find(const TrashedEntry& entry, OpenTrash* trash, struct stat* file,
                      uint32_t* error, bool* stale_record) {
  *stale_record = false;
  TrashEntryStatus status = OpenTrashOf(entry, trash, error);
  if (status != TrashEntryStatus::kInTrash) return status;
  return FindIn(*trash, entry, file, error, stale_record);
}

// open_how and RESOLVE_* of openat2(2), for C libraries that do not declare them yet.
struct ResolveHow {
  uint64_t flags;
  uint64_t mode;
  uint64_t resolve;
};
constexpr uint64_t kResolveNoMagicLinks = 0x02;
constexpr uint64_t kResolveNoSymlinks = 0x04;

// False once the kernel (or a seccomp filter in front of it) has turned openat2 down.
std::atomic<bool> openat2_usable{true};

// Opens the folder `name` inside `parent` without following a link, whatever the name is now.
// openat2 refuses links of every kind, the /proc ones included; where it is missing, O_NOFOLLOW
// with O_DIRECTORY does the same for the one component that is opened.
int OpenFolderNoFollow(int parent, const std::string& name) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef SYS_openat2
  if (openat2_usable.load(std::memory_order_relaxed)) {
    ResolveHow how{static_cast<uint64_t>(kFlags), 0, kResolveNoSymlinks | kResolveNoMagicLinks};
    long fd = syscall(SYS_openat2, parent, name.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    openat2_usable.store(false, std::memory_order_relaxed);
  }
#endif
  return openat(parent, name.c_str(), kFlags);
}

// What a failed OpenFolderNoFollow of `name` met: a link (kLinkOnWay), nothing (kGone), or an
// error (kFailed with *error).
TrashEntryStatus WhyNotOpened(int parent, const std::string& name, int open_errno,
                              uint32_t* error) {
  struct stat st;
  if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    return TrashEntryStatus::kLinkOnWay;
  }
  if (open_errno == ENOENT) return TrashEntryStatus::kGone;
  *error = ErrorFromErrno(open_errno == ELOOP ? ENOTDIR : open_errno);
  return TrashEntryStatus::kFailed;
}

// Makes the folder `name` in `parent` as `state` says it was (or 0777 less the umask) and opens
// it. Made with no rights for others first, so that nobody can take it over before its mode and
// owner are set; one that someone else made or put there in between is not ours and is refused.
int MakeFolder(int parent, const std::string& name, const FolderState* state,
               TrashEntryStatus* status, uint32_t* error) {
  if (mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = ErrorFromErrno(errno);
    *status = TrashEntryStatus::kFailed;
    return -1;
  }
  int fd = OpenFolderNoFollow(parent, name);
  if (fd < 0) {
    *status = WhyNotOpened(parent, name, errno, error);
    if (*status == TrashEntryStatus::kGone) {
      *error = ErrorFromErrno(ENOENT);
      *status = TrashEntryStatus::kFailed;
    }
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_uid != geteuid()) {
    close(fd);
    *status = TrashEntryStatus::kOwnerChanged;
    return -1;
  }
  mode_t mode;
  if (state != nullptr) {
    mode = static_cast<mode_t>(state->mode & 07777);
    // Only root can give a folder to its owner again; anyone else makes it their own.
    if (geteuid() == 0 && fchown(fd, state->owner, state->group) != 0) {
      *error = ErrorFromErrno(errno);
      close(fd);
      *status = TrashEntryStatus::kFailed;
      return -1;
    }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0777 & ~mask;
  }
  if (fchmod(fd, mode) != 0) {
    *error = ErrorFromErrno(errno);
    close(fd);
    *status = TrashEntryStatus::kFailed;
    return -1;
  }
  return fd;
}

// True when `folder` belongs to another user than us or root and lies in `parent`, a sticky
// folder that anyone may write to (as /tmp): there, anyone could have made it.
bool IsSomeoneElsesInASharedFolder(int parent, int folder) {
  struct stat parent_stat, folder_stat;
  if (fstat(parent, &parent_stat) != 0 || fstat(folder, &folder_stat) != 0) return true;
  const bool shared = (parent_stat.st_mode & S_ISVTX) && (parent_stat.st_mode & S_IWOTH);
  return shared && folder_stat.st_uid != geteuid() && folder_stat.st_uid != 0;
}

// Opens the folder `path` from the root one component at a time, never through a link that was
// not there when the entry was trashed, making every missing folder on the way. A link that
// `folders` knows (the same text, the same owner) is followed by walking its text the same
// way. Folders are only made on `device`: the entry could never be renamed into another one,
// and a failed restore should not leave new empty folders behind. A folder that `folders` knows
// must have the owner it had.
Folder OpenOrMakeFolders(const std::string& path, dev_t device, const FolderStates* folders,
                         TrashEntryStatus* status, uint32_t* error) {
  *status = TrashEntryStatus::kFailed;
  // What is left to walk: a name and the recorded path it stands for (empty inside a link's
  // text, whose folders the record does not describe).
  struct Step {
    std::string name, recorded;
  };
  std::vector<Step> steps;
  std::string recorded;
  for (std::string_view part : Components(path)) {
    recorded += "/" + std::string(part);
    steps.push_back({std::string(part), recorded});
  }
  std::reverse(steps.begin(), steps.end());  // taken from the back
  int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int hops = 0;
  auto fail = [&](TrashEntryStatus why) {
    if (fd >= 0) close(fd);
    *status = why;
    return Folder();
  };
  if (fd < 0) {
    *error = ErrorFromErrno(errno);
    return fail(TrashEntryStatus::kFailed);
  }
  while (!steps.empty()) {
    Step step = std::move(steps.back());
    steps.pop_back();
    const FolderState* state = nullptr;
    if (folders != nullptr && !step.recorded.empty()) {
      auto known = folders->find(step.recorded);
      if (known != folders->end()) state = &known->second;
    }
    int next = step.name == ".." ? openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                 : OpenFolderNoFollow(fd, step.name);
    if (next < 0) {
      TrashEntryStatus why = WhyNotOpened(fd, step.name, errno, error);
      if (why == TrashEntryStatus::kLinkOnWay && state != nullptr && !state->link.empty() &&
          ++hops <= 40) {
        char text[PATH_MAX + 1];
        struct stat link_stat;
        ssize_t n = readlinkat(fd, step.name.c_str(), text, PATH_MAX);
        if (n > 0 && fstatat(fd, step.name.c_str(), &link_stat, AT_SYMLINK_NOFOLLOW) == 0 &&
            std::string_view(text, static_cast<size_t>(n)) == state->link &&
            link_stat.st_uid == state->owner) {
          // The link of the run's day: its text is walked in its place, by the same rules.
          std::vector<std::string_view> parts = Components(state->link);
          for (size_t i = parts.size(); i-- > 0;) steps.push_back({std::string(parts[i]), ""});
          if (state->link.starts_with('/')) {
            close(fd);
            fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
              *error = ErrorFromErrno(errno);
              return fail(TrashEntryStatus::kFailed);
            }
          }
          if (!parts.empty()) continue;
          why = TrashEntryStatus::kLinkOnWay;
        }
      }
      if (why == TrashEntryStatus::kGone && step.name != "..") {
        struct stat st;
        if (fstat(fd, &st) != 0 || st.st_dev != device) {
          *error = ErrorFromErrno(EXDEV);
          why = TrashEntryStatus::kFailed;
        } else {
          next = MakeFolder(fd, step.name, state != nullptr && state->link.empty() ? state : nullptr,
                            &why, error);
        }
      }
      if (next < 0) return fail(why);
    } else if (state != nullptr) {
      struct stat st;
      if (fstat(next, &st) != 0 || !state->link.empty() || st.st_uid != state->owner) {
        close(next);
        return fail(TrashEntryStatus::kOwnerChanged);
      }
    } else if (IsSomeoneElsesInASharedFolder(fd, next)) {
      // Nothing is known of it (a record of an older version, or a folder that could not be
      // looked at): a folder another user made in a folder where anyone may make one is theirs
      // to have put there since, and the entry does not go into it.
      close(next);
      return fail(TrashEntryStatus::kOwnerChanged);
    }
    close(fd);
    fd = next;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = ErrorFromErrno(errno);
    return fail(TrashEntryStatus::kFailed);
  }
  *status = TrashEntryStatus::kInTrash;
  return posix::AdoptFd(fd, FolderId{static_cast<uint64_t>(st.st_dev),
                                     static_cast<uint64_t>(st.st_ino)});
}

// Moves files/NAME to `name` in `folder` without ever replacing what is there; EEXIST when the
// place is taken.
int MoveBack(const OpenTrash& trash, const std::string& trash_name, const Folder& folder,
             const std::string& name, bool is_folder) {
  const int from = posix::FdOf(trash.files), to = posix::FdOf(folder);
  if (renameat2(from, trash_name.c_str(), to, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot promise "no replace" (some network and FUSE ones).
  if (!is_folder) {
    if (linkat(from, trash_name.c_str(), to, name.c_str(), 0) == 0) {
      unlinkat(from, trash_name.c_str(), 0);
      return 0;
    }
    if (errno == EEXIST) return EEXIST;
  }
  // No hard links either: look, then rename, as close together as it gets.
  struct stat st;
  if (fstatat(to, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return renameat(from, trash_name.c_str(), to, name.c_str()) == 0 ? 0 : errno;
}

uint64_t SizeOf(const struct stat& st) {
  return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error) {
  *error = error::kSuccess;
  *size = 0;
  OpenTrash trash;
  struct stat file;
  bool stale_record = false;
  TrashEntryStatus status = Find(entry, &trash, &file, error, &stale_record);
  if (status == TrashEntryStatus::kInTrash) *size = SizeOf(file);
  return status;
}

bool DescribeFolder(const std::string& path, FolderState* state) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  *state = FolderState{};
  if (S_ISLNK(st.st_mode)) {
    char text[PATH_MAX + 1];
    ssize_t n = readlink(path.c_str(), text, PATH_MAX);
    if (n <= 0) return false;
    state->link.assign(text, static_cast<size_t>(n));
  } else if (!S_ISDIR(st.st_mode)) {
    return false;
  }
  state->mode = st.st_mode & 07777;
  state->owner = st.st_uid;
  state->group = st.st_gid;
  return true;
}

TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error,
                                     const FolderStates* folders) {
  *error = error::kSuccess;
  *size = 0;
  OpenTrash trash;
  struct stat file;
  bool stale_record = false;
  TrashEntryStatus status = Find(entry, &trash, &file, error, &stale_record);
  if (stale_record) {
    // A record of nothing, which trash listings would show as an entry: it goes, as it would
    // with the file it describes. It holds no data.
    unlinkat(posix::FdOf(trash.info), (entry.name + ".trashinfo").c_str(), 0);
  }
  if (status != TrashEntryStatus::kInTrash) return status;
  *size = SizeOf(file);
  // The .trashinfo agreed, so the path is the one the run trashed from; it only has to be a
  // path a rename can take.
  const std::string& target = entry.original_path;
  if (!target.starts_with('/') || target.find('\0') != std::string::npos ||
      !IsPlainName(LastNameOf(target))) {
    return TrashEntryStatus::kNotATrash;
  }
  TrashEntryStatus way = TrashEntryStatus::kFailed;
  Folder parent = OpenOrMakeFolders(ParentOf(target), file.st_dev, folders, &way, error);
  if (!parent.IsOpen()) return way;
  int result = MoveBack(trash, entry.name, parent, LastNameOf(target), S_ISDIR(file.st_mode));
  if (result == EEXIST || result == ENOTEMPTY) return TrashEntryStatus::kPlaceTaken;
  if (result != 0) {
    *error = ErrorFromErrno(result);
    return TrashEntryStatus::kFailed;
  }
  // Back in place: its record goes, as restoring from the trash asks.
  unlinkat(posix::FdOf(trash.info), (entry.name + ".trashinfo").c_str(), 0);
  return TrashEntryStatus::kRestored;
}

}  // namespace platform
