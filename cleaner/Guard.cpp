#include "cleaner/Guard.h"

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "platform/platform.h"
#include "platform/protected_folders.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

#ifdef _WIN32
constexpr char kLiftingOption[] = "/NoPreserveRoot";
constexpr char kRootName[] = "Корень диска";
#else
constexpr char kLiftingOption[] = "--no-preserve-root";
constexpr char kRootName[] = "Корень файловой системы";
#endif

bool IsSeparator(char c) { return c == platform::kPathSeparator || c == '/'; }

// The last component of `folder` as written, trailing separators aside.
std::string LastComponent(const std::string& folder) {
  size_t end = folder.size();
  while (end > 0 && IsSeparator(folder[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !IsSeparator(folder[start - 1])) --start;
  return folder.substr(start, end - start);
}

bool OnePatternMatchesEveryName(std::string pattern) {
  while (pattern.size() > 2 && pattern.ends_with(".*")) pattern.resize(pattern.size() - 2);
  int stars = 0, marks = 0;
  for (char c : pattern) {
    if (c == '*') {
      ++stars;
    } else if (c == '?') {
      ++marks;
    } else {
      return false;
    }
  }
  return stars > 0 && marks <= 1;
}

// Why `folder` may not be worked on as a whole; "" when it may.
std::string ProtectionReason(const std::string& folder) {
  const std::string resolved = platform::ResolvedFolderPath(folder);
  std::string what;
  switch (platform::ProtectedKindOf(resolved)) {
    case platform::ProtectedKind::kNone:
      return {};
    case platform::ProtectedKind::kFileSystemRoot:
      what = kRootName;
      break;
    case platform::ProtectedKind::kHome:
      what = "Домашняя папка пользователя";
      break;
    case platform::ProtectedKind::kSystem:
      what = "Системная папка";
      break;
  }
  return what + " \"" + resolved + "\" целиком не удаляется; снять запрет: " + kLiftingOption;
}

void Refuse(RunContext& run, const std::string& text, const std::string& reason) {
  run.Output->ReportFile(text, true, false, false);
  run.Output->ReportErrorStartus(1, support::LocalText(reason));
  ++run.RefusedCommands;
}

// The folder and the all-matching-ness of the command's text.
struct Target {
  std::string folder;
  bool all_matching = false;
};

Target TargetOf(const RunContext& run, const GuardShape& shape, const std::string& text) {
  Target target;
  switch (shape.reach) {
    case GuardReach::kPathAndPattern: {
      // As the command reads it: blanks around it dropped, a trailing separator for "*.*".
      std::string path = support::ovTrimEx(text);
      if (!path.empty() && IsSeparator(path.back())) path += "*.*";
      target.folder = support::ovGetFilePath(path);
      target.all_matching = MatchesEveryName(support::ovGetFileName(path));
      break;
    }
    case GuardReach::kFolderByMasks:
      target.folder = text;
      for (const std::string& mask : run.Masks.masks) {
        if (MatchesEveryName(mask)) target.all_matching = true;
      }
      break;
    case GuardReach::kFolder:
    case GuardReach::kRemovesFolder:
      target.folder = text;
      target.all_matching = true;
      break;
    case GuardReach::kRecordsFolder:
      target.folder = text;
      break;
    case GuardReach::kNone:
    case GuardReach::kRecordedList:
      break;
  }
  if (shape.recursive) target.all_matching = true;
  return target;
}

// The refusal reason of a by-list deletion under `mask`: the first recorded file's folder that
// is protected, while the mask takes every name.
bool RefuseRecordedList(RunContext& run, const std::string& mask) {
  if (!MatchesEveryName(mask)) return false;
  std::string checked;  // the recording keeps a folder's files together: look at each once
  for (const std::string& path : run.FilesList.paths) {
    std::string folder = support::ovGetFilePath(path);
    if (folder == checked) continue;
    checked = folder;
    std::string reason = ProtectionReason(folder);
    if (!reason.empty()) {
      Refuse(run, folder, reason);
      return true;
    }
  }
  return false;
}

}  // namespace

bool MatchesEveryName(const std::string& pattern) {
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find(';', start);
    if (end == std::string::npos) end = pattern.size();
    if (OnePatternMatchesEveryName(support::ovTrimEx(pattern.substr(start, end - start)))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool GuardAllows(RunContext& run, const GuardShape& shape, const std::string& text,
                 const std::vector<std::string>& blank_names) {
  if (shape.reach == GuardReach::kNone) return true;
  if (!blank_names.empty()) {
    std::string names;
    for (const std::string& name : blank_names) {
      if (!names.empty()) names += ", ";
      names += "%" + name + "%";
    }
    Refuse(run, text,
           (blank_names.size() == 1 ? "Переменная " + names + " пуста"
                                    : "Переменные " + names + " пусты") +
               ": путь указывает не туда, команда не выполнена");
    return false;
  }
  if (shape.reach == GuardReach::kRecordedList) {
    return !run.PreserveRoot || !RefuseRecordedList(run, text);
  }
  const Target target = TargetOf(run, shape, text);
  // The protected folders first: "/usr/.." is best refused as the root it is.
  if (target.all_matching && run.PreserveRoot) {
    // An empty folder part is the current folder, as the commands read it.
    const std::string reason =
        ProtectionReason(target.folder.empty() ? std::string(".") : target.folder);
    if (!reason.empty()) {
      Refuse(run, text, reason);
      return false;
    }
  }
  if (shape.reach == GuardReach::kRemovesFolder) {
    const std::string last = LastComponent(target.folder);
    if (last == "." || last == "..") {
      Refuse(run, text, "Папка \"" + last + "\" не удаляется");
      return false;
    }
  }
  return true;
}

}  // namespace sweepwell
