#include "cleaner/modMain.h"

#include <cstdio>
#include <exception>

#include "cleaner/COutput.h"
#include "cleaner/C_LOOM_cleaner.h"
#include "cleaner/RunContext.h"
#include "cleaner/Stopwatch.h"
#include "loom/loom.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr char kProgramName[] = "sweepwell";
constexpr char kAppTitle[] = "Orvanel - Sweep well";

Stopwatch RunStopwatch;

bool IsNoLongSwitch(const std::string& argument) {
  return support::UpperCase(argument) == "/NOLONG" || argument == "--no-long";
}

void WriteTo(std::FILE* stream, const std::string& utf8) {
  std::string text = support::LocalText(utf8);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, RunContext& run) {
  if (arguments.size() == 1) {
    const std::string& argument = arguments[0];
    if (argument == "/?" || argument == "--help") return CommandLineAction::kHelp;
    if (argument == "--version") return CommandLineAction::kVersion;
    run.NoLongMode = false;
    run.ScriptFileName = argument;
    return CommandLineAction::kRun;
  }
  if (arguments.size() == 2) {
    // The first argument is tested first: "/NOLONG /NOLONG" runs a script named /NOLONG.
    if (IsNoLongSwitch(arguments[0])) {
      run.NoLongMode = true;
      run.ScriptFileName = arguments[1];
      return CommandLineAction::kRun;
    }
    if (IsNoLongSwitch(arguments[1])) {
      run.NoLongMode = true;
      run.ScriptFileName = arguments[0];
      return CommandLineAction::kRun;
    }
  }
  return CommandLineAction::kUsageError;
}

std::string UsageText(const std::string& program) {
  return "Использование:\n\n" + program + "[.EXE] [/NoLong] ScriptFileName\n\n" +
         "Выполнить скрипт ScriptFileName, в котором содержатся " +
         "команды для отчистки диска. Ключ /NoLong блокирует " +
         "выполнение длинных операций (см. ReadMe.TXT).\n\n" + program + "[.EXE] /?\n\n" +
         "Вывести это окно.\n";
}

bool PrepareLogFile(RunContext& run) {
  std::string folder = support::ovBuildFileName(
      support::ovBuildFileName(support::ovGetSpecialFolder(26), "Greyfen Works"), "Sweep Well");
  if (!support::ovCreateComplexDirectory(folder)) return false;
  platform::SystemTime now = platform::GetLocalTime();
  char name[32];
  std::snprintf(name, sizeof name, "Sweep %04d-%02d.LOG", now.year, now.month);
  run.LogFileName = support::ovBuildFileName(folder, name);
  return true;
}

int RunScript(RunContext& run) {
  int status = kExitOk;
  try {
    loom::ScriptEngine engine;
    RunStopwatch.Start();
    bool loaded = engine.Script().LoadFromFile(run.ScriptFileName);
    if (!loaded) {
      run.Output->AddLine(
          support::LocalText("Файл скрипта \"") +
          support::WithoutControlCharacters(platform::NameInAnsi(run.ScriptFileName)) +
          support::LocalText("\" не загружен."));
      run.Output->AddLine(support::LocalText("Файл не найден или пуст."));
      run.Output->ReportTime();
      status = kExitFailed;
    } else {
      engine.Objects().Add(std::make_shared<C_LOOM_cleaner>(run));
      if (!engine.Run()) {
        run.Output->AddLine(support::LocalText(engine.Error().Description));
        run.Output->AddLine("");
        status = kExitFailed;
      }
    }
  } catch (const RunInterrupted&) {
    if (run.Output->IsLineOpen()) run.Output->AddLine("");
    run.Output->AddLine(
        support::LocalText("*Прервано* Выполнение скрипта остановлено по сигналу."));
    status = kExitInterrupted;
  } catch (const std::exception& error) {
    if (run.Output->IsLineOpen()) run.Output->AddLine("");
    run.Output->AddLine(support::LocalText("Внутренняя ошибка: ") + error.what());
    status = kExitFailed;
  }
  run.Output->DumpOutput();
  if (status != kExitInterrupted && run.Output->Console().IsInteractive()) {
    run.Output->AddLine(support::LocalText("Нажмите любую клавишу . . ."));
  }
  run.ScriptFinished = true;
  if (status != kExitInterrupted) run.Output->Console().WaitForCloseKey();
  return status;
}

int Main(const std::vector<std::string>& arguments) {
  RunContext run;
  switch (ParseCommandLine(arguments, run)) {
    case CommandLineAction::kHelp:
      ShowUsageMessage(kAppTitle, UsageText(UsageProgramName(kProgramName)), false);
      return kExitOk;
    case CommandLineAction::kVersion:
      ShowVersionMessage(kAppTitle, SWEEPWELL_VERSION);
      return kExitOk;
    case CommandLineAction::kUsageError:
      ShowUsageMessage(kAppTitle, UsageText(UsageProgramName(kProgramName)), true);
      return kExitUsage;
    case CommandLineAction::kRun:
      break;
  }
  try {
    if (!PrepareLogFile(run)) {
      WriteTo(stderr, std::string(kProgramName) + ": не удалось создать папку журнала в \"" +
                          support::ovGetSpecialFolder(26) + "\"\n");
      return kExitFailed;
    }
    run.OpenOutput(run.LogFileName, &RunStopwatch);
  } catch (const support::Error& error) {
    WriteTo(stderr, std::string(kProgramName) + ": \"" + run.LogFileName +
                        "\": " + error.description() + "\n");
    return kExitFailed;
  }
  run.Output->ShowForm();
  int status = RunScript(run);
  run.Output->CloseLog();
  // A run whose log could not be written did not do all that was asked of it.
  if (status == kExitOk && run.Output->LogFailed()) status = kExitFailed;
  run.Output->Console().Unload();
  run.Output.reset();
  return status;
}

int32_t Win32ErrorToErrNumber(uint32_t code) { return support::ErrNumberFromWin32(code); }

bool IsEnterableFolder(const RunContext& run, const std::string& Path) {
  return IsFolderPath(run, Path) && (!IsJunctionPath(run, Path) || run.GoBelowJunctions);
}

namespace {

uint32_t PathAttributes(const RunContext& run, const std::string& Path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (run.file_system->GetFileAttributes(Path, &attributes, &size) != platform::error::kSuccess) {
    return 0;
  }
  return attributes;
}

}  // namespace

bool IsFolderPath(const RunContext& run, const std::string& Path) {
  return (PathAttributes(run, Path) & platform::attr::kDirectory) != 0;
}

bool IsJunctionPath(const RunContext& run, const std::string& Path) {
  constexpr uint32_t kJunction = platform::attr::kDirectory | platform::attr::kReparsePoint;
  return (PathAttributes(run, Path) & kJunction) == kJunction;
}

bool IsSubfolderEntry(uint32_t attributes, const std::string& EntryName) {
  return (attributes & platform::attr::kDirectory) != 0 && !IsDotName(EntryName);
}

bool IsEnterableSubfolderEntry(const RunContext& run, uint32_t attributes,
                               const std::string& EntryName) {
  return IsSubfolderEntry(attributes, EntryName) &&
         ((attributes & platform::attr::kReparsePoint) == 0 || run.GoBelowJunctions);
}

}  // namespace sweepwell
