// COutput: the log is written line by line and stops at DumpOutput, the console's text box model
// empties itself past 20000 characters, and the per-entry pattern counts what it reports.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log = temp / "run.log";
    run.OpenOutput(log, nullptr);
    run.DeleteToRecycleBin = false;
  }

  TempFolder temp;
  testing::QuietStdout quiet;
  std::string log;
  RunContext run;
};

const std::string kRule = std::string(78, '=') + "\n";

TEST_F(OutputTest, LogIsCompleteAtEveryLineEndAndStopsAtDumpOutput) {
  run.Output->AddText("first ");
  EXPECT_EQ(ReadBytes(log), kRule);  // an unfinished line waits for its end
  run.Output->AddLine("line");
  EXPECT_EQ(ReadBytes(log), kRule + "first line\n");
  run.Output->AddText("tail");
  run.Output->DumpOutput();
  run.Output->AddLine(" and the prompt");
  run.Output->CloseLog();
  EXPECT_EQ(ReadBytes(log), kRule + "first line\ntail");
}

TEST_F(OutputTest, EachRunAppendsItsRuleLine) {
  run.Output->AddLine("one");
  run.Output.reset();
  run.OpenOutput(log, nullptr);
  run.Output->AddLine("two");
  run.Output->CloseLog();
  EXPECT_EQ(ReadBytes(log), kRule + "one\n" + kRule + "two\n");
}

TEST_F(OutputTest, DisplayIsClearOnlyBeforeTheFirstText) {
  EXPECT_TRUE(run.Output->IsDisplayClear());
  run.Output->AddText("");
  EXPECT_TRUE(run.Output->IsDisplayClear());
  run.Output->AddLine(std::string(20001, 'x'));
  EXPECT_FALSE(run.Output->IsDisplayClear());
  // The next piece empties the box and is then its only text: still not clear.
  run.Output->AddText("y");
  EXPECT_FALSE(run.Output->IsDisplayClear());
}

TEST_F(OutputTest, DeletedFileCountsAsReportedAndFreed) {
  WriteBytes(temp / "a.bin", std::string(1234, 'a'));
  EXPECT_TRUE(run.Output->Deletion().DeleteAndReportFile(temp / "a.bin"));
  run.Output->CloseLog();
  EXPECT_EQ(ReadBytes(log), kRule + temp / "a.bin" + "  :: 1 234 bytes\n");
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  EXPECT_EQ(run.Output->Totals().FreedBytes, 1234);
  struct stat st;
  EXPECT_NE(stat((temp / "a.bin").c_str(), &st), 0);
}

TEST_F(OutputTest, MissingFileLineHasNoSizeAndEndsWithTheError) {
  EXPECT_FALSE(run.Output->Deletion().DeleteAndReportFile(temp / "gone.txt"));
  run.Output->CloseLog();
  EXPECT_EQ(ReadBytes(log), kRule + temp / "gone.txt" + "  [Файл не найден]\n");
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 0);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 0);
}

TEST_F(OutputTest, FullFolderIsReportedAndKeptWithThePathAccessError) {
  mkdir((temp / "full").c_str(), 0755);
  WriteBytes(temp / "full/x", "x");
  EXPECT_FALSE(run.Output->Deletion().RemoveAndReportFolder(temp / "full"));
  run.Output->CloseLog();
  EXPECT_EQ(ReadBytes(log), kRule + temp / "full" + "  :: DIR  [Ошибка доступа к пути или файлу]\n");
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 0);
}

TEST_F(OutputTest, ReadOnlyFileIsDeleted) {
  WriteBytes(temp / "ro", "data");
  chmod((temp / "ro").c_str(), 0444);
  EXPECT_TRUE(run.Output->Deletion().DeleteAndReportFile(temp / "ro"));
}

TEST_F(OutputTest, CreateFolderCountsAFolderLeftAndNeverRaises) {
  run.Output->CreateFolder(temp / "n/e/w");
  WriteBytes(temp / "file", "x");
  run.Output->CreateFolder(temp / "file/sub");
  run.Output->CloseLog();
  struct stat st;
  EXPECT_EQ(stat((temp / "n/e/w").c_str(), &st), 0);
  std::string text = ReadBytes(log);
  EXPECT_NE(text.find("*NEW* " + temp / "n/e/w" + "  :: DIR\n"), std::string::npos);
  EXPECT_NE(text.find("*NEW* " + temp / "file/sub" + "  :: DIR  ["), std::string::npos);
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 2);
}

TEST_F(OutputTest, TotalsLabelsLineUpAndShowWhatIsLeft) {
  WriteBytes(temp / "a", "12345");
  run.Output->Deletion().DeleteAndReportFile(temp / "a");
  run.Output->Deletion().DeleteAndReportFile(temp / "missing");
  run.Output->ReportTime();
  run.Output->CloseLog();
  std::string text = ReadBytes(log);
  EXPECT_NE(text.find("\nВсего удалено файлов:  1  [осталось: 0]\n"), std::string::npos);
  EXPECT_NE(text.find("\nВсего удалено папок:   0  [осталось: 0]\n"), std::string::npos);
  EXPECT_NE(text.find("\nВсего удалено ссылок:  0  [осталось: 0]\n"), std::string::npos);
  EXPECT_NE(text.find("\nОсвобождено на дисках: 5 bytes  [осталось: 0 bytes]\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nТекущая дата:  "), std::string::npos);
  EXPECT_NE(text.find("\nТекущее время: "), std::string::npos);
  EXPECT_NE(text.find("\nПроцесс занял: "), std::string::npos);
}

}  // namespace
}  // namespace sweepwell
