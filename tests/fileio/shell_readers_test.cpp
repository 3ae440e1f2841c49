// The freedesktop.org readers behind the shell information on Linux, each over a database or a
// theme built in a temporary folder: the MIME globs and magic, the descriptions, the icon
// themes' lookup, and the type of special files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/scoped_environment.h"
#include "common/test_files.h"
#include "fileio/icon_theme.h"
#include "fileio/mime_database.h"
#include "fileio/shell_query.h"

namespace {

using orvanel::testing::ScopedEnvironment;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using quern::IconThemes;
using quern::MimeDatabase;

// One magic rule line: ">offset=" with the value's length (big-endian), the value, then the
// optional parts as written ("&mask", "~2", "+range").
std::string Rule(const std::string& indent, int offset, const std::string& value,
                 const std::string& rest = "") {
  std::string line = indent + ">" + std::to_string(offset) + "=";
  line += static_cast<char>(value.size() >> 8);
  line += static_cast<char>(value.size() & 0xFF);
  return line + value + rest + "\n";
}

std::string Magic(const std::vector<std::pair<std::string, std::string>>& sections) {
  std::string text("MIME-Magic\0\n", 12);
  for (const auto& [header, rules] : sections) text += "[" + header + "]\n" + rules;
  return text;
}

class MimeDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.path().empty());
    mkdir(mime_.c_str(), 0700);
  }
  MimeDatabase Read() const { return MimeDatabase({mime_}); }

  TempFolder root_;
  std::string mime_ = root_ / "mime";
};

TEST_F(MimeDatabaseTest, BestGlobWinsByWeightThenLengthAndCaseSensitiveFirst) {
  WriteBytes(mime_ + "/globs2",
             "# weight:type:pattern\n"
             "50:text/x-csrc:*.c:cs\n"
             "50:text/x-c++src:*.C:cs\n"
             "50:text/x-generic-c:*.c\n"
             "50:application/gzip:*.gz\n"
             "50:application/x-compressed-tar:*.tar.gz\n"
             "80:text/x-makefile:makefile\n"
             "40:text/x-other-makefile:makefile\n"
             "50:text/x-one:*.same\n"
             "50:text/x-two:*.same\n"
             "50:text/x-colon:a:b\n"
             "broken line\n");
  const MimeDatabase db = Read();
  using Types = std::set<std::string>;
  EXPECT_EQ(db.TypesByName("prog.c"), Types{"text/x-csrc"});
  EXPECT_EQ(db.TypesByName("prog.C"), Types{"text/x-c++src"});
  EXPECT_EQ(db.TypesByName("PROG.GZ"), Types{"application/gzip"});  // case-blind
  EXPECT_EQ(db.TypesByName("x.tar.gz"), Types{"application/x-compressed-tar"});
  EXPECT_EQ(db.TypesByName("Makefile"), Types{"text/x-makefile"});
  EXPECT_EQ(db.TypesByName("a.same"), (Types{"text/x-one", "text/x-two"}));
  EXPECT_EQ(db.TypesByName("a:b"), Types{"text/x-colon"});  // a colon of the pattern's own
  EXPECT_TRUE(db.TypesByName("nothing.here").empty());
}

TEST_F(MimeDatabaseTest, MagicMatchesNestedMaskedRangedAndWideValues) {
  WriteBytes(mime_ + "/magic",
             Magic({
                 {"90:image/x-high", Rule("", 0, "HI")},
                 // Only when a nested rule matches too.
                 {"80:application/x-nested", Rule("", 0, "NE") + Rule("1", 4, "ST")},
                 // Anywhere in bytes 2..5 (a range of 4).
                 {"70:application/x-ranged", Rule("", 2, "RG", "+4")},
                 // The mask lets the low bits differ.
                 {"60:application/x-masked", Rule("", 0, "\xF0", "&\xF0")},
                 // A 16-bit word written big-endian: the file holds it little-endian.
                 {"50:application/x-word", Rule("", 0, std::string("\x12\x34", 2), "~2")},
             }));
  const MimeDatabase db = Read();
  EXPECT_EQ(db.TypeByMagic("HI there", {}), "image/x-high");
  EXPECT_EQ(db.TypeByMagic("NE  ST", {}), "application/x-nested");
  EXPECT_EQ(db.TypeByMagic("NE  no", {}), "");
  EXPECT_EQ(db.TypeByMagic("....RG", {}), "application/x-ranged");
  EXPECT_EQ(db.TypeByMagic("......RG", {}), "");
  EXPECT_EQ(db.TypeByMagic("\xF7 x", {}), "application/x-masked");
  EXPECT_EQ(db.TypeByMagic(std::string("\x34\x12", 2), {}), "application/x-word");
  EXPECT_EQ(db.TypeByMagic(std::string("\x12\x34", 2), {}), "");
  // Among the types the name allows only: a higher section outside them does not count.
  EXPECT_EQ(db.TypeByMagic("HI", {"application/x-ranged"}), "");
  EXPECT_GE(db.MagicExtent(), 8u);
}

TEST_F(MimeDatabaseTest, MalformedMagicKeepsWhatCameBeforeAndStops) {
  WriteBytes(mime_ + "/magic", Magic({
                                   {"90:application/x-first", Rule("", 0, "AA")},
                                   {"80:application/x-broken", ">zz=junk\n"},
                                   {"70:application/x-after", Rule("", 0, "BB")},
                               }));
  const MimeDatabase db = Read();
  EXPECT_EQ(db.TypeByMagic("AA", {}), "application/x-first");
  EXPECT_EQ(db.TypeByMagic("BB", {}), "");
  // A rule reading far into the file is capped: the head read for each file stays small.
  WriteBytes(mime_ + "/magic", Magic({{"50:application/x-deep", Rule("", 1 << 30, "D")}}));
  EXPECT_EQ(Read().MagicExtent(), 64u * 1024);
  // Another header is no magic file at all.
  WriteBytes(mime_ + "/magic", "NOT-Magic\n[50:text/x-a]\n" + Rule("", 0, "A"));
  EXPECT_EQ(Read().TypeByMagic("A", {}), "");
}

TEST_F(MimeDatabaseTest, DescriptionFollowsTheLanguagesThenEnglishThenTheType) {
  mkdir((mime_ + "/text").c_str(), 0700);
  WriteBytes(
      mime_ + "/text/x-sample.xml",
      "<mime-type type=\"text/x-sample\">\n"
      "  <comment>Sample &amp; &lt;test&gt;</comment>\n"
      "  <comment xml:lang=\"ru\">&#x41e;&#1073;&#x440;&#x430;&#x437;&#x435;&#x446;</comment>\n"
      "  <comment xml:lang=\"pt_BR\">Amostra</comment>\n"
      "</mime-type>\n");
  const MimeDatabase db = Read();
  EXPECT_EQ(db.Description("text/x-sample", {}), "Sample & <test>");
  EXPECT_EQ(db.Description("text/x-sample", quern::LanguagesOfLocale("ru_RU.UTF-8")),
            "\xD0\x9E\xD0\xB1\xD1\x80\xD0\xB0\xD0\xB7\xD0\xB5\xD1\x86");
  EXPECT_EQ(db.Description("text/x-sample", quern::LanguagesOfLocale("pt_BR")), "Amostra");
  EXPECT_EQ(db.Description("text/x-sample", quern::LanguagesOfLocale("de_DE@euro")),
            "Sample & <test>");
  EXPECT_EQ(db.Description("text/x-unknown", {}), "text/x-unknown");
  // A type never names a file outside the database.
  WriteBytes(root_ / "secret.xml", "<comment>outside</comment>");
  EXPECT_EQ(db.Description("text/../../secret", {}), "text/../../secret");
}

TEST_F(MimeDatabaseTest, FirstFolderWinsAndMissingPiecesAddNothing) {
  const std::string other = root_ / "other";
  mkdir(other.c_str(), 0700);
  mkdir((mime_ + "/text").c_str(), 0700);
  mkdir((other + "/text").c_str(), 0700);
  WriteBytes(mime_ + "/text/x-a.xml", "<comment>Mine</comment>");
  WriteBytes(other + "/text/x-a.xml", "<comment>Theirs</comment>");
  WriteBytes(other + "/icons", "text/x-a:my-icon\n");
  WriteBytes(other + "/generic-icons", "text/x-a:text-x-generic\n# comment: skipped\n");
  const MimeDatabase db({mime_, root_ / "missing", other});
  EXPECT_EQ(db.Description("text/x-a", {}), "Mine");
  EXPECT_EQ(db.IconOf("text/x-a"), "my-icon");
  EXPECT_EQ(db.GenericIconOf("text/x-a"), "text-x-generic");
  EXPECT_EQ(db.IconOf("text/x-b"), "");
}

TEST_F(MimeDatabaseTest, AFifoInPlaceOfADatabaseFileIsNotWaitedOn) {
  // Opening a FIFO without a writer for reading would wait for ever.
  ASSERT_EQ(mkfifo((mime_ + "/globs2").c_str(), 0600), 0);
  WriteBytes(mime_ + "/icons", "text/x-a:my-icon\n");
  const MimeDatabase db = Read();
  EXPECT_TRUE(db.TypesByName("a.txt").empty());
  EXPECT_EQ(db.IconOf("text/x-a"), "my-icon");
}

TEST(LanguagesOfLocaleTest, TerritoryThenLanguageAndNoneForEnglish) {
  using Languages = std::vector<std::string>;
  EXPECT_EQ(quern::LanguagesOfLocale("ru_RU.UTF-8"), (Languages{"ru_RU", "ru"}));
  EXPECT_EQ(quern::LanguagesOfLocale("de@euro"), Languages{"de"});
  for (const char* english : {"", "C", "POSIX", "C.UTF-8"}) {
    EXPECT_TRUE(quern::LanguagesOfLocale(english).empty()) << english;
  }
}

// ---------------------------------------------------------------------------------------------
// Icon themes

// Points the icon lookup at a temporary home and data folders for one test.
class IconThemesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.path().empty());
    environment_.Set("HOME", root_.path());
    environment_.Set("XDG_DATA_HOME", root_ / "data");
    environment_.Set("XDG_DATA_DIRS", root_ / "system");
    environment_.Set("ORVANEL_ICON_THEME", "Mine");
  }

  // A theme under `base` with its index and the folders "SIZE" of the given sizes.
  void Theme(const std::string& base, const std::string& name, const std::string& inherits,
             const std::vector<std::pair<std::string, std::string>>& folders) {
    const std::string theme = root_ / (base + "/icons/" + name);
    std::string directories, sections;
    for (const auto& [folder, keys] : folders) {
      directories += (directories.empty() ? "" : ",") + folder;
      sections += "\n[" + folder + "]\n" + keys + "\n";
    }
    std::system(("mkdir -p '" + theme + "'").c_str());
    WriteBytes(theme + "/index.theme", "[Icon Theme]\nName=" + name + "\nInherits=" + inherits +
                                           "\nDirectories=" + directories + "\n" + sections);
    for (const auto& [folder, keys] : folders) {
      std::system(("mkdir -p '" + theme + "/" + folder + "'").c_str());
    }
  }
  std::string Icon(const std::string& base, const std::string& theme, const std::string& file) {
    const std::string path = root_ / (base + "/icons/" + theme + "/" + file);
    WriteBytes(path, "icon");
    return path;
  }

  TempFolder root_;
  ScopedEnvironment environment_;
};

TEST_F(IconThemesTest, SizeFolderFirstThenTheClosestAndPngBeforeSvg) {
  Theme("data", "Mine", "",
        {{"16", "Size=16\nType=Fixed"},
         {"32", "Size=32\nType=Fixed"},
         {"48", "Size=48\nType=Fixed"},
         {"scalable", "Size=64\nMinSize=8\nMaxSize=512\nType=Scalable"},
         {"32@2", "Size=32\nScale=2\nType=Fixed"}});
  const std::string small = Icon("data", "Mine", "16/doc.png");
  const std::string large = Icon("data", "Mine", "32/doc.png");
  Icon("data", "Mine", "32/doc.svg");
  Icon("data", "Mine", "32@2/scaled.png");
  const std::string far = Icon("data", "Mine", "48/far.png");
  const std::string scalable = Icon("data", "Mine", "scalable/vector.svg");
  IconThemes themes;
  EXPECT_EQ(themes.Find({"doc"}, 16, nullptr), small);
  EXPECT_EQ(themes.Find({"doc"}, 32, nullptr), large);
  EXPECT_EQ(themes.Find({"doc"}, 22, nullptr), small);  // none fits: the closest size
  EXPECT_EQ(themes.Find({"far"}, 16, nullptr), far);
  EXPECT_EQ(themes.Find({"vector"}, 32, nullptr), scalable);
  EXPECT_EQ(themes.Find({"scaled"}, 32, nullptr), "");  // only for scaled screens
  std::string found;
  EXPECT_EQ(themes.Find({"missing", "doc"}, 32, &found), large);
  EXPECT_EQ(found, "doc");
}

TEST_F(IconThemesTest, InheritedThemesComeBeforeHicolorAndCyclesEnd) {
  Theme("data", "Mine", "Parent,Mine", {{"32", "Size=32\nType=Fixed"}});
  Theme("system", "Parent", "Mine", {{"32", "Size=32\nType=Fixed"}});
  Theme("system", "hicolor", "", {{"32", "Size=32\nType=Fixed"}});
  const std::string own = Icon("data", "Mine", "32/own.png");
  const std::string inherited = Icon("system", "Parent", "32/shared.png");
  Icon("system", "hicolor", "32/shared.png");
  const std::string last = Icon("system", "hicolor", "32/fallback.png");
  IconThemes themes;
  EXPECT_EQ(themes.Find({"own"}, 32, nullptr), own);
  EXPECT_EQ(themes.Find({"shared"}, 32, nullptr), inherited);
  EXPECT_EQ(themes.Find({"fallback"}, 32, nullptr), last);
  EXPECT_EQ(themes.Find({"nowhere"}, 32, nullptr), "");
}

TEST_F(IconThemesTest, AThemeIsFoundInTheHomeIconsAndNamesStayInside) {
  // "<home>/./icons/Mine" is made, then moved to the home's own "~/.icons".
  Theme(".", "Mine", "", {{"32", "Size=32\nType=Fixed"}});
  ASSERT_EQ(std::system(("mv '" + (root_ / "icons") + "' '" + (root_ / ".icons") + "'").c_str()),
            0);
  const std::string home_icon = root_ / ".icons/Mine/32/home.png";
  WriteBytes(home_icon, "icon");
  IconThemes themes;
  EXPECT_EQ(themes.Find({"home"}, 32, nullptr), home_icon);
  // A theme name never leads out of the icon folders.
  setenv("ORVANEL_ICON_THEME", "../.icons/Mine", 1);
  IconThemes escaping;
  EXPECT_EQ(escaping.Find({"home"}, 32, nullptr), "");
}

TEST_F(IconThemesTest, ImageListIndexesAreStableAndSharedBySizes) {
  IconThemes themes;
  const int32_t first = themes.ImageListIndex("text-plain");
  const int32_t second = themes.ImageListIndex("folder");
  EXPECT_NE(first, second);
  EXPECT_EQ(themes.ImageListIndex("text-plain"), first);
  EXPECT_EQ(themes.ImageListIndex("folder"), second);
}

// ---------------------------------------------------------------------------------------------
// Types of what is no plain file, and the heads read for the content

TEST(ShellTypeTest, SpecialFilesAreTypedWithoutBeingOpened) {
  TempFolder root;
  const std::string fifo = root / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink("nowhere", (root / "dangling").c_str()), 0);
  ASSERT_EQ(symlink(root.path().c_str(), (root / "to-folder").c_str()), 0);
  EXPECT_EQ(quern::MimeTypeOf(fifo), "inode/fifo");
  EXPECT_EQ(quern::MimeTypeOf(root / "dangling"), "inode/symlink");
  EXPECT_EQ(quern::MimeTypeOf(root / "to-folder"), "inode/directory");
  EXPECT_EQ(quern::MimeTypeOf(root.path()), "inode/directory");
  EXPECT_EQ(quern::MimeTypeOf(root / "missing"), "");
  EXPECT_EQ(quern::MimeTypeOf(std::string("a\0b", 3)), "");
}

TEST(ShellTypeTest, HeadsAreReadFromPlainFilesOnly) {
  TempFolder root;
  WriteBytes(root / "file", "0123456789");
  ASSERT_EQ(mkfifo((root / "pipe").c_str(), 0600), 0);
  std::string bytes = "stale";
  ASSERT_TRUE(quern::ReadFileHead(root / "file", 4, 100, &bytes));
  EXPECT_EQ(bytes, "456789");  // fewer at the end
  ASSERT_TRUE(quern::ReadFileHead(root / "file", 50, 4, &bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(quern::ReadFileHead(root / "pipe", 0, 4, &bytes));
  EXPECT_FALSE(quern::ReadFileHead(root.path(), 0, 4, &bytes));
  EXPECT_FALSE(quern::ReadFileHead(root / "missing", 0, 4, &bytes));
  EXPECT_EQ(bytes, "");
}

}  // namespace
