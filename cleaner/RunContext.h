// Everything one run of a cleaning script works with: its output, the switches the script sets,
// the collected masks and recorded files, and the age threshold. The operations (FolderWalk, the
// mod* commands, C_LOOM_cleaner) are handed the run instead of reaching for process-wide state,
// so a test can run a command over a temporary tree with a run of its own, and two runs in one
// process never see each other's masks or switches.
//
// The members keep the names a reader of the program's documentation knows them by.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "cleaner/COutput.h"
#include "platform/file_system.h"

namespace sweepwell {

struct Stopwatch;

// The masks of "by-mask-add-mask" in the order they came, keyed by their upper-case form.
struct MaskList {
  std::vector<std::string> masks;
  std::unordered_set<std::string> keys;
};

// The files of "by-list-add-files-list" in recording order, each once. The key is the path
// exactly as recorded: on a file system that tells letter case apart, "A.txt" and "a.txt" are
// two files, and keying them by an upper-case form would record one and silently never delete
// the other.
struct RecordedFiles {
  std::vector<std::string> paths;
  std::unordered_set<std::string> keys;
};

struct RunContext {
  RunContext() = default;
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // Creates the run's output over the log `log_file_name` (see COutput; throws as it does). Its
  // deletions act on `file_system` as it is now and follow DeleteToRecycleBin as it changes.
  void OpenOutput(const std::string& log_file_name, Stopwatch* stopwatch);

  std::string ScriptFileName;
  std::string LogFileName;
  // "/NoLong" was given: the "-long" twins of the commands are rejected.
  bool NoLongMode = false;
  // "/Preview" was given: the run's file system is a PreviewFileSystem, and nothing is logged.
  bool Preview = false;
  // The protected folders are guarded (cleaner/Guard.h); "--no-preserve-root" clears it.
  bool PreserveRoot = true;
  // Commands the guard refused; the run then ends with exit status 1.
  int RefusedCommands = 0;
  // "/NoPause" was given: the program ends without waiting for the closing key.
  bool NoPause = false;
  // Files go to the trash rather than being deleted for good (every script starts with it on).
  bool DeleteToRecycleBin = true;
  // The walks enter junctions (links to folders, mount points).
  bool GoBelowJunctions = false;
  // The console and the monthly log; null until OpenOutput.
  std::unique_ptr<COutput> Output;
  MaskList Masks;
  RecordedFiles FilesList;
  // The moment of "by-age-set-days" in FILETIME ticks; 0 (nothing qualifies) until it is set.
  double AgeThreshold = 0;
  // The script has run to its end (or stopped); the console may close from now on.
  bool ScriptFinished = false;

  // Everything the walks and Output do on disk goes through this (a test puts a stand-in here,
  // before OpenOutput).
  platform::FileSystem* file_system = &platform::RealFileSystem();
};

}  // namespace sweepwell
