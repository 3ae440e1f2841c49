// The spine of the program: start-up, the command line, the monthly log, the run of the script,
// and the folder predicates of the walks. The state of a run lives in its RunContext.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cleaner/Undo.h"

namespace sweepwell {

struct RunContext;
struct Stopwatch;

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// The entry procedure: runs the start-up order and returns the exit status. `argv0` is the
// program's own name as it was called; the usage text names the program after it.
int Main(const std::vector<std::string>& arguments, const std::string& argv0 = "sweepwell");

// What the command line asks for.
enum class CommandLineAction { kRun, kUsageError, kHelp, kVersion, kUndo };

// The command line, read. Options come in any order before the script name, and after it too:
//
//   --no-long  /NoLong    the "-long" commands are rejected
//   --preview  /Preview   every line as it would be; nothing on disk changes, no log is written
//   --no-pause /NoPause   no closing key wait
//   --no-preserve-root /NoPreserveRoot
//                         the protected folders may be worked on as a whole (cleaner/Guard.h)
//   -h --help  /?         the usage on standard output
//   --version             the title and version
//   --                    ends the options: every later argument is a script name
//
// The "-" forms are matched exactly, the "/" forms in any letter case. Exactly one script name
// is needed for a run. An argument beginning with "/" is a path, not an option, unless it is
// "/?", one of the "/" forms above, or "/" followed by letters alone with nothing of that name on
// disk: "/home/me/a.loom" and an existing "/backup" are scripts, "/Bogus" is an unknown option.
// A known "/" form is an option even when a file of its name exists (run such a file after
// "--"), with the one reading the program has always had: a command line of "/NoLong" alone, or
// twice, names a script called "/NoLong".
//
// "--undo [--list | RUN]" (also /Undo and /List) as the whole command line is kUndo, with
// `undo` saying what to undo.
//
// A bad command line (an unknown option, no script name, or two) is kUsageError with
// `complaint` saying what is wrong (UTF-8). Help wins over everything but an unknown option.
struct CommandLine {
  CommandLineAction action = CommandLineAction::kRun;
  std::string ScriptFileName;
  bool NoLongMode = false;
  bool Preview = false;
  bool NoPause = false;
  bool NoPreserveRoot = false;
  UndoRequest undo;  // kUndo only
  std::string complaint;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The name the usage text gives the program: the last part of `argv0` (on Windows without
// ".exe"), or "sweepwell" when it is empty.
std::string ProgramName(const std::string& argv0);

// The usage text (UTF-8, without the title), with `program` standing for the program's file
// name.
std::string UsageText(const std::string& program);

// Makes sure the log folder exists and sets run.LogFileName; false when the folder cannot be
// made.
bool PrepareLogFile(RunContext& run);

// Runs the script of `run` (its output open) and writes the closing lines; returns the exit
// status. `stopwatch` is the one the output was opened with: it starts as the script is read,
// and the closing lines report its time.
int RunScript(RunContext& run, Stopwatch& stopwatch);

// RunScript, then closes the output: the exit status of the whole run.
int FinishRun(RunContext& run, Stopwatch& stopwatch);

// Windows error code -> VB error number: 2 -> 53, 3 -> 76, 5 and 32 -> 70, anything else 75.
int32_t Win32ErrorToErrNumber(uint32_t code);

// The folder predicates of the walks. A named folder is tested by path; an entry of a listing
// by the attribute bits the listing holds (a folder other than "." and "..", and not a junction
// unless run.GoBelowJunctions), so a walk looks at each entry once.
bool IsEnterableFolder(const RunContext& run, const std::string& Path);
// What the run's file system says of the named `Path`: a folder (a junction too), a junction.
bool IsFolderPath(const RunContext& run, const std::string& Path);
bool IsJunctionPath(const RunContext& run, const std::string& Path);
bool IsSubfolderEntry(uint32_t attributes, const std::string& EntryName);
bool IsEnterableSubfolderEntry(const RunContext& run, uint32_t attributes,
                               const std::string& EntryName);

}  // namespace sweepwell
