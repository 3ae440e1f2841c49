// A run of the cleaner over a temporary folder, with every file-system call going through a
// FaultyFileSystem the test can make fail, its log in the folder, deletions for good, and the
// trash (should anything reach it) pointed into the folder rather than at the user's own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "common/faulty_file_system.h"
#include "common/test_files.h"
#include "temp_folder.h"

namespace sweepwell {

class FaultyRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* data = std::getenv("XDG_DATA_HOME")) saved_data_home_ = data;
    setenv("XDG_DATA_HOME", Path("data").c_str(), 1);
    run.file_system = &files;
    run.OpenOutput(Path("run.log"), nullptr);
    run.DeleteToRecycleBin = false;
  }
  void TearDown() override {
    if (saved_data_home_) {
      setenv("XDG_DATA_HOME", saved_data_home_->c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
  }

  std::string Path(const std::string& name) { return temp / name; }
  bool Exists(const std::string& name) {
    return std::filesystem::exists(std::filesystem::symlink_status(Path(name)));
  }
  // The run's log so far (the output is closed).
  std::string Log() {
    run.Output->CloseLog();
    return orvanel::testing::ReadBytes(Path("run.log"));
  }

  orvanel::testing::TempFolder temp;
  orvanel::testing::QuietStdout quiet;
  orvanel::testing::FaultyFileSystem files;
  RunContext run;

 private:
  std::optional<std::string> saved_data_home_;
};

}  // namespace sweepwell
