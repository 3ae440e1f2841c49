// A run of the cleaner over a file system in memory, reached through a FaultyFileSystem the test
// can make fail: files that cannot be deleted, mount points, full and read-only volumes are
// settings of the test, not privileges of whoever runs it. The run's log is in memory too
// (kLogPath, on a volume of its own), written through the same file system; only the data folder,
// should the run write one, is on the disk, in a temporary folder.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "common/faulty_file_system.h"
#include "common/memory_file_system.h"
#include "common/test_files.h"
#include "sweepwell_runner.h"
#include "temp_folder.h"

namespace sweepwell {

class MemoryRunTest : public ::testing::Test {
 protected:
  // Where the test's tree lives in memory: a path no machine has, so that a call that reached
  // the machine's file system by mistake finds nothing there.
  static constexpr char kRoot[] = "/memory-volume";
  static constexpr char kLogPath[] = "/memory-log/run.log";

  void SetUp() override {
    if (const char* data = std::getenv("XDG_DATA_HOME")) saved_data_home_ = data;
    setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
    run.file_system = &files;
    run.DeleteToRecycleBin = false;
    disk.AddFolder(kRoot);
    // The log's own volume: what a test does to the volume of kRoot leaves the log alone.
    disk.AddMountPoint("/memory-log");
    if (open_output_) run.OpenOutput(kLogPath, nullptr);
  }
  void TearDown() override {
    if (saved_data_home_) {
      setenv("XDG_DATA_HOME", saved_data_home_->c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
  }

  static std::string Path(const std::string& name) { return std::string(kRoot) + "/" + name; }
  // The entry lines of the run's log so far (the output is closed), its rule line left out.
  std::vector<std::string> LogLines() {
    run.Output->CloseLog();
    std::vector<std::string> lines = sweepwell_test::EntryLines(disk.Contents(kLogPath));
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }

  orvanel::testing::TempFolder temp;
  orvanel::testing::QuietStdout quiet;
  orvanel::testing::MemoryFileSystem disk;
  orvanel::testing::FaultyFileSystem files{disk};
  RunContext run;
  // False: SetUp leaves the output to the test (one that sets up the log's volume first).
  bool open_output_ = true;

 private:
  std::optional<std::string> saved_data_home_;
};

}  // namespace sweepwell
