#include "cleaner/modMain.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "cleaner/COutput.h"
#include "cleaner/C_LOOM_cleaner.h"
#include "cleaner/PreviewFileSystem.h"
#include "cleaner/RunContext.h"
#include "cleaner/Stopwatch.h"
#include "cleaner/Undo.h"
#include "cleaner/UndoRecord.h"
#include "loom/loom.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr char kProgramName[] = "sweepwell";
constexpr char kAppTitle[] = "Orvanel - Sweep well";
// Where the usage sends a reader for more.
#ifdef _WIN32
constexpr char kManualReference[] = N_("см. ReadMe.TXT");
#else
constexpr char kManualReference[] = N_("см. man sweepwell");
#endif

// The first and the last line of a preview, so that nobody takes its lines and totals for
// things done.
constexpr char kPreviewStarts[] = N_("*** Предварительный просмотр: ничего не удаляется ***");
constexpr char kPreviewEnds[] = N_("*** Предварительный просмотр: ничего не удалено ***");

void WriteTo(std::FILE* stream, const std::string& utf8) {
  std::string text = support::AnsiText(utf8);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// Why the script did not load, on standard error (the console and the log get the two lines
// every failed load writes).
void ReportLoadFailure(const loom::Script& script, const std::string& ScriptFileName) {
  const char* cause = nullptr;
  switch (script.LoadFailure()) {
    case loom::LoadFailure::kNotRegularFile:
      cause = N_("это не обычный файл (папка, канал или устройство), он не читается");
      break;
    case loom::LoadFailure::kTooLarge:
      cause = N_("файл больше 16 МиБ, это не скрипт");
      break;
    case loom::LoadFailure::kNoStatement:
      cause = N_("в файле нет ни одной команды");
      break;
    case loom::LoadFailure::kCannotOpen:
    case loom::LoadFailure::kCannotRead:
      cause = nullptr;  // the description of the system's error follows
      break;
    case loom::LoadFailure::kNone:
      return;
  }
  const std::string why = support::Tr(
      cause != nullptr ? std::string(cause)
                       : support::StandardDescription(Win32ErrorToErrNumber(script.LoadError())));
  WriteTo(stderr, std::string(kProgramName) + ": " +
                      support::Fill(support::Tr("файл скрипта \"%s\" не загружен: %s"),
                                    {support::WithoutControlCharacters(ScriptFileName), why}) +
                      "\n");
}

// One option of the command line: its "-" forms, its "/" form in upper case (empty: none) and
// what it sets.
struct Option {
  std::string_view dashed;
  std::string_view dashed_short;
  std::string_view slashed;
  void (*apply)(CommandLine& line);
};

constexpr Option kOptions[] = {
    {"--no-long", "", "/NOLONG", [](CommandLine& line) { line.NoLongMode = true; }},
    {"--preview", "", "/PREVIEW", [](CommandLine& line) { line.Preview = true; }},
    {"--no-pause", "", "/NOPAUSE", [](CommandLine& line) { line.NoPause = true; }},
    {"--no-preserve-root", "", "/NOPRESERVEROOT",
     [](CommandLine& line) { line.NoPreserveRoot = true; }},
    {"--help", "-h", "/?", [](CommandLine& line) { line.action = CommandLineAction::kHelp; }},
    {"--version", "", "",
     [](CommandLine& line) {
       if (line.action == CommandLineAction::kRun) line.action = CommandLineAction::kVersion;
     }},
};

bool IsLettersOnly(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

bool ExistsOnDisk(const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  return platform::GetFileAttributes(platform::RealFileSystem(), path, &attributes, &size) ==
         platform::error::kSuccess;
}

// Whether `argument` is meant as an option (known or not); see ParseCommandLine.
bool LooksLikeOption(const std::string& argument) {
  if (argument.size() > 1 && argument[0] == '-') return true;
  if (argument.empty() || argument[0] != '/') return false;
  std::string upper = support::UpperCase(argument);
  for (const Option& option : kOptions) {
    if (!option.slashed.empty() && upper == option.slashed) return true;
  }
  return IsLettersOnly(std::string_view(argument).substr(1)) && !ExistsOnDisk(argument);
}

const Option* FindOption(const std::string& argument) {
  std::string upper = argument[0] == '/' ? support::UpperCase(argument) : std::string();
  for (const Option& option : kOptions) {
    if (argument == option.dashed || argument == option.dashed_short ||
        (!upper.empty() && upper == option.slashed)) {
      return &option;
    }
  }
  return nullptr;
}

CommandLine BadCommandLine(std::string complaint) {
  CommandLine line;
  line.action = CommandLineAction::kUsageError;
  line.complaint = std::move(complaint);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && IsUndoSwitch(arguments[0])) {
    CommandLine line;
    if (!ParseUndoArguments(arguments, &line.undo)) {
      return BadCommandLine(
          support::Tr("после --undo можно указать только --list или имя запуска"));
    }
    line.action = CommandLineAction::kUndo;
    return line;
  }
  CommandLine line;
  std::vector<std::string> scripts;
  int no_long_switches = 0;  // in either form
  bool options_ended = false;
  for (const std::string& argument : arguments) {
    if (options_ended || !LooksLikeOption(argument)) {
      scripts.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    const Option* option = FindOption(argument);
    if (option == nullptr) {
      return BadCommandLine(support::Fill(support::Tr("неизвестный ключ \"%s\""),
                                          {support::WithoutControlCharacters(argument)}));
    }
    option->apply(line);
    if (option->slashed == "/NOLONG") ++no_long_switches;
  }
  if (line.action != CommandLineAction::kRun) return line;
  // "/NoLong" standing last with no script name is the script's name, as it always was.
  if (scripts.empty() && no_long_switches > 0 &&
      support::UpperCase(arguments.back()) == "/NOLONG") {
    scripts.push_back(arguments.back());
    line.NoLongMode = no_long_switches > 1;
  }
  if (scripts.empty()) return BadCommandLine(support::Tr("не указан файл скрипта"));
  if (scripts.size() > 1) {
    return BadCommandLine(support::Fill(support::Tr("лишний аргумент \"%s\""),
                                        {support::WithoutControlCharacters(scripts[1])}));
  }
  line.ScriptFileName = scripts[0];
  return line;
}

std::string ProgramName(const std::string& argv0) {
  size_t slash = argv0.find_last_of(std::string("/") + platform::kPathSeparator);
  std::string name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
#ifdef _WIN32
  // The program is named without its extension, as Windows users call it.
  if (name.size() > 4 && support::UpperCase(name.substr(name.size() - 4)) == ".EXE") {
    name.resize(name.size() - 4);
  }
#endif
  return name.empty() ? std::string(kProgramName) : name;
}

std::string UsageText(const std::string& program) {
  // A paragraph in the user's language, with the program's name for each "%s".
  auto say = [&](const char* text, std::string_view value) {
    return support::Fill(support::Tr(text), {value, value});
  };
  return support::Tr("Использование:\n\n") + program +
         " [/NoLong] [/Preview] [/NoPause] [/NoPreserveRoot] [--] ScriptFileName\n\n" +
         say(N_("Выполнить скрипт ScriptFileName, в котором содержатся команды для отчистки диска. "
                "Ключ /NoLong блокирует выполнение длинных операций (%s).\n\n"),
             support::Tr(kManualReference)) +
         support::Tr(
             "Ключ /Preview показывает, что скрипт удалил бы, ничего не удаляя: "
             "на диске ничего не меняется, журнал не пишется.\n\n") +
         support::Tr("Ключ /NoPause завершает программу сразу, не ожидая нажатия клавиши.\n\n") +
         support::Tr(
             "Корень файловой системы, домашняя папка и системные папки целиком не "
             "удаляются, пути с пустыми переменными окружения не обрабатываются; ключ "
             "/NoPreserveRoot снимает первый запрет на один запуск.\n\n") +
         say(N_("Ключи пишутся и так: --no-long, --preview, --no-pause, --no-preserve-root; "
                "регистр букв в ключах с / не важен. Аргумент /ИМЯ, под которым есть файл или "
                "папка, считается именем скрипта; после -- все аргументы считаются им: %s -- "
                "-x.\n\n"),
             program) +
         program + " /?\n\n" + support::Tr("Вывести это окно (также -h и --help).\n\n") + program +
         " --version\n\n" + support::Tr("Вывести название и версию программы.\n") + "\n" + program +
         " --undo [--list | RUN]\n\n" +
         support::Tr(
             "Вернуть из корзины всё, что туда отправил последний запуск (или запуск "
             "RUN); --list показывает запуски, которые можно отменить.\n");
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

int RunScript(RunContext& run, Stopwatch& stopwatch) {
  int status = kExitOk;
  try {
    loom::ScriptEngine engine;
    stopwatch.Start();
    bool loaded = engine.Script().LoadFromFile(run.ScriptFileName);
    // A stop that came while the script was read ends the run before its first command.
    run.Output->ProcessPendingEvents(true);
    if (!loaded) {
      ReportLoadFailure(engine.Script(), run.ScriptFileName);
      run.Output->AddFilledLine(
          "Файл скрипта \"%s\" не загружен.",
          {support::WithoutControlCharacters(platform::NameInAnsi(run.ScriptFileName))});
      run.Output->AddFixedLine("Файл не найден или пуст.");
      run.Output->ReportTime();
      status = kExitFailed;
    } else {
      engine.Objects().Add(std::make_shared<C_LOOM_cleaner>(run));
      if (!engine.Run()) {
        // The engine gives its error in both forms: the log keeps the program's own text.
        const loom::Error& error = engine.Error();
        run.Output->AddText(support::LocalText(error.ShownDescription + "\n"),
                            support::LocalText(error.Description + "\n"));
        run.Output->AddLine("");
        WriteTo(stderr,
                std::string(kProgramName) + ": " +
                    support::Fill(support::Tr("скрипт \"%s\" остановлен ошибкой: %s"),
                                  {support::WithoutControlCharacters(run.ScriptFileName),
                                   support::WithoutControlCharacters(error.ShownDescription)}) +
                    "\n");
        status = kExitFailed;
      }
    }
  } catch (const RunInterrupted&) {
    if (run.Output->IsLineOpen()) run.Output->AddLine("");
    run.Output->AddFixedLine("*Прервано* Выполнение скрипта остановлено по сигналу.");
    status = kExitInterrupted;
  } catch (const std::exception& error) {
    if (run.Output->IsLineOpen()) run.Output->AddLine("");
    run.Output->AddFixed("Внутренняя ошибка: ");
    run.Output->AddLine(error.what());
    WriteTo(stderr, std::string(kProgramName) + ": " + support::Tr("внутренняя ошибка: ") +
                        support::WithoutControlCharacters(error.what()) + "\n");
    status = kExitFailed;
  }
  if (run.Preview) run.Output->AddFixedLine(kPreviewEnds);
  run.Output->DumpOutput();
  bool pause = status != kExitInterrupted && !run.NoPause;
  if (pause && run.Output->Console().IsInteractive()) {
    run.Output->AddFixedLine("Нажмите любую клавишу . . .");
  }
  run.ScriptFinished = true;
  if (pause) {
    run.Output->Console().WaitForCloseKey();
  } else {
    run.Output->Console().Flush();
  }
  return status;
}

int Main(const std::vector<std::string>& arguments, const std::string& argv0) {
  const std::string program = ProgramName(argv0);
  CommandLine line = ParseCommandLine(arguments);
  // Before the run, which may point at it.
  PreviewFileSystem preview(platform::RealFileSystem());
  // The run's own clock: the output reports it, RunScript starts it.
  Stopwatch stopwatch;
  RunContext run;
  switch (line.action) {
    case CommandLineAction::kHelp:
      ShowUsageMessage(kAppTitle, UsageText(program), false);
      return kExitOk;
    case CommandLineAction::kVersion:
      ShowVersionMessage(kAppTitle, SWEEPWELL_VERSION);
      return kExitOk;
    case CommandLineAction::kUsageError:
      // What is wrong comes first, then the usage (a message box on Windows).
      WriteTo(stderr, program + ": " + line.complaint + "\n\n");
      ShowUsageMessage(kAppTitle, UsageText(program), true);
      return kExitUsage;
    case CommandLineAction::kUndo:
      // An undo stops between two entries, as a run does.
      platform::InstallStopSignalHandlers();
      return RunUndo(line.undo, run);
    case CommandLineAction::kRun:
      break;
  }
  run.ScriptFileName = line.ScriptFileName;
  run.NoLongMode = line.NoLongMode;
  run.NoPause = line.NoPause;
  run.PreserveRoot = !line.NoPreserveRoot;
  if (line.Preview) {
    // A preview writes to the console only: the log stays the record of what really went.
    run.Preview = true;
    run.file_system = &preview;
    platform::InstallStopSignalHandlers();
    run.OpenOutput("", &stopwatch);
    run.Output->ShowForm();
    run.Output->AddFixedLine(kPreviewStarts);
    return FinishRun(run, stopwatch);
  }
  try {
    if (!PrepareLogFile(run)) {
      WriteTo(stderr, std::string(kProgramName) + ": " +
                          support::Fill(support::Tr("не удалось создать папку журнала в \"%s\""),
                                        {support::ovGetSpecialFolder(26)}) +
                          "\n");
      return kExitFailed;
    }
    // From the log's first line on, a stop lets the run end after the entry in progress and
    // close the log properly.
    platform::InstallStopSignalHandlers();
    run.OpenOutput(run.LogFileName, &stopwatch);
  } catch (const support::Error& error) {
    // Nothing has run: a deletion the log could not record is what the log exists to prevent.
    WriteTo(stderr,
            std::string(kProgramName) + ": " +
                support::Fill(support::Tr("журнал \"%s\" не записан: %s; скрипт не выполнялся"),
                              {run.LogFileName, support::Tr(error.description())}) +
                "\n");
    return kExitFailed;
  }
  run.Output->ShowForm();
  return FinishRun(run, stopwatch);
}

int FinishRun(RunContext& run, Stopwatch& stopwatch) {
  // Only a real run keeps a record of what it trashed: a preview trashes nothing.
  std::optional<UndoRecord> undo_record;
  if (!run.Preview) {
    undo_record.emplace(*run.file_system, UndoFolderBeside(run.LogFileName), run.ScriptFileName,
                        platform::GetLocalTime());
    run.Output->Deletion().RecordTrashMovesIn(&*undo_record);
  }
  int status = RunScript(run, stopwatch);
  run.Output->CloseLog();
  // A preview has no log to keep.
  if (!run.Preview) KeepLogCompressed(run.LogFileName);
  // A run whose log could not be written did not do all that was asked of it (each failure
  // of the log has had its line on standard error).
  if (status == kExitOk && run.Output->LogFailed()) status = kExitFailed;
  // Nor did one that could not record what it trashed (and so trashed nothing from then on).
  if (status == kExitOk && undo_record && undo_record->Failed()) status = kExitFailed;
  // Nor did a run that refused some commands; the console and the log name each of them.
  if (status == kExitOk && run.RefusedCommands > 0) {
    WriteTo(stderr, std::string(kProgramName) + ": " +
                        support::Fill(support::Tr("отказано в выполнении команд: %s (защищённая "
                                                  "папка, пустая переменная, \".\" или \"..\"); "
                                                  "причина - в скобках в строке каждой"),
                                      {std::to_string(run.RefusedCommands)}) +
                        "\n");
    status = kExitFailed;
  }
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
  if (platform::GetFileAttributes(*run.file_system, Path, &attributes, &size) !=
      platform::error::kSuccess) {
    return 0;
  }
  return attributes;
}

}  // namespace

bool IsFolderPath(const RunContext& run, const std::string& Path) {
  return (PathAttributes(run, Path) & platform::attr::kDirectory) != 0;
}

bool IsJunctionPath(const RunContext& run, const std::string& Path) {
  return platform::attr::IsJunction(PathAttributes(run, Path));
}

bool IsSubfolderEntry(uint32_t attributes, const std::string& EntryName) {
  return (attributes & platform::attr::kDirectory) != 0 && !IsDotName(EntryName);
}

bool IsEnterableSubfolderEntry(const RunContext& run, uint32_t attributes,
                               const std::string& EntryName) {
  return IsSubfolderEntry(attributes, EntryName) &&
         (!platform::attr::IsJunction(attributes) || run.GoBelowJunctions);
}

}  // namespace sweepwell
