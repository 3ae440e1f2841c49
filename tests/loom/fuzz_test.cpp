// Random bytes and mutated scripts: the engine must never crash, and whatever it says must be
// one line of valid UTF-8 with a position. The fake object never fails, so any failed run
// must have failed in the check, before a single call.
#include <random>
#include <string>

#include "loom_test_support.h"
#include "common/valid_utf8.h"

namespace loom_test {
namespace {

using orvanel::testing::IsValidUtf8;

const char* const kSeeds[] = {
    "cleaner.begin-group = \"Temporary files\"\r\n",
    "cleaner.by-age-set-days = 30 # days\n",
    "cleaner.delete-to-recycle-bin = False\n",
    "cleaner.done()\n",
    "  cleaner . done // c\n",
    "cleaner.delete-files = \"%TEMP%\\*.tmp\"\"x\"\"\"\n",
    // A UTF-8 mark before the line (two literals: "\xBFc" would read as one escape).
    ("\xEF\xBB\xBF"
     "cleaner.by-age-set-days = -2.5e1\n"),
};

// Characters that matter to the scanner, so mutations hit interesting paths often.
const char kInteresting[] =
    "\"#/=().+-eE \t\r\n\0\xFF\xD0\x96"
    "aZ9_";

class FuzzTest : public ScriptTest {
 protected:
  void RunOnce(const std::string& bytes) {
    loom::ScriptEngine engine;
    auto object = std::make_shared<FakeObject>();
    ASSERT_TRUE(engine.Objects().Add(object));
    const std::string path = WriteScript(bytes, "fuzz.loom");
    if (!engine.Script().LoadFromFile(path)) {
      EXPECT_FALSE(engine.Run());
      return;
    }
    if (engine.Run()) return;
    const loom::Error& error = engine.Error();
    EXPECT_TRUE(object->calls.empty()) << error.Description;
    EXPECT_GE(error.Line, 1);
    EXPECT_GE(error.Column, 1);
    EXPECT_EQ(error.Description.rfind("Ошибка в скрипте", 0), 0u);
    EXPECT_EQ(error.Description.find('\n'), std::string::npos);
    EXPECT_TRUE(IsValidUtf8(error.Description)) << error.Description;
  }

  std::mt19937 random_{20240601};
};

TEST_F(FuzzTest, RandomBytesNeverCrash) {
  std::uniform_int_distribution<int> length(0, 300), byte(0, 255), prefix(0, 3);
  for (int iteration = 0; iteration < 1500; ++iteration) {
    std::string bytes;
    // Sometimes pretend to be UTF-8 or UTF-16 so the decoders see garbage too.
    switch (prefix(random_)) {
      case 1:
        bytes = "\xFF\xFE";
        break;
      case 2:
        bytes = "\xFE\xFF";
        break;
      case 3:
        bytes = "\xEF\xBB\xBF";
        break;
      default:
        break;
    }
    for (int i = length(random_); i > 0; --i) bytes += static_cast<char>(byte(random_));
    RunOnce(bytes);
    if (HasFatalFailure() || HasNonfatalFailure()) return;
  }
}

TEST_F(FuzzTest, MutatedScriptsNeverCrash) {
  std::uniform_int_distribution<std::size_t> seed(0, std::size(kSeeds) - 1);
  std::uniform_int_distribution<int> lines(1, 6), edits(1, 4), kind(0, 3);
  std::uniform_int_distribution<std::size_t> interesting(0, sizeof kInteresting - 2);
  for (int iteration = 0; iteration < 2500; ++iteration) {
    std::string script;
    for (int i = lines(random_); i > 0; --i) script += kSeeds[seed(random_)];
    for (int i = edits(random_); i > 0 && !script.empty(); --i) {
      const std::size_t at =
          std::uniform_int_distribution<std::size_t>(0, script.size() - 1)(random_);
      const char c = kInteresting[interesting(random_)];
      switch (kind(random_)) {
        case 0:
          script[at] = c;
          break;
        case 1:
          script.insert(script.begin() + at, c);
          break;
        case 2:
          script.erase(at, 1);
          break;
        default:
          script.resize(at);
          break;
      }
    }
    RunOnce(script);
    if (HasFatalFailure() || HasNonfatalFailure()) return;
  }
}

}  // namespace
}  // namespace loom_test
