// A stop signal that arrives while a batch of files goes for good: the run stops after the file
// in progress, and the log names exactly the files that went (the lines written ahead for the
// others are taken back). The signal comes from the file system itself, in the middle of the
// 100th deletion of 256, so the moment is exact. The stop flag lives as long as the process,
// hence the run happens in a child process of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/frmConsole.h"
#include "cleaner/modDelTree.h"
#include "common/test_files.h"
#include "platform/terminal.h"

namespace sweepwell {
namespace {

namespace fs = std::filesystem;

// Raises SIGTERM right after its `at`-th file deletion.
class StoppingFileSystem : public platform::FileSystemWrapper {
 public:
  StoppingFileSystem(platform::FileSystem& target, int at) : FileSystemWrapper(target), at_(at) {}
  uint32_t DeleteEntryFile(const platform::Folder& folder, std::string_view name) override {
    const uint32_t code = target().DeleteEntryFile(folder, name);
    if (++deleted_ == at_) raise(SIGTERM);
    return code;
  }
  int deleted() const { return deleted_; }

 private:
  int at_;
  int deleted_ = 0;
};

// The run in the child: 0 when every check held, else 1 with what failed on standard error.
int StopDuringABatch(const std::string& pattern) {
  orvanel::testing::TempFolder temp;
  orvanel::testing::QuietStdout quiet;
  setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
  const std::string folder = temp / "big";
  fs::create_directories(folder);
  constexpr int kFiles = 256, kStopAt = 100;
  for (int i = 0; i < kFiles; ++i)
    orvanel::testing::WriteBytes(folder + "/f" + std::to_string(i), "x");
  StoppingFileSystem files(platform::RealFileSystem(), kStopAt);
  int failures = 0;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) {
      std::fprintf(stderr, "%s\n", what.c_str());
      ++failures;
    }
  };
  {
    RunContext run;
    run.file_system = &files;
    run.OpenOutput(temp / "run.log", nullptr);
    run.DeleteToRecycleBin = false;
    platform::InstallStopSignalHandlers();
    bool stopped = false;
    try {
      if (pattern.empty()) {
        DeleteFolder(run, folder);
      } else {
        DeleteFiles(run, folder + "/" + pattern, false);
      }
    } catch (const RunInterrupted&) {
      stopped = true;
    }
    check(stopped, "the run was not stopped");
    check(files.deleted() == kStopAt,
          std::to_string(files.deleted()) + " files went, not " + std::to_string(kStopAt));
    run.Output->CloseLog();
  }
  std::set<std::string> named;
  std::istringstream log(orvanel::testing::ReadBytes(temp / "run.log"));
  for (std::string line; std::getline(log, line);) {
    const size_t mark = line.find("  :: ");
    if (mark != std::string::npos) named.insert(line.substr(0, mark));
  }
  int left = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = folder + "/f" + std::to_string(i);
    const bool exists = fs::exists(path);
    left += exists ? 1 : 0;
    check(exists != (named.count(path) == 1),
          path + (exists ? " is still there and has a line" : " went without a line"));
  }
  check(left == kFiles - kStopAt, std::to_string(left) + " files left");
  check(fs::exists(folder), "the folder went");
  return failures == 0 ? 0 : 1;
}

class BatchStop : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(BatchStop, DeleteFolderStopsAfterTheFileInProgressAndLogsExactlyWhatWent) {
  EXPECT_EXIT(std::exit(StopDuringABatch("")), ::testing::ExitedWithCode(0), "");
}

TEST_F(BatchStop, DeleteFilesStopsAfterTheFileInProgressAndLogsExactlyWhatWent) {
  EXPECT_EXIT(std::exit(StopDuringABatch("f*")), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace sweepwell
