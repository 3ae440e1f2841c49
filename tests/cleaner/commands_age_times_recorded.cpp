// The times the age commands count when a file system does not record one of them: a file
// whose only counted time is missing has no age, and stays.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>
#include <vector>

#include "cleaner/RunContext.h"
#include "cleaner/modByAge.h"
#include "platform/file_system.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

using testing::TempFolder;

// A file system that keeps no birth and no change times, as some still do not (the listing then
// gives the write time in the birth time's place).
class NoBirthTimes : public platform::FileSystemWrapper {
 public:
  NoBirthTimes() : FileSystemWrapper(platform::RealFileSystem()) {}
  uint32_t ListFolder(const platform::Folder& folder,
                      std::vector<platform::FindRecord>* records) override {
    const uint32_t error = target().ListFolder(folder, records);
    for (platform::FindRecord& record : *records) {
      record.has_creation_time = false;
      record.creation_time = record.last_write_time;
      record.change_time = 0;
    }
    return error;
  }
};

class AgeTimesRecorded : public ::testing::Test {
 protected:
  void SetUp() override {
    run.OpenOutput(temp / "age.log", nullptr);
    run.DeleteToRecycleBin = false;
    ASSERT_EQ(mkdir((temp / "t").c_str(), 0755), 0);
    testing::WriteBytes(temp / "t/old", "x");
    struct timespec long_ago[2] = {{std::time(nullptr) - 90 * 86400, 0},
                                   {std::time(nullptr) - 90 * 86400, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (temp / "t/old").c_str(), long_ago, 0), 0);
    run.file_system = &files;
    SetAgeDays(run, 10);
  }

  bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
  }

  TempFolder temp;
  testing::QuietStdout quiet;
  NoBirthTimes files;
  RunContext run;
};

TEST_F(AgeTimesRecorded, AFileWithNoneOfTheCountedTimesRecordedStays) {
  for (const char* times : {"birth", "change", "birth, change"}) {
    SetAgeTimes(run, times);
    DeleteFilesByAge(run, temp / "t", false);
    EXPECT_TRUE(Exists(temp / "t/old")) << times;
  }
  // With a time that is recorded beside it, that time decides.
  SetAgeTimes(run, "Birth;Write");
  DeleteFilesByAge(run, temp / "t", false);
  EXPECT_FALSE(Exists(temp / "t/old"));
}

TEST_F(AgeTimesRecorded, UnknownTimeNamesAreRefused) {
  uint32_t times = 0;
  EXPECT_FALSE(ParseAgeTimes("", &times));
  EXPECT_FALSE(ParseAgeTimes("write,,creation", &times));
  EXPECT_TRUE(ParseAgeTimes(" change\taccess ", &times));
  EXPECT_EQ(times, kAgeTimeChange | kAgeTimeAccess);
  EXPECT_THROW(SetAgeTimes(run, "mtime"), support::Error);
  EXPECT_EQ(run.AgeTimes, kAgeTimeWrite | kAgeTimeAccess);
}

}  // namespace
}  // namespace sweepwell
