// What the library's freedesktop.org shell readers need of the system: how an entry looks, the
// environment's places and settings, and fnmatch. The MIME database and the icon themes
// themselves are read above this layer, through File and the file system's listing.

#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/posix/internal.h"

namespace platform {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// True when the folder at `path` holds a folder or a link to one.
bool HoldsFolder(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat status;
      folder = fstatat(dirfd(dir), entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
    }
    if (folder) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

uint32_t ItemAttributes(const std::string& path, const ShellEntry& entry, mode_t mode) {
  uint32_t bits = sfgao::kFileSystem | sfgao::kCanLink;
  const posix::ParentAndName parent = posix::SplitParent(path);
  const std::string& name = parent.name;
  if (entry.is_link) bits |= sfgao::kLink;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") bits |= sfgao::kHidden;
  if (!(mode & S_IWUSR)) bits |= sfgao::kReadOnly;
  if (S_ISREG(mode)) bits |= sfgao::kStream;
  const int readable = S_ISDIR(mode) ? R_OK | X_OK : R_OK;
  if (faccessat(AT_FDCWD, path.c_str(), readable, AT_EACCESS) == 0) bits |= sfgao::kCanCopy;
  if (faccessat(AT_FDCWD, parent.parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
    bits |= sfgao::kCanMove | sfgao::kCanRename | sfgao::kCanDelete;
  }
  if (S_ISDIR(mode) && !entry.dangling) {
    bits |= sfgao::kFolder | sfgao::kFileSysAncestor;
    if (HoldsFolder(path)) bits |= sfgao::kHasSubfolder;
  }
  return bits;
}

ShellEntry::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return ShellEntry::Kind::kFile;
  if (S_ISDIR(mode)) return ShellEntry::Kind::kFolder;
  if (S_ISFIFO(mode)) return ShellEntry::Kind::kFifo;
  if (S_ISSOCK(mode)) return ShellEntry::Kind::kSocket;
  if (S_ISCHR(mode)) return ShellEntry::Kind::kCharDevice;
  if (S_ISBLK(mode)) return ShellEntry::Kind::kBlockDevice;
  return ShellEntry::Kind::kOther;
}

}  // namespace

ShellEntry LookForShell(const std::string& path, bool with_attributes) {
  ShellEntry entry;
  if (path.empty() || path.find('\0') != std::string::npos) return entry;
  struct stat own;
  if (lstat(path.c_str(), &own) != 0) return entry;
  struct stat status;
  entry.exists = true;
  entry.is_link = S_ISLNK(own.st_mode);
  if (stat(path.c_str(), &status) != 0) {
    entry.dangling = true;
    status = own;
  }
  entry.kind = KindOf(status.st_mode);
  entry.size = static_cast<uint64_t>(status.st_size);
  entry.executable = S_ISREG(status.st_mode) && (status.st_mode & 0111);
  if (with_attributes) entry.attributes = ItemAttributes(path, entry, status.st_mode);
  return entry;
}

DesktopSettings GetDesktopSettings() {
  DesktopSettings settings;
  if (std::string home_data = GetUserDataFolder(); !home_data.empty()) {
    settings.data_folders.push_back(home_data);
  }
  std::string system = Environment("XDG_DATA_DIRS");
  if (system.empty()) system = "/usr/local/share/:/usr/share/";
  std::stringstream in(system);
  std::string folder;
  while (std::getline(in, folder, ':')) {
    // A relative folder is invalid, as in $XDG_DATA_HOME.
    if (folder.empty() || folder[0] != kPathSeparator) continue;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    settings.data_folders.push_back(folder);
  }
  settings.home = posix::HomeFolder();
  settings.icon_theme = Environment("ORVANEL_ICON_THEME");
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    settings.messages_locale = Environment(name);
    if (!settings.messages_locale.empty()) break;
  }
  return settings;
}

bool MatchesGlob(const std::string& pattern, const std::string& name, bool case_sensitive) {
  return fnmatch(pattern.c_str(), name.c_str(), case_sensitive ? 0 : FNM_CASEFOLD) == 0;
}

}  // namespace platform
