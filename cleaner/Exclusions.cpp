#include "cleaner/Exclusions.h"

#include "cleaner/RunContext.h"
#include "platform/platform.h"
#include "platform/protected_folders.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

bool IsSeparator(char c) { return c == platform::kPathSeparator || c == '/'; }

// The key a resolved path is compared by.
std::string PathKey(const std::string& resolved) {
#ifdef _WIN32
  return support::UpperCase(resolved);
#else
  return resolved;
#endif
}

}  // namespace

bool IsExcludedName(const RunContext& run, std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const std::string& mask : run.Exclusions.masks.masks) {
    if (platform::PathMatchSpec(name, mask)) return true;
  }
  return false;
}

bool LeadsToExcludedPath(const RunContext& run, const std::string& resolved) {
  const std::string folder = PathKey(resolved);
  for (const std::string& excluded : run.Exclusions.path_keys) {
    if (excluded.size() > folder.size() && excluded.starts_with(folder) &&
        (IsSeparator(excluded[folder.size()]) || (!folder.empty() && IsSeparator(folder.back())))) {
      return true;
    }
  }
  return false;
}

bool IsFullExclusionPath(std::string_view path) {
#ifdef _WIN32
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return true;  // a share
  return path.size() >= 3 &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && IsSeparator(path[2]);
#else
  return !path.empty() && path[0] == '/';
#endif
}

namespace {

void AddResolvedExclusion(RunContext& run, std::string resolved) {
  if (run.Exclusions.path_keys.insert(PathKey(resolved)).second) {
    run.Exclusions.paths.push_back(std::move(resolved));
  }
}

}  // namespace

void AddExclusionPath(RunContext& run, const std::string& path) {
  AddResolvedExclusion(run, platform::ResolvedFolderPath(path));
  // The resolved form is where a link at the path leads; the link itself, in its folder, is
  // what its user named and must stay too (a command that removes links would take it).
  std::string trimmed = support::ovTrimEx(path);
  while (trimmed.size() > 1 && IsSeparator(trimmed.back())) trimmed.pop_back();
  const std::string name = support::ovGetFileName(trimmed);
  const std::string folder = support::ovGetFilePath(trimmed);
  if (name.empty() || name == "." || name == ".." || folder.empty()) return;
  std::string own = platform::ResolvedFolderPath(folder);
  if (own.empty() || !IsSeparator(own.back())) own += platform::kPathSeparator;
  AddResolvedExclusion(run, own + name);
}

void AddExclusionMask(RunContext& run, const std::string& mask) {
  MaskList& masks = run.Exclusions.masks;
  if (masks.keys.insert(support::UpperCase(mask)).second) masks.masks.push_back(mask);
}

void ClearExclusions(RunContext& run) { run.Exclusions = ExclusionList(); }

bool IsExcludedEntry(const RunContext& run, const std::string& resolved, std::string_view name) {
  if (IsExcludedName(run, name)) return true;
  return !run.Exclusions.path_keys.empty() && run.Exclusions.path_keys.contains(PathKey(resolved));
}

bool IsPathExcluded(const RunContext& run, const std::string& path) {
  if (run.Exclusions.empty()) return false;
  const std::string resolved = platform::ResolvedFolderPath(path);
  // The root the path starts from ("/", "C:\\") is a step too: an excluded root keeps out all.
  size_t root = 0;
  while (root < resolved.size() && IsSeparator(resolved[root])) ++root;
  if (root > 0 && run.Exclusions.path_keys.contains(PathKey(resolved.substr(0, root)))) {
    return true;
  }
  // Every folder on the way down, the path itself last: "/a", "/a/b", ... (a root alone is
  // its own first step).
  size_t end = 0;
  while (end < resolved.size()) {
    size_t next = end;
    while (next < resolved.size() && IsSeparator(resolved[next])) ++next;
    size_t start = next;
    while (next < resolved.size() && !IsSeparator(resolved[next])) ++next;
    if (next == start) break;
    const std::string step = resolved.substr(0, next);
    if (IsExcludedEntry(run, step, std::string_view(resolved).substr(start, next - start)) ||
        run.Exclusions.path_keys.contains(PathKey(step + platform::kPathSeparator))) {
      return true;  // (a drive root is "C:\\" in the resolved form)
    }
    end = next;
  }
  return run.Exclusions.path_keys.contains(PathKey(resolved));
}

bool IsCommandTargetExcluded(const RunContext& run, GuardReach reach, const std::string& text) {
  if (run.Exclusions.empty()) return false;
  switch (reach) {
    case GuardReach::kPathAndPattern: {
      // The folder part, as delete-files and delete-folders-named read their text.
      std::string path = support::ovTrimEx(text);
      if (!path.empty() && IsSeparator(path.back())) path += "*.*";
      std::string folder = support::ovGetFilePath(path);
      return IsPathExcluded(run, folder.empty() ? std::string(".") : folder);
    }
    case GuardReach::kFolder:
    case GuardReach::kFolderByMasks:
    case GuardReach::kRemovesFolder:
    case GuardReach::kRecordsFolder:
      return IsPathExcluded(run, text);
    case GuardReach::kNone:
    case GuardReach::kRecordedList:
      break;
  }
  return false;
}

}  // namespace sweepwell
