// Descript.ion files: orvDescriptIon and the description members of orvFSO.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>

#include "automation/component.h"
#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvDescriptIon.h"
#include "fileio/orvFSO.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using orvanel::testing::ReadBytes;

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }
std::string Utf8(const std::u16string& text) { return support::Utf8FromUtf16(text); }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class DescriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    // The object is created as a client creates it; the registration folder is a temporary one.
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) saved_config_ = old;
    had_config_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    Ref<automation::Object> object = automation::CreateObject("Quern0102.orvDescriptIon");
    list_ = Ref<orvDescriptIon>(static_cast<orvDescriptIon*>(object.get()));
    file_ = folder_ / "Descript.ion";
  }
  void TearDown() override {
    if (had_config_) {
      setenv("XDG_CONFIG_HOME", saved_config_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  // Reads `contents` as the folder's Descript.ion.
  void Read(const std::string& contents) {
    WriteBytes(file_, contents);
    ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  }
  std::string Entries() const {
    std::string all;
    for (int32_t i = 0; i < list_->ItemCount(); ++i) {
      all += "<" + Utf8(list_->ItemFileName(i)) + "|" + Utf8(list_->ItemDescription(i)) + ">";
    }
    return all;
  }

  TempFolder folder_;
  TempFolder config_;
  std::string saved_config_;
  bool had_config_ = false;
  Ref<orvDescriptIon> list_;
  std::string file_;
};

TEST_F(DescriptionTest, AFolderWithoutTheFileIsAnEmptyList) {
  ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(list_->ItemCount(), 0);
  EXPECT_EQ(list_->FileName(), Text(file_));
  EXPECT_FALSE(list_->ReadDirectoryFile(Text(folder_ / "no-such-folder")));
  EXPECT_EQ(list_->FileName(), u"");
}

TEST_F(DescriptionTest, ParsesQuotedNamesTabsAndSkipsWhatCannotBeTakenApart) {
  Read(
      "\"my file.txt\"   A file with a space\r\n"
      "tabbed.txt\tTabbed description\r\n"
      "nodescriptionatall\r\n"
      " leading.txt blank first\r\n"
      "\tleading-tab.txt tab first\r\n"
      "\"unclosed.txt description\r\n"
      "quote.txt \"\r\n"
      "empty.txt \r\n"
      "\"\" empty quoted name\r\n"
      "trailing\" quote dropped\r\n");
  EXPECT_EQ(Entries(),
            "<my file.txt|A file with a space><tabbed.txt|Tabbed description><empty.txt|>"
            "<trailing|quote dropped>");
}

TEST_F(DescriptionTest, TheFirstLineForANameWins) {
  Read("Readme.txt first\r\nREADME.TXT second\r\nreadme.txt third\r\n");
  EXPECT_EQ(Entries(), "<Readme.txt|first>");
  EXPECT_EQ(list_->ItemDescriptionByFileName(u"rEaDmE.TxT"), u"first");
}

TEST_F(DescriptionTest, LinesEndAtCrLfCrOrLf) {
  Read("a.txt one\r\nb.txt two\rc.txt three\nd.txt four");
  EXPECT_EQ(Entries(), "<a.txt|one><b.txt|two><c.txt|three><d.txt|four>");
}

TEST_F(DescriptionTest, WritesEntriesInOrderWithCrLfAndQuotesWhereNeeded) {
  list_->AddItem(u"plain.txt", u"Plain");
  list_->AddItem(u"with space.txt", u"Spaced");
  list_->AddItem(u"with\ttab.txt", u"Tabbed");
  list_->AddItem(u"empty.txt", u"");  // an empty description adds nothing
  ASSERT_TRUE(list_->WriteFile(Text(file_)));
  EXPECT_EQ(ReadBytes(file_),
            "plain.txt Plain\r\n\"with space.txt\" Spaced\r\n\"with\ttab.txt\" Tabbed\r\n");
  EXPECT_EQ(list_->FileName(), u"") << "writing does not change the file last read";
}

TEST_F(DescriptionTest, AnEmptyDescriptionIsWrittenBackAsNameAndSpace) {
  Read("empty.txt \r\nother.txt x\r\n");
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_), "empty.txt \r\nother.txt x\r\n");
}

TEST_F(DescriptionTest, ABareNameEndingInAQuoteKeepsItThroughAWrite) {
  // "2\"\"" reads as the name 2" (one closing quote dropped); written back bare it would read
  // as 2, the description of another file.
  Read("2\"\" first\r\nplain.txt second\r\n");
  ASSERT_EQ(Entries(), "<2\"|first><plain.txt|second>");
  list_->AddItem(u"end\"", u"third");
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_), "2\"\" first\r\nplain.txt second\r\nend\"\" third\r\n");
  ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(Entries(), "<2\"|first><plain.txt|second><end\"|third>");
}

TEST_F(DescriptionTest, AFirstNameBeginningWithTheMarkBytesKeepsTheFileInItsPage) {
  // In an OEM file (UTF-8 here, as the test locale's OEM page is) a name may begin with the
  // bytes EF BB BF; written first, they would make the file read back as UTF-8 with a mark.
  Read("plain.txt first\r\n\xEF\xBB\xBFmarked.txt second\r\n");
  ASSERT_TRUE(list_->RemoveItem(0));
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_), "\r\n\xEF\xBB\xBFmarked.txt second\r\n");
  ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(Entries(), "<\xEF\xBB\xBFmarked.txt|second>");
  list_->AddItem(u"new.txt", u"third");
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_), "\r\n\xEF\xBB\xBFmarked.txt second\r\nnew.txt third\r\n");
}

TEST_F(DescriptionTest, AddItemReplacesWithoutRegardToCaseAndMovesToTheEnd) {
  Read("a.txt A\r\nb.txt B\r\n");
  list_->AddItem(u"A.TXT", u"");
  EXPECT_EQ(Entries(), "<a.txt|A><b.txt|B>");
  list_->AddItem(u"A.TXT", u"new");
  EXPECT_EQ(Entries(), "<b.txt|B><A.TXT|new>");
  list_->AddItem(u"", u"nameless");
  EXPECT_EQ(list_->ItemCount(), 2);
}

TEST_F(DescriptionTest, AccessorsAndRemovalOutOfRange) {
  Read("a.txt A\r\nb.txt B\r\n");
  EXPECT_EQ(list_->ItemFileName(-1), u"");
  EXPECT_EQ(list_->ItemDescription(2), u"");
  EXPECT_EQ(list_->ItemDescriptionByFileName(u""), u"");
  EXPECT_FALSE(list_->RemoveItem(2));
  EXPECT_FALSE(list_->RemoveItem(-1));
  EXPECT_FALSE(list_->RemoveItemByFileName(u"c.txt"));
  EXPECT_FALSE(list_->RemoveItemByFileName(u""));
  EXPECT_TRUE(list_->RemoveItemByFileName(u"B.TXT"));
  EXPECT_TRUE(list_->RemoveItem(0));
  EXPECT_EQ(list_->ItemCount(), 0);
  list_->AddItem(u"c.txt", u"C");
  list_->Clear();
  EXPECT_EQ(list_->ItemCount(), 0);
  EXPECT_EQ(list_->FileName(), u"");
}

TEST_F(DescriptionTest, WritingWithoutANameNeverReadIsRefused) {
  list_->AddItem(u"a.txt", u"A");
  EXPECT_FALSE(list_->WriteFile());
  EXPECT_FALSE(list_->WriteDirectoryFile());
}

TEST_F(DescriptionTest, AnEmptyListDeletesTheFileEvenWhenReadOnly) {
  Read("a.txt A\r\n");
  chmod(file_.c_str(), 0444);
  list_->Clear();
  ASSERT_TRUE(list_->WriteFile(Text(file_)));
  EXPECT_FALSE(Exists(file_));
  EXPECT_TRUE(list_->WriteFile(Text(file_))) << "nothing to delete is no failure";
}

TEST_F(DescriptionTest, AReadOnlyFileIsReplacedAndNoLongerReadOnly) {
  Read("a.txt A\r\n");
  chmod(file_.c_str(), 0444);
  list_->AddItem(u"b.txt", u"B");
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_), "a.txt A\r\nb.txt B\r\n");
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST_F(DescriptionTest, ALineEndInADescriptionCannotAddALine) {
  list_->AddItem(u"a.txt", u"one\r\nb.txt forged");
  ASSERT_TRUE(list_->WriteFile(Text(file_)));
  ASSERT_TRUE(list_->ReadFile(Text(file_)));
  EXPECT_EQ(Entries(), "<a.txt|one  b.txt forged>");
}

TEST_F(DescriptionTest, AUtf8FileWithAMarkStaysUtf8WithTheMark) {
  Read("\xEF\xBB\xBF\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt \xD0\x9E\xD0\xBF\xD0\xB8\xD1\x81\r\n");
  EXPECT_EQ(Entries(), "<файл.txt|Опис>");
  list_->AddItem(u"b.txt", u"Б");
  ASSERT_TRUE(list_->WriteDirectoryFile());
  EXPECT_EQ(ReadBytes(file_),
            "\xEF\xBB\xBF"
            "файл.txt Опис\r\nb.txt Б\r\n");
}

TEST_F(DescriptionTest, BinaryGarbageAndAVeryLongLineDoNotBreakTheReader) {
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 2654435761u) >> 24);
  garbage += std::string("\0x \0y\r\n", 7);
  garbage += "long.txt " + std::string(1 << 20, 'd') + "\r\n";
  garbage += std::string(1 << 20, 'n');  // a name with no blank: skipped
  Read(garbage);
  EXPECT_EQ(list_->ItemDescriptionByFileName(u"long.txt").size(), 1u << 20);
  ASSERT_TRUE(list_->WriteDirectoryFile());
  ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(list_->ItemDescriptionByFileName(u"long.txt").size(), 1u << 20);
}

TEST_F(DescriptionTest, AnExistingFileInAnotherLetterCaseIsTheFolder_sFile) {
  WriteBytes(folder_ / "descript.ion", "a.txt A\n");
  ASSERT_TRUE(list_->ReadDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(list_->FileName(), Text(folder_ / "descript.ion"));
  list_->AddItem(u"b.txt", u"B");
  ASSERT_TRUE(list_->WriteDirectoryFile(Text(folder_.path())));
  EXPECT_EQ(ReadBytes(folder_ / "descript.ion"), "a.txt A\r\nb.txt B\r\n");
  EXPECT_FALSE(Exists(file_));
}

// --- orvFSO's description members ----------------------------------------------------------

TEST_F(DescriptionTest, SetFileDescriptionCreatesTheFileWithOneLine) {
  orvFSO& fso = ApplicationObject();
  const std::u16string file = Text(folder_ / "report.pdf");  // need not exist
  EXPECT_EQ(fso.GetFileDescription(file), u"");
  ASSERT_TRUE(fso.SetFileDescription(file, u"Quarterly report"));
  EXPECT_EQ(ReadBytes(file_), "report.pdf Quarterly report\r\n");
  EXPECT_EQ(fso.GetFileDescription(Text(folder_ / "REPORT.PDF")), u"Quarterly report");
}

TEST_F(DescriptionTest, SetWithEmptyTextWritesTheListBackAsRead) {
  WriteBytes(file_, "a.txt A\r\n broken line\r\n");
  orvFSO& fso = ApplicationObject();
  ASSERT_TRUE(fso.SetFileDescription(Text(folder_ / "a.txt"), u""));
  EXPECT_EQ(ReadBytes(file_), "a.txt A\r\n") << "skipped lines are not kept";
}

TEST_F(DescriptionTest, DeletingTheLastDescriptionDeletesTheFile) {
  WriteBytes(file_, "a.txt A\r\nb.txt B\r\n");
  orvFSO& fso = ApplicationObject();
  ASSERT_TRUE(fso.DeleteFileDescription(Text(folder_ / "c.txt")));
  EXPECT_EQ(ReadBytes(file_), "a.txt A\r\nb.txt B\r\n");
  ASSERT_TRUE(fso.DeleteFileDescription(Text(folder_ / "A.txt")));
  EXPECT_EQ(ReadBytes(file_), "b.txt B\r\n");
  ASSERT_TRUE(fso.DeleteFileDescription(Text(folder_ / "b.txt")));
  EXPECT_FALSE(Exists(file_));
}

TEST_F(DescriptionTest, AMissingFolderOrAnUnreadableFileWritesNothing) {
  orvFSO& fso = ApplicationObject();
  EXPECT_FALSE(fso.SetFileDescription(Text(folder_ / "missing/a.txt"), u"A"));
  EXPECT_FALSE(fso.DeleteFileDescription(Text(folder_ / "missing/a.txt")));
  EXPECT_EQ(fso.GetFileDescription(Text(folder_ / "missing/a.txt")), u"");
  ASSERT_EQ(mkdir(file_.c_str(), 0755), 0);  // a folder where the file should be
  EXPECT_FALSE(fso.SetFileDescription(Text(folder_ / "a.txt"), u"A"));
}

TEST_F(DescriptionTest, AnUndeletableFileMakesTheWriteFail) {
  if (geteuid() != 0) GTEST_SKIP() << "chattr +i needs root";
  WriteBytes(file_, "a.txt A\r\n");
  if (testing::RunCommand("chattr +i '" + file_ + "'") != 0) GTEST_SKIP() << "no chattr +i here";
  orvFSO& fso = ApplicationObject();
  EXPECT_FALSE(fso.DeleteFileDescription(Text(folder_ / "a.txt")));
  EXPECT_FALSE(fso.SetFileDescription(Text(folder_ / "b.txt"), u"B"));
  testing::RunCommand("chattr -i '" + file_ + "'");
  EXPECT_EQ(ReadBytes(file_), "a.txt A\r\n");
}

TEST(DescriptionOnNtfs, TheWrittenFileIsHiddenAndNothingElse) {
  testing::LoopImage image(testing::LoopImage::kNtfs, 16);
  if (!image.usable()) GTEST_SKIP() << image.why();
  orvFSO& fso = ApplicationObject();
  ASSERT_TRUE(fso.SetFileDescription(Text(image / "a.txt"), u"A"));
  unsigned char value[4] = {};
  ASSERT_EQ(getxattr((image / "Descript.ion").c_str(), "system.ntfs_attrib_be", value, 4), 4);
  const uint32_t attributes = value[0] << 24 | value[1] << 16 | value[2] << 8 | value[3];
  EXPECT_EQ(attributes, 0x2u) << std::hex << attributes;
  ASSERT_TRUE(fso.SetFileDescription(Text(image / "b.txt"), u"B")) << "a hidden file is replaced";
  EXPECT_EQ(ReadBytes(image / "Descript.ion"), "a.txt A\r\nb.txt B\r\n");
}

// Run in a child process with a legacy Russian locale (the code pages are read once per
// process): names and descriptions go to the file in CP866 and come back unchanged.
TEST(DescriptionOem, RoundTripThroughALegacyCodePage) {
  const char* child = std::getenv("QUERN_OEM_CHILD_FOLDER");
  if (child != nullptr) {
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    const std::string folder = child;
    orvFSO& fso = ApplicationObject();
    ASSERT_TRUE(fso.SetFileDescription(Text(folder + "/отчёт.txt"), u"Годовой отчёт"));
    // "от" in CP866 is AE E2; "Го" is 83 AE.
    const std::string bytes = ReadBytes(folder + "/Descript.ion");
    EXPECT_EQ(bytes.substr(0, 2), "\xAE\xE2");
    EXPECT_NE(bytes.find("\x83\xAE"), std::string::npos);
    EXPECT_EQ(fso.GetFileDescription(Text(folder + "/ОТЧЁТ.TXT")), u"Годовой отчёт");
    return;
  }
  if (!testing::HaveTool("localedef")) GTEST_SKIP() << "localedef is not installed";
  TempFolder locales;
  TempFolder folder;
  std::string output;
  if (testing::RunCommand(
          "localedef -c -i ru_RU -f CP1251 '" + locales.path() + "/ru_RU.CP1251' >/dev/null",
          &output) != 0 &&
      !Exists(locales.path() + "/ru_RU.CP1251")) {
    GTEST_SKIP() << "cannot build a CP1251 locale: " << output;
  }
  const std::string command =
      "LOCPATH='" + locales.path() + "' LC_ALL=ru_RU.CP1251 QUERN_OEM_CHILD_FOLDER='" +
      folder.path() +
      "' /proc/self/exe --gtest_filter=DescriptionOem.RoundTripThroughALegacyCodePage";
  // /proc/self/exe of the shell is the shell: name this test program instead.
  char self[4096];
  const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(size, 0);
  self[size] = '\0';
  std::string run = command;
  run.replace(run.find("/proc/self/exe"), 14, std::string("'") + self + "'");
  EXPECT_EQ(testing::RunCommand(run, &output), 0) << output;
}

}  // namespace
}  // namespace quern
