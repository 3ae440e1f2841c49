#include "cleaner/modMain.h"

#include <cstdio>
#include <exception>

#include "cleaner/COutput.h"
#include "cleaner/C_LOOM_cleaner.h"
#include "cleaner/Stopwatch.h"
#include "loom/loom.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

std::string ScriptFileName;
bool NoLongMode = false;
bool DeleteToRecycleBin = false;
bool GoBelowJunctions = false;
std::string LogFileName;
std::unique_ptr<COutput> Output;
bool ScriptFinished = false;

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

CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1) {
    const std::string& argument = arguments[0];
    if (argument == "/?" || argument == "--help") return CommandLineAction::kHelp;
    if (argument == "--version") return CommandLineAction::kVersion;
    NoLongMode = false;
    ScriptFileName = argument;
    return CommandLineAction::kRun;
  }
  if (arguments.size() == 2) {
    // The first argument is tested first: "/NOLONG /NOLONG" runs a script named /NOLONG.
    if (IsNoLongSwitch(arguments[0])) {
      NoLongMode = true;
      ScriptFileName = arguments[1];
      return CommandLineAction::kRun;
    }
    if (IsNoLongSwitch(arguments[1])) {
      NoLongMode = true;
      ScriptFileName = arguments[0];
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

bool PrepareLogFile() {
  std::string folder = support::ovBuildFileName(
      support::ovBuildFileName(support::ovGetSpecialFolder(26), "Greyfen Works"), "Sweep Well");
  if (!support::ovCreateComplexDirectory(folder)) return false;
  platform::SystemTime now = platform::GetLocalTime();
  char name[32];
  std::snprintf(name, sizeof name, "Sweep %04d-%02d.LOG", now.year, now.month);
  LogFileName = support::ovBuildFileName(folder, name);
  return true;
}

int RunScript() {
  int status = kExitOk;
  try {
    loom::ScriptEngine engine;
    RunStopwatch.Start();
    bool loaded = engine.Script().LoadFromFile(ScriptFileName);
    if (!loaded) {
      Output->AddLine(support::LocalText("Файл скрипта \"") +
                      support::WithoutControlCharacters(platform::NameInAnsi(ScriptFileName)) +
                      support::LocalText("\" не загружен."));
      Output->AddLine(support::LocalText("Файл не найден или пуст."));
      Output->ReportTime();
      status = kExitFailed;
    } else {
      engine.Objects().Add(std::make_shared<C_LOOM_cleaner>());
      if (!engine.Run()) {
        Output->AddLine(support::LocalText(engine.Error().Description));
        Output->AddLine("");
        status = kExitFailed;
      }
    }
  } catch (const RunInterrupted&) {
    if (Output->IsLineOpen()) Output->AddLine("");
    Output->AddLine(support::LocalText("*Прервано* Выполнение скрипта остановлено по сигналу."));
    status = kExitInterrupted;
  } catch (const std::exception& error) {
    if (Output->IsLineOpen()) Output->AddLine("");
    Output->AddLine(support::LocalText("Внутренняя ошибка: ") + error.what());
    status = kExitFailed;
  }
  Output->DumpOutput();
  if (status != kExitInterrupted && Output->Console().IsInteractive()) {
    Output->AddLine(support::LocalText("Нажмите любую клавишу . . ."));
  }
  ScriptFinished = true;
  if (status != kExitInterrupted) Output->Console().WaitForCloseKey();
  return status;
}

int Main(const std::vector<std::string>& arguments) {
  switch (ParseCommandLine(arguments)) {
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
    if (!PrepareLogFile()) {
      WriteTo(stderr, std::string(kProgramName) + ": не удалось создать папку журнала в \"" +
                          support::ovGetSpecialFolder(26) + "\"\n");
      return kExitFailed;
    }
    Output = std::make_unique<COutput>(LogFileName, &RunStopwatch);
  } catch (const support::Error& error) {
    WriteTo(stderr,
            std::string(kProgramName) + ": \"" + LogFileName + "\": " + error.description() + "\n");
    return kExitFailed;
  }
  Output->ShowForm();
  int status = RunScript();
  Output->CloseLog();
  // A run whose log could not be written did not do all that was asked of it.
  if (status == kExitOk && Output->LogFailed()) status = kExitFailed;
  Output->Console().Unload();
  Output.reset();
  return status;
}

int32_t Win32ErrorToErrNumber(uint32_t code) { return support::ErrNumberFromWin32(code); }

bool IsEnterableFolder(const std::string& Path) {
  return support::ovIsDirectory(Path) && (!support::ovIsJunction(Path) || GoBelowJunctions);
}

bool IsSubfolderEntry(uint32_t attributes, const std::string& EntryName) {
  return (attributes & platform::attr::kDirectory) != 0 && !IsDotName(EntryName);
}

bool IsEnterableSubfolderEntry(uint32_t attributes, const std::string& EntryName) {
  return IsSubfolderEntry(attributes, EntryName) &&
         ((attributes & platform::attr::kReparsePoint) == 0 || GoBelowJunctions);
}

}  // namespace sweepwell
