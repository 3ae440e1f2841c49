// The spine of the program: start-up, the command line, the monthly log, the run of the script,
// and the folder predicates of the walks. The state of a run lives in its RunContext.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sweepwell {

struct RunContext;

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// The entry procedure: runs the start-up order and returns the exit status.
int Main(const std::vector<std::string>& arguments);

// What the command line asks for.
enum class CommandLineAction { kRun, kUsageError, kHelp, kVersion };

// Reads the arguments after the program name: sets run.ScriptFileName and run.NoLongMode for
// kRun.
CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, RunContext& run);

// The usage text (UTF-8, without the title), with `program` standing for the program's file
// name.
std::string UsageText(const std::string& program);

// Makes sure the log folder exists and sets run.LogFileName; false when the folder cannot be
// made.
bool PrepareLogFile(RunContext& run);

// Runs the script of `run` (its output open) and writes the closing lines; returns the exit
// status.
int RunScript(RunContext& run);

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
