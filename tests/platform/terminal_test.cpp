#include "platform/terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {

using platform::DecodedKey;
using platform::DecodeKey;
using platform::Key;

struct KeyCase {
  const char* bytes;
  Key key;
  size_t length;
};

void ExpectDecoded(const KeyCase& c, bool more_may_come) {
  DecodedKey decoded = DecodeKey(c.bytes, more_may_come);
  EXPECT_EQ(decoded.key, c.key) << "bytes: " << testing::PrintToString(std::string(c.bytes));
  EXPECT_EQ(decoded.length, c.length) << "bytes: " << testing::PrintToString(std::string(c.bytes));
}

TEST(DecodeKeyTest, PlainF1OfEveryTerminal) {
  for (const KeyCase& c : {KeyCase{"\x1bOP", Key::kF1, 3}, KeyCase{"\x1b[11~", Key::kF1, 5},
                           KeyCase{"\x1b[[A", Key::kF1, 4}, KeyCase{"\x1b[11;1~", Key::kF1, 7},
                           KeyCase{"\x1b[1;1P", Key::kF1, 6}, KeyCase{"\x1b[P", Key::kF1, 3}}) {
    ExpectDecoded(c, true);
  }
}

TEST(DecodeKeyTest, F1WithAModifierIsAnotherKey) {
  for (const KeyCase& c :
       {KeyCase{"\x1b[1;2P", Key::kF1WithModifier, 6},  // Shift (xterm)
        KeyCase{"\x1b[1;5P", Key::kF1WithModifier, 6},  // Ctrl
        KeyCase{"\x1b[1;3P", Key::kF1WithModifier, 6},  // Alt
        KeyCase{"\x1b[11;2~", Key::kF1WithModifier, 7}, KeyCase{"\x1bO2P", Key::kF1WithModifier, 4},
        KeyCase{"\x1b[11^", Key::kF1WithModifier, 5},    // Ctrl (rxvt)
        KeyCase{"\x1b[11$", Key::kF1WithModifier, 5},    // Shift (rxvt)
        KeyCase{"\x1b\x1bOP", Key::kF1WithModifier, 4},  // Alt (rxvt)
        KeyCase{"\x1b\x1b[11~", Key::kF1WithModifier, 6}}) {
    ExpectDecoded(c, true);
  }
}

TEST(DecodeKeyTest, OtherKeysTakeTheirWholeSequence) {
  for (const KeyCase& c : {KeyCase{"a", Key::kOther, 1}, KeyCase{"\r", Key::kOther, 1},
                           KeyCase{"\x1bOQ", Key::kOther, 3},        // F2
                           KeyCase{"\x1b[A", Key::kOther, 3},        // arrow up
                           KeyCase{"\x1b[15~", Key::kOther, 5},      // F5
                           KeyCase{"\x1b[1;5A", Key::kOther, 6},     // Ctrl+Up
                           KeyCase{"\x1b[[B", Key::kOther, 4},       // F2 (Linux console)
                           KeyCase{"\x1b[23$", Key::kOther, 5},      // Shift+F11 (rxvt)
                           KeyCase{"\x1b[200~", Key::kOther, 6},     // start of a bracketed paste
                           KeyCase{"\x1bx", Key::kOther, 2},         // Alt+x
                           KeyCase{"\xd0\x99", Key::kOther, 2},      // a Cyrillic letter
                           KeyCase{"\xe2\x82\xac", Key::kOther, 3},  // the euro sign
                           KeyCase{"\x1b\x1b[A", Key::kOther, 4}}) {
    ExpectDecoded(c, true);
  }
}

TEST(DecodeKeyTest, OnlyTheFirstKeyIsTaken) {
  ExpectDecoded({"\x1bOPx", Key::kF1, 3}, true);
  ExpectDecoded({"x\x1bOP", Key::kOther, 1}, true);
  ExpectDecoded({"\x1b[1;2Pab", Key::kF1WithModifier, 6}, true);
  // Esc pressed twice is two keys, not an Alt sequence.
  ExpectDecoded({"\x1b\x1bx", Key::kOther, 1}, true);
}

TEST(DecodeKeyTest, CutSequenceWaitsForItsRestWhileMoreMayCome) {
  for (const char* start : {"\x1b", "\x1bO", "\x1b[", "\x1b[1", "\x1b[1;", "\x1b[1;2", "\x1b[[",
                            "\x1b[11", "\x1b\x1b", "\x1b\x1bO", "\xd0", "\xe2\x82"}) {
    EXPECT_EQ(DecodeKey(start, true).length, 0u) << testing::PrintToString(std::string(start));
  }
}

TEST(DecodeKeyTest, CutSequenceWithNothingMoreIsOneKey) {
  // A lone ESC is the Esc key; ESC ESC is the first of two Esc keys.
  ExpectDecoded({"\x1b", Key::kOther, 1}, false);
  ExpectDecoded({"\x1b\x1b", Key::kOther, 1}, false);
  ExpectDecoded({"\x1bO", Key::kOther, 2}, false);  // Alt+O
  ExpectDecoded({"\x1b[1;2", Key::kOther, 5}, false);
  ExpectDecoded({"\xd0", Key::kOther, 1}, false);
}

TEST(DecodeKeyTest, BrokenOrEndlessSequencesNeverSwallowWhatFollows) {
  // A control byte ends the sequence; it is a key of its own.
  ExpectDecoded({"\x1b[1\x03", Key::kOther, 3}, true);
  ExpectDecoded({"\x1bO1\x03", Key::kOther, 3}, true);
  // A stray continuation byte is one key.
  ExpectDecoded({"\x82x", Key::kOther, 1}, true);
  // Parameters without end are cut at a bound rather than waited for forever.
  std::string endless = "\x1b[" + std::string(100, '1');
  DecodedKey decoded = DecodeKey(endless, true);
  EXPECT_EQ(decoded.key, Key::kOther);
  EXPECT_GT(decoded.length, 2u);
  EXPECT_LT(decoded.length, endless.size());
}

// Runs `body` in a child process and returns its wait status: signals and the stream state
// of the platform layer are process-wide, and a test must not leave them changed.
int RunInChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(WriteAllTest, ClosedPipeNeitherKillsNorBlocksAndLaterWritesAreSkipped) {
  int status = RunInChild([] {
    int ends[2];
    if (pipe(ends) != 0) return 10;
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
    if (platform::WriteAll(platform::StdStream::kOutput, "lost\n")) return 11;
    if (platform::WriteAll(platform::StdStream::kOutput, "lost too\n")) return 12;
    // Standard error is another stream and still works.
    return platform::WriteAll(platform::StdStream::kError, "") ? 0 : 13;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A reader that takes its time makes the writer see partial writes (and, with a non-blocking
// pipe, EAGAIN): every byte must still arrive, once and in order.
void ExpectEveryByteArrives(bool non_blocking) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::string text;
  for (int i = 0; text.size() < 1024 * 1024; ++i) text += "line " + std::to_string(i) + "\n";
  pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
    if (non_blocking) fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    _exit(platform::WriteAll(platform::StdStream::kOutput, text) ? 0 : 1);
  }
  close(ends[1]);
  std::string received;
  char chunk[1000];
  ssize_t got;
  while ((got = read(ends[0], chunk, sizeof chunk)) > 0) {
    received.append(chunk, static_cast<size_t>(got));
    if (received.size() % 50 == 0) usleep(100);
  }
  close(ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(received.size(), text.size());
  EXPECT_TRUE(received == text);
}

TEST(WriteAllTest, EveryByteArrivesThroughASlowReader) { ExpectEveryByteArrives(false); }

TEST(WriteAllTest, EveryByteArrivesThroughANonBlockingPipe) { ExpectEveryByteArrives(true); }

TEST(StopSignalTest, SignalsAreRecordedInsteadOfEndingTheProcess) {
  int status = RunInChild([] {
    platform::InstallStopSignalHandlers();
    platform::InstallStopSignalHandlers();  // idempotent
    if (platform::StopRequested() || platform::StopSignalNumber() != 0) return 10;
    raise(SIGTERM);
    if (!platform::StopRequested() || platform::StopSignalNumber() != SIGTERM) return 11;
    raise(SIGINT);
    raise(SIGHUP);
    // The first signal is the one that stopped the run.
    return platform::StopSignalNumber() == SIGTERM ? 0 : 12;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Before the run has anything to finish, a stop ends the process at once, also a stop that
// the parent left blocked and pending (it would otherwise never arrive); once switched over,
// the same signal is only recorded.
TEST(StopSignalTest, EarlySignalsEndTheProcessAtOnceUntilSwitchedToRecording) {
  int pending = RunInChild([] {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    raise(SIGTERM);
    platform::EndProcessOnStopSignals(130);
    return 10;  // not reached when the pending signal arrived
  });
  ASSERT_TRUE(WIFEXITED(pending)) << "killed by signal " << WTERMSIG(pending);
  EXPECT_EQ(WEXITSTATUS(pending), 130);

  int switched = RunInChild([] {
    platform::EndProcessOnStopSignals(130);
    platform::InstallStopSignalHandlers();
    raise(SIGHUP);
    return platform::StopSignalNumber() == SIGHUP ? 0 : 11;
  });
  ASSERT_TRUE(WIFEXITED(switched)) << "killed by signal " << WTERMSIG(switched);
  EXPECT_EQ(WEXITSTATUS(switched), 0);
}

// nohup and background jobs ignore some stop signals for the program; that choice holds.
TEST(StopSignalTest, SignalsIgnoredByTheParentStayIgnored) {
  int status = RunInChild([] {
    signal(SIGHUP, SIG_IGN);
    signal(SIGTERM, SIG_DFL);
    platform::InstallStopSignalHandlers();
    raise(SIGHUP);
    if (platform::StopRequested()) return 10;
    raise(SIGTERM);
    return platform::StopSignalNumber() == SIGTERM ? 0 : 11;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// KeyReader on a pipe as standard input: the reading side does not need a terminal, so the
// timing of escape sequences can be tested exactly.
class KeyReaderTest : public testing::Test {
 protected:
  // Runs `body` with standard input reading from a pipe that `feed` writes to.
  int Run(const std::function<void(int)>& feed, const std::function<int()>& body) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
      close(ends[1]);
      dup2(ends[0], STDIN_FILENO);
      _exit(body());
    }
    close(ends[0]);
    feed(ends[1]);
    close(ends[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  }
};

void Send(int fd, std::string_view bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST_F(KeyReaderTest, SequenceSplitAcrossReadsIsStillOneKey) {
  int result = Run(
      [](int fd) {
        Send(fd, "\x1bO");
        usleep(10 * 1000);
        Send(fd, "Px");
        usleep(300 * 1000);
      },
      [] {
        platform::KeyReader reader;
        platform::Key key;
        if (reader.Read(-1, &key) != platform::KeyReader::Result::kKey) return 1;
        if (key != Key::kF1) return 2;
        if (reader.Read(-1, &key) != platform::KeyReader::Result::kKey) return 3;
        if (key != Key::kOther) return 4;
        return reader.Read(0, &key) == platform::KeyReader::Result::kNoKey ? 0 : 5;
      });
  EXPECT_EQ(result, 0);
}

TEST_F(KeyReaderTest, LoneEscIsAKeyAndEndOfInputIsReported) {
  int result = Run(
      [](int fd) {
        Send(fd, "\x1b");
        usleep(300 * 1000);
      },
      [] {
        platform::KeyReader reader;
        platform::Key key;
        if (reader.Read(-1, &key) != platform::KeyReader::Result::kKey) return 1;
        if (key != Key::kOther) return 2;
        // The writer closes its end: no key can come any more, and a wait must not spin.
        if (reader.Read(-1, &key) != platform::KeyReader::Result::kClosed) return 3;
        return reader.Read(-1, &key) == platform::KeyReader::Result::kClosed ? 0 : 4;
      });
  EXPECT_EQ(result, 0);
}

TEST_F(KeyReaderTest, TimeoutWithoutKeys) {
  int result = Run([](int) { usleep(300 * 1000); },
                   [] {
                     platform::KeyReader reader;
                     platform::Key key;
                     return reader.Read(20, &key) == platform::KeyReader::Result::kNoKey ? 0 : 1;
                   });
  EXPECT_EQ(result, 0);
}

}  // namespace
