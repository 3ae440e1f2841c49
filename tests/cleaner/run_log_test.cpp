// RunLog: whole lines, no cut line after a failed write, the missed-lines note on recovery, and
// a line end before the first line when the file ended without one.
//
// A full disk without root: the file-size limit (RLIMIT_FSIZE) makes a write stop short at the
// limit and the next one fail, as a disk that fills up does, and raising the limit again is
// the disk freed. The limit is set in a child process, so the test process keeps its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

#include "cleaner/RunLog.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Runs `body` in a child whose files may grow to `limit` bytes; its return value is the exit
// status (0 for success).
int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead
    struct rlimit size_limit {};
    getrlimit(RLIMIT_FSIZE, &size_limit);
    size_limit.rlim_cur = limit;
    if (setrlimit(RLIMIT_FSIZE, &size_limit) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void RaiseFileSizeLimit() {
  struct rlimit size_limit {};
  getrlimit(RLIMIT_FSIZE, &size_limit);
  size_limit.rlim_cur = size_limit.rlim_max;
  setrlimit(RLIMIT_FSIZE, &size_limit);
}

const std::string kRule = std::string(78, '=') + "\n";
const std::string kLine = std::string(30, 'x') + "\n";  // 31 bytes

class RunLogTest : public ::testing::Test {
 protected:
  TempFolder temp;
  std::string path = temp / "run.log";
};

// The limit falls in the middle of the third line: the part of it that went in is taken out
// again, the console-only lines are counted, and when space comes back the note comes first.
TEST_F(RunLogTest, FailedWritesLeaveNoCutLineAndRecoveryRecordsTheMissedLines) {
  const rlim_t limit = kRule.size() + 2 * kLine.size() + 10;
  int status = RunWithFileSizeLimit(limit, [&] {
    RunLog log;
    if (log.Open(platform::RealFileSystem(), path, kRule) != 0) return 10;
    if (log.Write(kLine) != RunLog::WriteResult::kWritten) return 11;
    if (log.Write(kLine) != RunLog::WriteResult::kWritten) return 12;
    if (log.Write(kLine) != RunLog::WriteResult::kFailed) return 13;
    if (log.LastError() != platform::error::kFileTooLarge) return 14;
    if (log.Write(kLine + kLine) != RunLog::WriteResult::kStillFailing) return 15;
    if (log.PendingMissedLines() != 3) return 16;
    RaiseFileSizeLimit();
    if (log.Write("back\n") != RunLog::WriteResult::kRecovered) return 17;
    if (log.Write("and on\n") != RunLog::WriteResult::kWritten) return 18;
    return log.MissedLines() == 3 && log.PendingMissedLines() == 0 ? 0 : 19;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), kRule + kLine + kLine +
                                 "*** Пропущено строк журнала: 3 (файл журнала достиг "
                                 "предельного размера) ***\nback\nand on\n");
}

// Lines written ahead: a batch longer than a page arrives whole, its tail can be taken back
// while the file ends with it, never once another writer appended, and a batch that does not
// fit leaves nothing and counts nothing (the caller writes its lines the ordinary way).
TEST_F(RunLogTest, LinesWrittenAheadArriveWholeAndAreTakenBackOnlyFromTheEnd) {
  RunLog log;
  ASSERT_EQ(log.Open(platform::RealFileSystem(), path, kRule), 0u);
  std::string batch;
  for (int i = 0; i < 300; ++i) batch += kLine;  // 9 300 bytes: three pages
  ASSERT_EQ(log.WriteAhead(batch), 0u);
  ASSERT_EQ(ReadBytes(path), kRule + batch);
  EXPECT_TRUE(log.TakeBack(std::string_view(batch).substr(kLine.size())));
  EXPECT_EQ(ReadBytes(path), kRule + kLine);

  ASSERT_EQ(log.WriteAhead(kLine + kLine), 0u);
  std::ofstream(path, std::ios::binary | std::ios::app) << "another run\n";
  EXPECT_FALSE(log.TakeBack(kLine));
  EXPECT_EQ(ReadBytes(path), kRule + kLine + kLine + kLine + "another run\n");
  log.Close();

  const std::string before = ReadBytes(path);
  int status = RunWithFileSizeLimit(before.size() + kRule.size() + 100, [&] {
    RunLog limited;
    if (limited.Open(platform::RealFileSystem(), path, kRule) != 0) return 10;
    if (limited.WriteAhead(batch) == platform::error::kSuccess) return 11;
    return limited.MissedLines() == 0 ? 0 : 12;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), before + kRule);
}

// A log that cannot take the run's first line is left exactly as it was, cut-back included.
TEST_F(RunLogTest, FirstLineThatDoesNotFitLeavesTheFileAsItWas) {
  const std::string before = "old run\n";
  WriteBytes(path, before);
  int status = RunWithFileSizeLimit(before.size() + 5, [&] {
    RunLog log;
    uint32_t code = log.Open(platform::RealFileSystem(), path, kRule);
    return code == platform::error::kFileTooLarge && !log.IsOpen() ? 0 : 10;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), before);
}

// A run killed in the middle of a line left it without its end: the next run ends it first.
// One that ends properly gets nothing added, and an empty file neither.
TEST_F(RunLogTest, FileEndingWithoutALineEndGetsOneBeforeTheFirstLine) {
  WriteBytes(path, "cut li");
  {
    RunLog log;
    ASSERT_EQ(log.Open(platform::RealFileSystem(), path, kRule), 0u);
  }
  EXPECT_EQ(ReadBytes(path), "cut li\n" + kRule);
  {
    RunLog log;
    ASSERT_EQ(log.Open(platform::RealFileSystem(), path, kRule), 0u);
  }
  EXPECT_EQ(ReadBytes(path), "cut li\n" + kRule + kRule);
  const std::string fresh = temp / "fresh.log";
  RunLog log;
  ASSERT_EQ(log.Open(platform::RealFileSystem(), fresh, kRule), 0u);
  log.Close();
  EXPECT_EQ(ReadBytes(fresh), kRule);
}

TEST_F(RunLogTest, OnlyARegularFileIsTaken) {
  RunLog log;
  EXPECT_EQ(log.Open(platform::RealFileSystem(), temp.path(), kRule),
            platform::error::kBadFileType);
  EXPECT_EQ(log.Open(platform::RealFileSystem(), "/dev/null", kRule),
            platform::error::kBadFileType);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(RunLog::Cause(platform::error::kBadFileType),
            "это не обычный файл (папка, канал или устройство)");
}

// Latin-1 as an 8-bit page: U+0000..U+00FF are its bytes, anything else becomes "?".
std::string ToLatin1(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out += utf8[i];
    } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>((lead & 0x03) << 6 | (utf8[++i] & 0x3F));
    } else {
      out += '?';
      while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

std::string FromLatin1(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

// What a reader of the log does: every "<U+hex>" back to its character (UTF-8), the rest read
// in the page.
std::string ReadBack(std::string_view log) {
  std::string out;
  size_t i = 0;
  while (i < log.size()) {
    if (log.substr(i, 3) == "<U+") {
      const size_t end = log.find('>', i);
      const auto c = static_cast<char32_t>(
          std::stoul(std::string(log.substr(i + 3, end - i - 3)), nullptr, 16));
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
      i = end + 1;
    } else {
      out += FromLatin1(log.substr(i, 1));
      ++i;
    }
  }
  return out;
}

std::string Escaped(std::string_view utf8) {
  return RunLog::EscapedForAnsi(utf8, &ToLatin1, &FromLatin1);
}

// A log in an 8-bit page: what the page holds is written in it, everything else (Cyrillic,
// CJK, a character beyond the basic plane, a lone surrogate of a Windows name) as an escape a
// reader turns back into the same text; a "?" or "<U+" of the name itself is never mistaken
// for one.
TEST(RunLogEscapes, NamesThePageCannotHoldAreEscapedAndReadBackWhole) {
  EXPECT_EQ(Escaped("plain ascii?\n"), "plain ascii?\n");
  EXPECT_EQ(Escaped("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(Escaped("\xD0\x92\xD1\x81"), "<U+0412><U+0441>");
  EXPECT_EQ(Escaped("\xF0\x9F\x98\x80"), "<U+1F600>");
  EXPECT_EQ(Escaped("\xED\xB2\x80"), "<U+DC80>");
  EXPECT_EQ(Escaped("a<U+0041>b<"), "a<U+003C>U+0041>b<");

  const std::string names[] = {
      "/t/\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9 \xD0\xB6?.txt",
      "/t/<U+4E2D>\xE4\xB8\xAD <U+ <U+0041\n",
      "/t/\xC3\xA9\xF0\x9F\x98\x80<\xD1\x8F>",
  };
  for (const std::string& name : names) {
    const std::string log = Escaped(name);
    EXPECT_EQ(ReadBack(log), name) << log;
  }
}

// Bytes that are not UTF-8 cannot be held as they are; each is marked as the replacement
// character rather than passed on as a byte the page would read as another letter.
TEST(RunLogEscapes, BytesThatAreNotUtf8BecomeReplacementEscapes) {
  EXPECT_EQ(Escaped("a\xFF"
                    "b\xC3"),
            "a<U+FFFD>b<U+FFFD>");
  EXPECT_EQ(Escaped("\xE0\x80\x80"), "<U+FFFD><U+FFFD><U+FFFD>");  // overlong
}

// A log that starts with the UTF-8 mark stays UTF-8: later runs add no second mark.
TEST_F(RunLogTest, LogWithTheUtf8MarkStaysUtf8) {
  WriteBytes(path, "\xEF\xBB\xBF" + kRule);
  RunLog log;
  ASSERT_EQ(log.Open(platform::RealFileSystem(), path, kRule), 0u);
  EXPECT_TRUE(log.IsUtf8());
  ASSERT_EQ(log.Write("\xD0\x92\n"), RunLog::WriteResult::kWritten);
  log.Close();
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" + kRule + kRule + "\xD0\x92\n");
}

}  // namespace
}  // namespace sweepwell
