// Loading script files: what loads, what does not, and how encodings and line ends are read.
#include <sys/stat.h>

#include <string>

#include "common/memory_file_system.h"
#include "loom_test_support.h"

namespace loom_test {
namespace {

using LoadTest = ScriptTest;

std::string Utf16(const std::u16string& text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

TEST_F(LoadTest, MissingFileDoesNotLoad) {
  EXPECT_FALSE(engine_.Script().LoadFromFile(dir_ + "/nothing-here.loom"));
  EXPECT_FALSE(engine_.Script().LoadFromFile(""));
}

TEST_F(LoadTest, FolderDoesNotLoad) { EXPECT_FALSE(engine_.Script().LoadFromFile(dir_)); }

TEST_F(LoadTest, EmptyFileDoesNotLoad) { EXPECT_FALSE(Load("")); }

// Each refusal says why; a FIFO with no writer is refused without waiting for one.
TEST_F(LoadTest, FailedLoadTellsWhy) {
  loom::Script& script = engine_.Script();
  EXPECT_FALSE(script.LoadFromFile(dir_ + "/nothing-here.loom"));
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kCannotOpen);
  EXPECT_EQ(script.LoadError(), 2u);  // file not found
  const std::string fifo = dir_ + "/fifo.loom";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& name : {fifo, dir_, std::string("/dev/null")}) {
    EXPECT_FALSE(script.LoadFromFile(name)) << name;
    EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kNotRegularFile) << name;
  }
  EXPECT_FALSE(Load("# only a comment\n"));
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kNoStatement);
  EXPECT_TRUE(Load("cleaner.done\n"));
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kNone);
}

// The script is read through the file system it is given: one in memory serves as the disk
// does, with the same refusals.
TEST_F(LoadTest, AScriptIsReadThroughTheFileSystemItIsGiven) {
  orvanel::testing::MemoryFileSystem files;
  files.AddFile("/s/clean.loom", "cleaner.done\n");
  files.AddSpecial("/s/pipe.loom", orvanel::testing::MemoryFileSystem::Kind::kFifo);
  files.AddLink("/s/to-clean.loom", "clean.loom");
  files.AddFile("/s/huge.loom", std::string(17 * 1024 * 1024, '#'));
  loom::Script& script = engine_.Script();
  EXPECT_TRUE(script.LoadFromFile("/s/clean.loom", files));
  EXPECT_TRUE(script.LoadFromFile("/s/to-clean.loom", files));
  EXPECT_FALSE(script.LoadFromFile("/s/clean.loom/", files));  // names a folder
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kCannotOpen);
  EXPECT_EQ(script.LoadError(), 3u);  // path not found, as the system says of "file/"
  for (const std::string name : {"/s/pipe.loom", "/s", "/s/"}) {
    EXPECT_FALSE(script.LoadFromFile(name, files)) << name;
    EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kNotRegularFile) << name;
  }
  EXPECT_FALSE(script.LoadFromFile("/s/huge.loom", files));
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kTooLarge);
  EXPECT_FALSE(script.LoadFromFile("/none/clean.loom", files));
  EXPECT_EQ(script.LoadFailure(), loom::LoadFailure::kCannotOpen);
}

TEST_F(LoadTest, BlanksAndCommentsOnlyDoNotLoad) {
  EXPECT_FALSE(Load("  \n\t\r\n# a comment\r// another\n   # indented = \"x\"\n\n"));
  EXPECT_FALSE(Load("\xEF\xBB\xBF"));  // a byte-order mark and nothing else
}

TEST_F(LoadTest, RunOfAScriptThatDidNotLoadFailsWithoutCalls) {
  EXPECT_FALSE(Load("# nothing\n"));
  EXPECT_FALSE(engine_.Run());
  EXPECT_NE(error().Description.find("не загружен"), std::string::npos);
  EXPECT_TRUE(calls().empty());
}

TEST_F(LoadTest, AWrongLineStillLoadsSoThatRunCanReportIt) {
  EXPECT_TRUE(Load("# header\nthis is not a statement\n"));
  EXPECT_FALSE(engine_.Run());
  EXPECT_EQ(error().Line, 2);
}

TEST_F(LoadTest, FileLargerThanTheCapDoesNotLoad) {
  std::string huge = "cleaner.done\n";
  huge.resize(17 * 1024 * 1024, '#');
  EXPECT_FALSE(Load(huge));
}

TEST_F(LoadTest, ReloadingReplacesThePreviousScript) {
  ASSERT_TRUE(Load("cleaner.done\n"));
  EXPECT_FALSE(engine_.Script().LoadFromFile(WriteScript("", "empty.loom")));
  EXPECT_FALSE(engine_.Run());
  EXPECT_TRUE(calls().empty());
}

TEST_F(LoadTest, Utf8ByteOrderMarkIsSkipped) {
  ASSERT_TRUE(
      Run("\xEF\xBB\xBF"
          "cleaner.done\n"));
  ASSERT_EQ(calls().size(), 1u);

  // The mark is not a character of the first line either.
  EXPECT_TRUE(
      Load("\xEF\xBB\xBF"
           "cleaner.nope\n"));
  EXPECT_FALSE(engine_.Run());
  EXPECT_EQ(error().Column, 9);
}

TEST_F(LoadTest, Utf16WithByteOrderMarkIsReadInBothByteOrders) {
  // "Привет" and a character outside the BMP (a surrogate pair).
  const std::u16string script = u"cleaner.begin-group = \"Привет \U0001F600\"\r\ncleaner.done\r\n";
  for (bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "big endian" : "little endian");
    loom::ScriptEngine engine;
    auto object = std::make_shared<FakeObject>();
    ASSERT_TRUE(engine.Objects().Add(object));
    ASSERT_TRUE(engine.Script().LoadFromFile(WriteScript(Utf16(script, big_endian))));
    ASSERT_TRUE(engine.Run()) << engine.Error().Description;
    ASSERT_EQ(object->calls.size(), 2u);
    EXPECT_EQ(std::get<std::string>(object->calls[0].value), "Привет \xF0\x9F\x98\x80");
  }
}

TEST_F(LoadTest, Utf16WithAnOddByteCountIsReportedNotRun) {
  std::string bytes = Utf16(u"cleaner.done\n", false) + "x";
  ASSERT_TRUE(Load(bytes));
  EXPECT_FALSE(engine_.Run());
  EXPECT_NE(error().Description.find("UTF-16"), std::string::npos);
  EXPECT_EQ(error().Line, 2);
  EXPECT_TRUE(calls().empty());
}

TEST_F(LoadTest, Utf16UnpairedSurrogateIsReportedWhereItIs) {
  std::u16string script = u"cleaner.done\ncleaner.begin-group = \"ab";
  script += char16_t{0xD800};  // a high surrogate followed by no low one
  script += u"\"\n";
  ASSERT_TRUE(Load(Utf16(script, true)));
  EXPECT_FALSE(engine_.Run());
  EXPECT_EQ(error().Line, 2);
  EXPECT_EQ(error().Column, 26);
  EXPECT_TRUE(calls().empty());
}

TEST_F(LoadTest, LinesEndInLfCrLfOrALoneCr) {
  ASSERT_TRUE(Run("cleaner.done\r\ncleaner.done\rcleaner.done\ncleaner.done"));
  EXPECT_EQ(calls().size(), 4u);
}

TEST_F(LoadTest, LineNumbersCountEveryKindOfLineEnd) {
  ASSERT_TRUE(Load("cleaner.done\r\n\r\n# c\rcleaner.done\n\r\ncleaner.oops\r\n"));
  EXPECT_FALSE(engine_.Run());
  EXPECT_EQ(error().Line, 6);
  EXPECT_EQ(error().Column, 9);
}

}  // namespace
}  // namespace loom_test
