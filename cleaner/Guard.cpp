#include "cleaner/Guard.h"

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "platform/platform.h"
#include "platform/protected_folders.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

#ifdef _WIN32
constexpr char kLiftingOption[] = "/NoPreserveRoot";
constexpr char kRootName[] = N_("Корень диска");
#else
constexpr char kLiftingOption[] = "--no-preserve-root";
constexpr char kRootName[] = N_("Корень файловой системы");
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

// Why a command is refused: a text of the program and what fills its "%s" in turn: first
// `kind`, itself a text of the program, when there is one, then the verbatim `values` (UTF-8).
struct Reason {
  const char* text = nullptr;
  std::vector<std::string> values;
  const char* kind = nullptr;

  bool empty() const { return text == nullptr; }
  // The log's form (the source texts) or the console's (the user's language).
  std::string Form(bool shown) const {
    auto form = [shown](const char* message) {
      return shown ? support::Tr(message) : std::string(message);
    };
    std::vector<std::string> all;
    if (kind != nullptr) all.push_back(form(kind));
    all.insert(all.end(), values.begin(), values.end());
    return support::Fill(form(text), all);
  }
};

// Why `folder` may not be worked on as a whole; empty when it may.
Reason ProtectionReason(const std::string& folder) {
  const std::string resolved = platform::ResolvedFolderPath(folder);
  const char* what = nullptr;
  switch (platform::ProtectedKindOf(resolved)) {
    case platform::ProtectedKind::kNone:
      return {};
    case platform::ProtectedKind::kFileSystemRoot:
      what = kRootName;
      break;
    case platform::ProtectedKind::kHome:
      what = N_("Домашняя папка пользователя");
      break;
    case platform::ProtectedKind::kSystem:
      what = N_("Системная папка");
      break;
  }
  return {N_("%s \"%s\" целиком не удаляется; снять запрет: %s"), {resolved, kLiftingOption}, what};
}

void Refuse(RunContext& run, const std::string& text, const Reason& reason) {
  run.Output->ReportFile(text, true, false, false);
  run.Output->ReportErrorStartus(1, support::LocalText(reason.Form(true)),
                                 support::LocalText(reason.Form(false)));
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
    const Reason reason = ProtectionReason(folder);
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

bool GuardAllowsFoundFolder(RunContext& run, const std::string& path) {
  if (!run.PreserveRoot) return true;
  const Reason reason = ProtectionReason(path);
  if (reason.empty()) return true;
  Refuse(run, path, reason);
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
           {blank_names.size() == 1
                ? N_("Переменная %s пуста: путь указывает не туда, команда не выполнена")
                : N_("Переменные %s пусты: путь указывает не туда, команда не выполнена"),
            {names}});
    return false;
  }
  if (shape.reach == GuardReach::kRecordedList) {
    return !run.PreserveRoot || !RefuseRecordedList(run, text);
  }
  const Target target = TargetOf(run, shape, text);
  // The protected folders first: "/usr/.." is best refused as the root it is.
  if (target.all_matching && run.PreserveRoot) {
    // An empty folder part is the current folder, as the commands read it.
    const Reason reason =
        ProtectionReason(target.folder.empty() ? std::string(".") : target.folder);
    if (!reason.empty()) {
      Refuse(run, text, reason);
      return false;
    }
  }
  if (shape.reach == GuardReach::kRemovesFolder) {
    const std::string last = LastComponent(target.folder);
    if (last == "." || last == "..") {
      Refuse(run, text, {N_("Папка \"%s\" не удаляется"), {last}});
      return false;
    }
  }
  return true;
}

}  // namespace sweepwell
