// How the command line is read: options in either form and any order, the script name, and
// what makes a command line bad.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleaner/modMain.h"

namespace sweepwell {
namespace {

using Arguments = std::vector<std::string>;

CommandLine Parse(const Arguments& arguments) { return ParseCommandLine(arguments); }

TEST(CommandLineTest, OptionsInEitherFormAndAnyOrderAroundTheScript) {
  for (const Arguments& arguments : {Arguments{"--no-long", "--preview", "--no-pause", "a.loom"},
                                     Arguments{"a.loom", "/NoPause", "/preview", "/NOLONG"},
                                     Arguments{"/nopause", "a.loom", "--no-long", "/PreView"}}) {
    CommandLine line = Parse(arguments);
    EXPECT_EQ(line.action, CommandLineAction::kRun) << arguments[0];
    EXPECT_EQ(line.ScriptFileName, "a.loom");
    EXPECT_TRUE(line.NoLongMode);
    EXPECT_TRUE(line.NoPause);
    EXPECT_TRUE(line.Preview);
  }
  CommandLine plain = Parse({"a.loom"});
  EXPECT_EQ(plain.action, CommandLineAction::kRun);
  EXPECT_FALSE(plain.NoLongMode || plain.Preview || plain.NoPause || plain.NoPreserveRoot);
  for (const char* lift : {"--no-preserve-root", "/NoPreserveRoot", "/nopreserveroot"}) {
    EXPECT_TRUE(Parse({"a.loom", lift}).NoPreserveRoot) << lift;
  }
  // The dashed form is exact, as rm's is.
  EXPECT_EQ(Parse({"a.loom", "--no-preserve-roots"}).action, CommandLineAction::kUsageError);
}

TEST(CommandLineTest, HelpInEveryFormWinsOverTheRest) {
  for (const Arguments& arguments :
       {Arguments{"-h"}, Arguments{"--help"}, Arguments{"/?"}, Arguments{"/?", "/?"},
        Arguments{"a.loom", "-h"}, Arguments{"--version", "--help"},
        Arguments{"--help", "a", "b"}}) {
    EXPECT_EQ(Parse(arguments).action, CommandLineAction::kHelp) << arguments[0];
  }
  EXPECT_EQ(Parse({"--version"}).action, CommandLineAction::kVersion);
}

TEST(CommandLineTest, DashedFormsAreExactAndUnknownOptionsAreBad) {
  for (const Arguments& arguments :
       {Arguments{"-x", "a.loom"}, Arguments{"a.loom", "--bogus"}, Arguments{"--HELP"},
        Arguments{"-H"}, Arguments{"--Preview", "a.loom"}, Arguments{"/Bogus", "a.loom"},
        Arguments{"--help", "--bogus"}, Arguments{"--no-long=yes", "a.loom"}}) {
    CommandLine line = Parse(arguments);
    EXPECT_EQ(line.action, CommandLineAction::kUsageError) << arguments[0] << " " << line.complaint;
    EXPECT_NE(line.complaint.find("неизвестный ключ"), std::string::npos) << line.complaint;
  }
}

TEST(CommandLineTest, ExactlyOneScriptName) {
  CommandLine none = Parse({});
  EXPECT_EQ(none.action, CommandLineAction::kUsageError);
  EXPECT_EQ(none.complaint, "не указан файл скрипта");
  for (const Arguments& arguments :
       {Arguments{"--preview"}, Arguments{"--no-long"}, Arguments{"/NoPause"}, Arguments{"--"}}) {
    EXPECT_EQ(Parse(arguments).action, CommandLineAction::kUsageError) << arguments[0];
  }
  CommandLine two = Parse({"a.loom", "/NoLong", "b.loom"});
  EXPECT_EQ(two.action, CommandLineAction::kUsageError);
  EXPECT_EQ(two.complaint, "лишний аргумент \"b.loom\"");
}

TEST(CommandLineTest, DoubleDashEndsTheOptions) {
  CommandLine dash = Parse({"--no-pause", "--", "-x"});
  EXPECT_EQ(dash.action, CommandLineAction::kRun);
  EXPECT_EQ(dash.ScriptFileName, "-x");
  EXPECT_TRUE(dash.NoPause);
  CommandLine slash = Parse({"--", "/NoLong"});
  EXPECT_EQ(slash.ScriptFileName, "/NoLong");
  EXPECT_FALSE(slash.NoLongMode);
  EXPECT_EQ(Parse({"--", "--help"}).ScriptFileName, "--help");
  EXPECT_EQ(Parse({"--", "a.loom", "--no-pause"}).action, CommandLineAction::kUsageError);
  EXPECT_EQ(Parse({"--", "--"}).ScriptFileName, "--");
}

TEST(CommandLineTest, SlashArgumentsThatArePathsAreScripts) {
  // Deeper paths, paths that exist at the top and names that are not words are paths.
  for (const std::string& path : {std::string("/home/me/a.loom"), std::string("/tmp"),
                                  std::string("/a.loom"), std::string("/x1"), std::string("/")}) {
    CommandLine line = Parse({"/NoLong", path});
    EXPECT_EQ(line.action, CommandLineAction::kRun) << path;
    EXPECT_EQ(line.ScriptFileName, path);
    EXPECT_TRUE(line.NoLongMode);
  }
  // A lone "-" is a name too.
  EXPECT_EQ(Parse({"-"}).ScriptFileName, "-");
}

TEST(CommandLineTest, NoLongStandingLastWithoutAScriptIsTheScriptName) {
  CommandLine alone = Parse({"/NOLONG"});
  EXPECT_EQ(alone.action, CommandLineAction::kRun);
  EXPECT_EQ(alone.ScriptFileName, "/NOLONG");
  EXPECT_FALSE(alone.NoLongMode);
  CommandLine twice = Parse({"/NOLONG", "/nolong"});
  EXPECT_EQ(twice.ScriptFileName, "/nolong");
  EXPECT_TRUE(twice.NoLongMode);
  CommandLine mixed = Parse({"--no-long", "/NoLong"});
  EXPECT_EQ(mixed.ScriptFileName, "/NoLong");
  EXPECT_TRUE(mixed.NoLongMode);
  // Only a script-less command line reads it so.
  CommandLine with_script = Parse({"a.loom", "/NoLong"});
  EXPECT_EQ(with_script.ScriptFileName, "a.loom");
  EXPECT_TRUE(with_script.NoLongMode);
}

TEST(CommandLineTest, UsageNamesTheProgramAsCalled) {
  EXPECT_EQ(ProgramName("/usr/bin/sweepwell"), "sweepwell");
  EXPECT_EQ(ProgramName("./sweep"), "sweep");
  EXPECT_EQ(ProgramName("sw"), "sw");
  EXPECT_EQ(ProgramName(""), "sweepwell");
  std::string usage = UsageText("sweep");
  EXPECT_NE(
      usage.find("sweep [/NoLong] [/Preview] [/NoPause] [/NoPreserveRoot] [--] ScriptFileName"),
      std::string::npos)
      << usage;
  EXPECT_NE(usage.find("sweep /?"), std::string::npos);
  EXPECT_NE(usage.find("man sweepwell"), std::string::npos);
  EXPECT_EQ(usage.find("[.EXE]"), std::string::npos);
  EXPECT_EQ(usage.find("ReadMe"), std::string::npos);
}

// The undo request comes back in the parsed line itself; each parse stands on its own.
TEST(CommandLineTest, TheUndoRequestIsPartOfTheLine) {
  const CommandLine listed = Parse({"--undo", "--list"});
  EXPECT_EQ(listed.action, CommandLineAction::kUndo);
  EXPECT_TRUE(listed.undo.list);
  const CommandLine named = Parse({"/Undo", "2026-12-07_10-00-00_42"});
  EXPECT_FALSE(named.undo.list);
  EXPECT_EQ(named.undo.run, "2026-12-07_10-00-00_42");
  EXPECT_TRUE(Parse({"--undo"}).undo.run.empty());
  EXPECT_EQ(Parse({"--undo", "--bogus", "x"}).action, CommandLineAction::kUsageError);
}

}  // namespace
}  // namespace sweepwell