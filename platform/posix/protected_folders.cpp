// The protected folders of a Linux system and the resolution of a folder path for comparing
// with them.
#include "platform/protected_folders.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/internal.h"

namespace platform {
namespace {

// The components of `path` without empty ones and ".", ".." kept.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(pos, slash - pos);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    pos = slash + 1;
  }
  return parts;
}

// Appends `part` to the absolute clean path `base` as the kernel reads it lexically: ".." takes
// the last component away and stays at the root.
void Append(std::string* base, const std::string& part) {
  if (part == "..") {
    size_t slash = base->find_last_of('/');
    base->resize(slash == 0 ? 1 : slash);
    return;
  }
  if (base->back() != '/') *base += '/';
  *base += part;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return {};
  return buffer;
}

}  // namespace

std::string ResolvedFolderPath(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
    absolute = std::string(cwd) + "/" + absolute;
  }
  const std::vector<std::string> parts = Components(absolute);
  // The longest leading part that exists is resolved by the kernel, links and ".." in their
  // real order (a link's ".." is the parent of its target, not of the link). realpath takes
  // no path of PATH_MAX or more, and a leading part that resolves means every shorter one
  // does: a binary search finds the longest, in a few realpath calls however deep the path.
  std::vector<std::string> raw(1, "/");  // raw[count]: the first `count` parts as a path
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string longer = (i == 0 ? std::string() : raw.back()) + "/" + parts[i];
    if (longer.size() >= PATH_MAX) break;
    raw.push_back(std::move(longer));
  }
  size_t low = 0, high = raw.size() - 1;  // raw[low] resolves ("/" always does)
  std::string real = RealPath(raw[high]);
  if (!real.empty()) {
    low = high;
  } else {
    real = "/";
    while (low + 1 < high) {
      const size_t middle = low + (high - low) / 2;
      std::string resolved = RealPath(raw[middle]);
      if (resolved.empty()) {
        high = middle;
      } else {
        low = middle;
        real = std::move(resolved);
      }
    }
  }
  if (real.empty()) real = "/";
  // The rest (missing, or past the length realpath takes) is read lexically.
  for (size_t i = low; i < parts.size(); ++i) Append(&real, parts[i]);
  return real;
}

std::vector<ProtectedFolder> ProtectedFolders() {
  static const char* const kSystemFolders[] = {
      "/bin",  "/boot", "/dev", "/etc",  "/lib", "/lib32", "/lib64", "/libx32", "/opt",
      "/proc", "/root", "/run", "/sbin", "/srv", "/sys",   "/usr",   "/var",
  };
  std::vector<ProtectedFolder> folders;
  for (const char* folder : kSystemFolders) {
    // Both the name and where it leads: on a merged /usr, /bin is a link to /usr/bin, and the
    // folder a script names as "/bin" resolves to the latter.
    folders.push_back({folder, ProtectedKind::kSystem});
    std::string real = ResolvedFolderPath(folder);
    if (real != folder) folders.push_back({real, ProtectedKind::kSystem});
  }
  std::string home = posix::HomeFolder();
  if (!home.empty()) folders.push_back({ResolvedFolderPath(home), ProtectedKind::kHome});
  return folders;
}

ProtectedKind ProtectedKindOf(const std::string& resolved) {
  if (resolved == "/") return ProtectedKind::kFileSystemRoot;
  // The home folder wins over a system folder (root's home is /root).
  ProtectedKind kind = ProtectedKind::kNone;
  for (const ProtectedFolder& folder : ProtectedFolders()) {
    if (folder.path != resolved) continue;
    if (folder.kind == ProtectedKind::kHome) return folder.kind;
    kind = folder.kind;
  }
  return kind;
}

}  // namespace platform
