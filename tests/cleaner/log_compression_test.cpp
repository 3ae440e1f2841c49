// At its end the program hands its closed log to the file library to be kept compressed.
#include <gtest/gtest.h>

#include <filesystem>

#include "cleaner/sweepwell_runner.h"
#include "fileio/loop_image.h"

namespace sweepwell_test {
namespace {

using quern::testing::LoopImage;
using quern::testing::RunCommand;

std::string OnlyFileIn(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    return entry.path().string();
  }
  return {};
}

TEST(LogCompression, TheLogEndsCompressedWhereTheFileSystemCompresses) {
  LoopImage image(LoopImage::kBtrfs);
  if (!image.usable()) GTEST_SKIP() << image.why();
  Sandbox sandbox;
  sandbox.SetEnv("XDG_DATA_HOME", image / "data");
  RunResult result = sandbox.RunScript("cleaner.begin-group = \"compressed log\"\ncleaner.done\n");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::string log = OnlyFileIn(image / "data/Greyfen Works/Sweep Well");
  ASSERT_FALSE(log.empty());
  std::string flags;
  ASSERT_EQ(RunCommand("lsattr -d '" + log + "'", &flags), 0) << flags;
  EXPECT_NE(flags.substr(0, flags.find(' ')).find('c'), std::string::npos) << flags;

  // The next run appends to the compressed log as to any other.
  result = sandbox.RunScript("cleaner.begin-group = \"second run\"\n");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::string text;
  RunCommand("cat '" + log + "'", &text);
  EXPECT_NE(text.find("compressed log"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);
}

TEST(LogCompression, AMissingLibraryChangesNothingForTheRun) {
  Sandbox sandbox;
  // The program alone, with nothing registered and no library beside it.
  std::string lonely = sandbox.Root() + "/sweepwell";
  std::filesystem::copy_file(SWEEPWELL_BINARY, lonely);
  sandbox.WriteText(sandbox.ScriptPath(), "cleaner.begin-group = \"no library\"\n");
  RunResult result = sandbox.RunTool({lonely, sandbox.ScriptPath()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  std::string text;
  RunCommand("cat '" + sandbox.LogPath() + "'", &text);
  EXPECT_NE(text.find("no library"), std::string::npos);
}

}  // namespace
}  // namespace sweepwell_test
