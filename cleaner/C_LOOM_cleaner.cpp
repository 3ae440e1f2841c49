#include "cleaner/C_LOOM_cleaner.h"

#include <charconv>
#include <cmath>
#include <functional>

#include "cleaner/COutput.h"
#include "cleaner/Guard.h"
#include "cleaner/RunContext.h"
#include "cleaner/frmConsole.h"
#include "cleaner/modByAge.h"
#include "cleaner/modByList.h"
#include "cleaner/modByMask.h"
#include "cleaner/modDelJunctions.h"
#include "cleaner/modDelTree.h"
#include "cleaner/modEmptyFolders.h"
#include "cleaner/modMain.h"
#include "support/ov_error.h"
#include "support/ov_numbers.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr char kObjectName[] = "cleaner";
constexpr char kLongSuffix[] = "-long";

// One property command: what it takes, whether it has a "-long" twin, whether its text goes
// through environment expansion, and what it does.
struct PropertyCommand {
  const char* name;
  int value_kind;
  bool has_long_twin;
  bool expanded;
  GuardShape guard;
  std::function<void(RunContext& run, const loom::Value&, const std::string& text)> action;
};

const std::vector<PropertyCommand>& PropertyCommands() {
  using loom::Value;
  static const std::vector<PropertyCommand> commands = {
      {"begin-group",
       loom::kValueText,
       false,
       false,
       {},
       [](RunContext& run, const Value&, const std::string& text) {
         if (!run.Output->IsDisplayClear()) run.Output->AddLine("");
         run.Output->AddLine(support::LocalText(text + ".. "));
       }},
      {"delete-to-recycle-bin",
       loom::kValueBoolean,
       false,
       false,
       {},
       [](RunContext& run, const Value& value, const std::string&) {
         run.DeleteToRecycleBin = ValueToBoolean(value);
       }},
      {"go-below-junctions",
       loom::kValueBoolean,
       false,
       false,
       {},
       [](RunContext& run, const Value& value, const std::string&) {
         run.GoBelowJunctions = ValueToBoolean(value);
       }},
      {"delete-files",
       loom::kValueText,
       true,
       true,
       {GuardReach::kPathAndPattern, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFiles(run, text, false);
       }},
      {"delete-files-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kPathAndPattern, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFiles(run, text, true);
       }},
      {"delete-folder",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRemovesFolder, true},
       [](RunContext& run, const Value&, const std::string& text) { DeleteFolder(run, text); }},
      {"create-folder",
       loom::kValueText,
       true,
       true,
       {},
       [](RunContext& run, const Value&, const std::string& text) {
         run.Output->CreateFolder(text);
       }},
      {"by-mask-add-mask",
       loom::kValueText,
       false,
       false,
       {},
       [](RunContext& run, const Value&, const std::string& text) { AddMask(run, text); }},
      {"by-mask-delete-files",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolderByMasks, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFilesByMask(run, text, false);
       }},
      {"by-mask-delete-files-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolderByMasks, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFilesByMask(run, text, true);
       }},
      {"by-list-add-files-list",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRecordsFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         AddFilesList(run, text, false);
       }},
      {"by-list-add-files-list-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRecordsFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         AddFilesList(run, text, true);
       }},
      {"by-list-delete-files",
       loom::kValueText,
       true,
       false,
       {GuardReach::kRecordedList, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFilesByList(run, text);
       }},
      {"by-age-set-days",
       loom::kValueNumber,
       false,
       false,
       {},
       [](RunContext& run, const Value& value, const std::string&) {
         SetAgeDays(run, ValueToLong(value));
       }},
      {"by-age-delete-files",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFilesByAge(run, text, false);
       }},
      {"by-age-delete-files-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteFilesByAge(run, text, true);
       }},
      {"delete-empty-folders",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteEmptyFolders(run, text, false, false);
       }},
      {"delete-empty-folders-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteEmptyFolders(run, text, true, false);
       }},
      {"delete-empty-folders-with-base",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRemovesFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteEmptyFolders(run, text, false, true);
       }},
      {"delete-empty-folders-with-base-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRemovesFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteEmptyFolders(run, text, true, true);
       }},
      {"delete-junctions",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteJunctions(run, text, false, false);
       }},
      {"delete-junctions-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteJunctions(run, text, true, false);
       }},
      {"delete-junctions-with-base",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRemovesFolder, false},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteJunctions(run, text, false, true);
       }},
      {"delete-junctions-with-base-recursive",
       loom::kValueText,
       true,
       true,
       {GuardReach::kRemovesFolder, true},
       [](RunContext& run, const Value&, const std::string& text) {
         DeleteJunctions(run, text, true, true);
       }},
  };
  return commands;
}

struct FunctionCommand {
  const char* name;
  void (*action)(RunContext& run);
};

const std::vector<FunctionCommand>& FunctionCommands() {
  static const std::vector<FunctionCommand> commands = {
      {"done", [](RunContext& run) { run.Output->ReportTime(); }},
      {"by-mask-clear-masks", [](RunContext& run) { ClearMasks(run); }},
      {"by-list-clear-files-list", [](RunContext& run) { ClearFilesList(run); }},
  };
  return commands;
}

// The property command `name` answers to, and whether `name` is its "-long" twin.
const PropertyCommand* FindProperty(const std::string& name, bool* is_long_twin) {
  *is_long_twin = false;
  std::string base = name;
  constexpr size_t kSuffixLength = sizeof(kLongSuffix) - 1;
  if (name.size() > kSuffixLength && name.ends_with(kLongSuffix)) {
    base = name.substr(0, name.size() - kSuffixLength);
  }
  for (const PropertyCommand& command : PropertyCommands()) {
    if (name == command.name) return &command;
    if (command.has_long_twin && base != name && base == command.name) {
      *is_long_twin = true;
      return &command;
    }
  }
  return nullptr;
}

// Reads `text` as a decimal number as VB's conversions do (blanks around it allowed, "." the
// decimal point whatever the locale); false when it is not one.
bool ParseNumber(const std::string& text, double* number) {
  return support::ReadDecimal(support::ovTrimEx(text), *number);
}

[[noreturn]] void RaiseTypeMismatch() {
  throw support::MakeError(support::errnum::kTypeMismatch, kObjectName);
}

}  // namespace

std::string ValueToText(const loom::Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  if (const auto* number = std::get_if<double>(&value)) {
    // The shortest text that reads back as the same number, with "." whatever the locale.
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, *number).ptr);
  }
  return {};
}

bool ValueToBoolean(const loom::Value& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* number = std::get_if<double>(&value)) return *number != 0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    std::string word = support::UpperCase(support::ovTrimEx(*text));
    if (word == "TRUE") return true;
    if (word == "FALSE") return false;
    double number = 0;
    if (ParseNumber(*text, &number)) return number != 0;
  }
  RaiseTypeMismatch();
}

int32_t ValueToLong(const loom::Value& value) {
  double number = 0;
  if (const auto* flag = std::get_if<bool>(&value)) {
    number = *flag ? -1 : 0;
  } else if (const auto* d = std::get_if<double>(&value)) {
    number = *d;
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    if (!ParseNumber(*text, &number)) RaiseTypeMismatch();
  }
  int32_t rounded = 0;
  if (!support::RoundToInteger(number, &rounded)) {
    throw support::MakeError(support::errnum::kOverflow, kObjectName);
  }
  return rounded;
}

C_LOOM_cleaner::C_LOOM_cleaner(RunContext& run) : run_(run) {
  run_.DeleteToRecycleBin = true;
  run_.GoBelowJunctions = false;
}

bool C_LOOM_cleaner::Register(loom::ObjectInfo& ObjectInfo) {
  for (const FunctionCommand& command : FunctionCommands()) ObjectInfo.AddFunction(command.name);
  for (const PropertyCommand& command : PropertyCommands()) {
    ObjectInfo.AddProperty(command.name, command.value_kind);
    if (command.has_long_twin) {
      ObjectInfo.AddProperty(std::string(command.name) + kLongSuffix, command.value_kind);
    }
  }
  ObjectInfo.SetObjectName(kObjectName);
  return true;
}

bool C_LOOM_cleaner::InvokeFunction(const std::string& Name, loom::ScriptError&) {
  run_.Output->ProcessPendingEvents(true);
  for (const FunctionCommand& command : FunctionCommands()) {
    if (Name == command.name) {
      command.action(run_);
      break;
    }
  }
  return true;
}

bool C_LOOM_cleaner::InvokeProperty(const std::string& Name, const loom::Value& Value,
                                    loom::ScriptError& ScriptError) {
  run_.Output->ProcessPendingEvents(true);
  try {
    bool is_long_twin = false;
    const PropertyCommand* command = FindProperty(Name, &is_long_twin);
    if (command == nullptr) return true;
    if (is_long_twin && run_.NoLongMode) {
      run_.Output->AddLine("*Rejected*");
      return true;
    }
    std::string text;
    std::vector<std::string> blank_names;
    if (command->value_kind == loom::kValueText) {
      text = ValueToText(Value);
      if (command->expanded)
        text = support::ovExpandEnvironmentStringsReporting(text, &blank_names);
    }
    // Before anything is touched: a refused command does nothing but write its line.
    if (!GuardAllows(run_, command->guard, text, blank_names)) return true;
    command->action(run_, Value, text);
    return true;
  } catch (const support::Error& error) {
    ScriptError.SetObjectError(kObjectName, Name, error.number(), error.description());
    return false;
  }
}

}  // namespace sweepwell
