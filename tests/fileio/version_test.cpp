// Version resources: the PE reader, the VS_VERSIONINFO queries, language names and default
// languages, and orvFileVersion as clients see it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "automation/component.h"
#include "common/test_files.h"
#include "fileio/language_names.h"
#include "fileio/loop_image.h"
#include "fileio/orvFileVersion.h"
#include "fileio/pe_builder.h"
#include "fileio/pe_image.h"
#include "fileio/quern0102.h"
#include "fileio/version_resource.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using testing::BuildPe;
using testing::BuiltPe;
using testing::PeOptions;
using testing::Set16;
using testing::Set32;
using testing::VersionBlock;
using testing::VersionNode;
using testing::VersionSpec;

std::vector<uint8_t> Block(const VersionSpec& spec = {}) { return VersionBlock(spec); }

BuiltPe PeWith(std::vector<uint8_t> block, bool pe32_plus = false) {
  PeOptions options;
  options.pe32_plus = pe32_plus;
  options.version_block = std::move(block);
  return BuildPe(options);
}

// --- The PE reader -------------------------------------------------------------------------

TEST(PeImageTest, FindsTheVersionBlockOfPe32AndPe32Plus) {
  const auto block = Block();
  for (bool plus : {false, true}) {
    auto found = FindVersionResource(PeWith(block, plus).bytes);
    ASSERT_TRUE(found) << (plus ? "PE32+" : "PE32");
    EXPECT_EQ(*found, block);
  }
}

// A file with its version in several languages gives the one the system's loader would: the
// user's language, else English (United States), never merely the first listed.
TEST(PeImageTest, PicksTheVersionInTheUsersLanguage) {
  VersionSpec arabic, german;
  arabic.translations = {{0x0401, 1200}};
  arabic.tables = {{u"040104B0", {{u"ProductName", u"arabic"}}}};
  german.translations = {{0x0407, 1200}};
  german.tables = {{u"040704B0", {{u"ProductName", u"german"}}}};
  PeOptions options;
  options.version_block = Block();
  options.other_languages = {{0x0401, Block(arabic)}, {0x0407, Block(german)}};
  const BuiltPe pe = BuildPe(options);
  const char* saved = getenv("LC_ALL");
  const std::string old = saved != nullptr ? saved : "";
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(FindVersionResource(pe.bytes), options.version_block);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(FindVersionResource(pe.bytes), Block(german));
  if (saved != nullptr) {
    setenv("LC_ALL", old.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

TEST(PeImageTest, LooksPastOtherResourceTypes) {
  PeOptions options;
  options.version_block = Block();
  options.icon_type_first = true;
  auto found = FindVersionResource(BuildPe(options).bytes);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, *options.version_block);
}

TEST(PeImageTest, NothingForFilesThatAreNotPeImagesOrHaveNoVersion) {
  EXPECT_FALSE(FindVersionResource(std::vector<uint8_t>{}));
  const std::string text = "MZ but nothing else";
  EXPECT_FALSE(
      FindVersionResource(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
  EXPECT_FALSE(FindVersionResource(BuildPe(PeOptions{}).bytes));  // a message table only

  BuiltPe pe = PeWith(Block());
  pe.bytes[pe.pe_offset] = 'N';  // an NE or LE image is no PE
  EXPECT_FALSE(FindVersionResource(pe.bytes));
}

TEST(PeImageTest, OffsetsPastTheEndAreRefused) {
  const auto block = Block();
  {
    BuiltPe pe = PeWith(block);
    Set32(pe.bytes, 0x3C, 0xFFFFFFF0u);  // e_lfanew
    EXPECT_FALSE(FindVersionResource(pe.bytes));
  }
  {
    BuiltPe pe = PeWith(block);
    Set32(pe.bytes, pe.data_entry_offset + 4, 0x7FFFFFFF);  // data size
    EXPECT_FALSE(FindVersionResource(pe.bytes));
  }
  {
    BuiltPe pe = PeWith(block);
    Set32(pe.bytes, pe.data_entry_offset, 0xFFFFFFF8u);  // data RVA
    EXPECT_FALSE(FindVersionResource(pe.bytes));
  }
  {
    // The file ends inside the version block.
    BuiltPe pe = PeWith(block);
    pe.bytes.resize(pe.data_offset + 10);
    EXPECT_FALSE(FindVersionResource(pe.bytes));
  }
  {
    BuiltPe pe = PeWith(block);
    Set16(pe.bytes, pe.pe_offset + 20, 0xFFFF);  // optional header size
    EXPECT_FALSE(FindVersionResource(pe.bytes));
  }
}

TEST(PeImageTest, HugeCountsAreCutToWhatTheFileHolds) {
  BuiltPe pe = PeWith(Block());
  Set16(pe.bytes, pe.pe_offset + 6, 0xFFFF);          // sections
  Set16(pe.bytes, pe.resources_offset + 12, 0xFFFF);  // named entries of the type directory
  Set16(pe.bytes, pe.resources_offset + 14, 0xFFFF);
  // Only the entries that the section holds are looked at; the real one is still among them.
  EXPECT_TRUE(FindVersionResource(pe.bytes));
}

TEST(PeImageTest, DirectoriesThatPointBackAreNotEnteredAgain) {
  BuiltPe pe = PeWith(Block());
  // The name directory's one entry leads back to the type directory, and so on for ever.
  Set32(pe.bytes, pe.resources_offset + 0x18 + 16 + 4, 0x80000000u);
  EXPECT_FALSE(FindVersionResource(pe.bytes));
  // The type directory leading to itself.
  BuiltPe self = PeWith(Block());
  Set32(self.bytes, self.resources_offset + 16 + 4, 0x80000000u);
  EXPECT_FALSE(FindVersionResource(self.bytes));
}

TEST(PeImageTest, OverlappingSectionsResolveThroughTheFirstThatHoldsTheAddress) {
  BuiltPe pe = PeWith(Block());
  // .text now claims the resource RVAs too, with raw data that holds zeros there.
  Set32(pe.bytes, pe.sections_offset + 12, pe.resources_rva);
  EXPECT_FALSE(FindVersionResource(pe.bytes));
  // Pointed at the real resource bytes, the same overlap reads them.
  Set32(pe.bytes, pe.sections_offset + 20, static_cast<uint32_t>(pe.resources_offset));
  EXPECT_TRUE(FindVersionResource(pe.bytes));
}

TEST(PeImageTest, TheBlockIsCutToItsRootLength) {
  auto block = Block();
  const size_t real = block.size();
  block.resize(real + 64, 0xEE);  // a resource with slack after the tree
  auto found = FindVersionResource(PeWith(block).bytes);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->size(), real);

  auto empty_root = Block();
  Set16(empty_root, 0, 0);
  EXPECT_FALSE(FindVersionResource(PeWith(empty_root).bytes));
}

TEST(PeImageTest, EveryTruncationOfAFileIsReadSafely) {
  const auto bytes = PeWith(Block(), true).bytes;
  for (size_t size = 0; size < bytes.size(); ++size) {
    auto found = FindVersionResource(std::span(bytes.data(), size));
    if (found) {
      EXPECT_LE(found->size(), size);
    }
  }
}

TEST(PeImageTest, RandomlyDamagedFilesAreReadSafely) {
  // A fixed seed: the same damage on every run. Under the sanitizer builds any read outside a
  // buffer fails here.
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  VersionSpec spec;
  spec.translations = {{0x0419, 1251}, {0x0409, 1200}};
  spec.tables = {{u"041904E3", {{u"A", u"1"}}}, {u"040904B0", {{u"B", u"2"}, {u"C", u"3"}}}};
  for (bool plus : {false, true}) {
    const BuiltPe original = PeWith(Block(spec), plus);
    for (int round = 0; round < 3000; ++round) {
      std::vector<uint8_t> bytes = original.bytes;
      // Damage mostly the parts the walk reads: headers, directories, the block.
      const size_t regions[] = {0, original.pe_offset, original.resources_offset,
                                original.data_offset};
      for (uint32_t hits = 1 + next() % 8; hits > 0; --hits) {
        const size_t at = (regions[next() % 4] + next() % 256) % bytes.size();
        bytes[at] = static_cast<uint8_t>(next());
      }
      if (auto block = FindVersionResource(bytes)) {
        ASSERT_LE(block->size(), kMaxVersionBlock);
        ReadFixedFileInfo(*block);
        ReadTranslations(*block);
        ReadStringTables(*block);
        QueryVersionValue(*block, u"\\StringFileInfo\\040904B0\\C");
      }
    }
  }
}

// --- Queries on a version block ------------------------------------------------------------

std::u16string Text(std::span<const uint8_t> block, std::u16string_view path) {
  auto value = QueryVersionValue(block, path);
  return value ? VersionValueText(*value) : u"<none>";
}

TEST(VersionBlockTest, AnswersTheRootTheTranslationsAndStringsWithoutLetterCase) {
  VersionSpec spec;
  spec.translations = {{0x0419, 1251}, {0x0409, 1200}};
  spec.tables = {{u"041904E3", {{u"CompanyName", u"Рога и копыта"}}},
                 {u"040904B0", {{u"CompanyName", u"Horns"}, {u"OLESelfRegister", u""}}}};
  const auto block = Block(spec);
  auto root = QueryVersionValue(block, u"\\");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->bytes.size(), kFixedFileInfoSize);
  EXPECT_FALSE(root->text);
  EXPECT_EQ(ReadTranslations(block), (std::vector<Translation>{{0x0419, 1251}, {0x0409, 1200}}));
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\041904e3\\companyname"), u"Рога и копыта");
  EXPECT_EQ(Text(block, u"\\STRINGFILEINFO\\040904B0\\CompanyName"), u"Horns");
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\OLESelfRegister"), u"");
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\Missing"), u"<none>");
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040704B0\\CompanyName"), u"<none>");

  auto tables = ReadStringTables(block);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[1].key, u"040904B0");
  EXPECT_EQ(tables[1].strings.size(), 2u);
  EXPECT_EQ(tables[1].strings[1].first, u"OLESelfRegister");
}

TEST(VersionBlockTest, FixedInfoIsReadOnlyWhenTheRootValueIsExactly52Bytes) {
  VersionSpec spec;
  spec.product_version[2] = 65535;
  spec.flags = 0x21;
  const auto block = Block(spec);
  auto info = ReadFixedFileInfo(block);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->signature, 0xFEEF04BDu);
  EXPECT_EQ(info->product_version_ls, 0xFFFF0000u);
  EXPECT_EQ(info->flags, 0x21u);

  VersionNode root = testing::VersionTree(spec);
  root.value.resize(48);
  root.value_length = 48;
  EXPECT_FALSE(ReadFixedFileInfo(testing::WriteBlock(root)));
  // The string tables after a short root value are still found.
  EXPECT_EQ(Text(testing::WriteBlock(root), u"\\StringFileInfo\\040904B0\\CompanyName"),
            u"Test Company");
}

TEST(VersionBlockTest, TextValuesEndAtTheirFirstNulOrTheirNode) {
  VersionNode root = testing::VersionTree({});
  VersionNode& company = root.children[0].children[0].children[0];
  // A length counted in bytes instead of units still reads the text, and no further.
  company.value_length = static_cast<uint16_t>(company.value.size());
  EXPECT_EQ(Text(testing::WriteBlock(root), u"\\StringFileInfo\\040904B0\\CompanyName"),
            u"Test Company");
  // A length shorter than the text cuts it.
  company.value_length = 4;
  EXPECT_EQ(Text(testing::WriteBlock(root), u"\\StringFileInfo\\040904B0\\CompanyName"), u"Test");
  // No NUL at all: the text ends with the node.
  company.value.resize(company.value.size() - 2);
  company.value_length = 200;
  EXPECT_EQ(Text(testing::WriteBlock(root), u"\\StringFileInfo\\040904B0\\CompanyName"),
            u"Test Company");
}

TEST(VersionBlockTest, BrokenChildLengthsEndTheWalkOfTheirParent) {
  VersionSpec spec;
  spec.tables = {{u"040904B0", {{u"A", u"1"}, {u"B", u"2"}, {u"C", u"3"}}}};
  VersionNode root = testing::VersionTree(spec);
  VersionNode& table = root.children[0].children[0];
  table.children[1].length = 0;
  auto block = testing::WriteBlock(root);
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\A"), u"1");
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\C"), u"<none>");
  // The translation list after the string tables is still a sibling of theirs.
  EXPECT_EQ(ReadTranslations(block).size(), 1u);

  table.children[1].length = 0xFFF0;  // past the table's end
  block = testing::WriteBlock(root);
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\A"), u"1");
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\B"), u"<none>");
}

TEST(VersionBlockTest, ATruncatedBlockAnswersForWhatItHolds) {
  const auto whole = Block();
  auto root_only = std::vector<uint8_t>(whole.begin(), whole.begin() + 40 + kFixedFileInfoSize);
  EXPECT_TRUE(ReadFixedFileInfo(root_only));
  EXPECT_TRUE(ReadTranslations(root_only).empty());
  for (size_t size = 0; size < whole.size(); ++size) {
    std::span<const uint8_t> part(whole.data(), size);
    ReadFixedFileInfo(part);
    ReadTranslations(part);
    ReadStringTables(part);
  }
}

TEST(VersionBlockTest, OddTranslationLengthsReadWholeEntriesOnly) {
  VersionNode root = testing::VersionTree({});
  VersionNode& list = root.children[1].children[0];
  list.value = {0x09, 0x04, 0xB0, 0x04, 0x19, 0x04};
  list.value_length = 6;
  EXPECT_EQ(ReadTranslations(testing::WriteBlock(root)),
            (std::vector<Translation>{{0x0409, 1200}}));
}

// --- Languages ---------------------------------------------------------------------------

TEST(LanguageTest, NamesLanguagesWithTheirCountryWhereTheyHaveSeveral) {
  EXPECT_EQ(LanguageName(0x0409), u"English (United States)");
  EXPECT_EQ(LanguageName(0x0809), u"English (United Kingdom)");
  EXPECT_EQ(LanguageName(0x0407), u"German (Germany)");
  EXPECT_EQ(LanguageName(0x0419), u"Russian");
  EXPECT_EQ(LanguageName(0x0416), u"Portuguese (Brazil)");
  EXPECT_EQ(LanguageName(0x0414), u"Norwegian (Bokmål)");
  EXPECT_EQ(LanguageName(0x0000), u"Language Neutral");
}

TEST(LanguageTest, UnknownSublanguagesGetTheLanguageAndUnknownLanguagesNothing) {
  EXPECT_EQ(LanguageName(0x0009), u"English");
  EXPECT_EQ(LanguageName(0x7C09), u"English");
  EXPECT_EQ(LanguageName(0x0019), u"Russian");
  EXPECT_EQ(LanguageName(0x03FF), u"");
  EXPECT_EQ(LanguageName(-1), u"");
  EXPECT_EQ(LanguageName(0x10409), u"");
}

TEST(LanguageTest, LocaleNamesGiveTheirLanguage) {
  EXPECT_EQ(LanguageFromLocale("ru_RU.UTF-8"), 0x0419);
  EXPECT_EQ(LanguageFromLocale("ru_RU.CP1251"), 0x0419);
  EXPECT_EQ(LanguageFromLocale("en_US"), 0x0409);
  EXPECT_EQ(LanguageFromLocale("en_GB.UTF-8"), 0x0809);
  EXPECT_EQ(LanguageFromLocale("de_DE.UTF-8@euro"), 0x0407);
  EXPECT_EQ(LanguageFromLocale("pt_BR"), 0x0416);
  EXPECT_EQ(LanguageFromLocale("pt_PT.UTF-8"), 0x0816);
  EXPECT_EQ(LanguageFromLocale("es_ES.UTF-8"), 0x0C0A);
  EXPECT_EQ(LanguageFromLocale("sr_RS@latin"), 0x241A);
  EXPECT_EQ(LanguageFromLocale("sr_RS"), 0x281A);
  EXPECT_EQ(LanguageFromLocale("fil_PH.UTF-8"), 0x0464);
  // A known language elsewhere, and a language alone: the language's main country.
  EXPECT_EQ(LanguageFromLocale("de_BE.UTF-8"), 0x0407);
  EXPECT_EQ(LanguageFromLocale("fr"), 0x040C);
  EXPECT_EQ(LanguageFromLocale("ru_UA"), 0x0419);
  for (const char* english : {"C", "POSIX", "C.UTF-8", "", "xx_YY", "tlh"}) {
    EXPECT_EQ(LanguageFromLocale(english), 0x0409) << english;
  }
}

TEST(LanguageTest, CharsetsGiveTheirWindowsCodePage) {
  EXPECT_EQ(CodePageFromCharset("UTF-8"), 65001);
  EXPECT_EQ(CodePageFromCharset("utf8"), 65001);
  EXPECT_EQ(CodePageFromCharset("ANSI_X3.4-1968"), 65001);
  EXPECT_EQ(CodePageFromCharset("CP1251"), 1251);
  EXPECT_EQ(CodePageFromCharset("KOI8-R"), 20866);
  EXPECT_EQ(CodePageFromCharset("ISO-8859-5"), 28595);
  EXPECT_EQ(CodePageFromCharset("ISO-8859-15"), 28605);
  EXPECT_EQ(CodePageFromCharset("EUC-JP"), 20932);
  EXPECT_EQ(CodePageFromCharset("NO-SUCH-CHARSET"), -1);
}

TEST(LanguageTest, TheUserLanguageComesFromTheEnvironmentInGlibcOrder) {
  const std::string saved_all = getenv("LC_ALL") ? getenv("LC_ALL") : "";
  unsetenv("LC_ALL");
  setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
  setenv("LANG", "ru_RU.UTF-8", 1);
  EXPECT_EQ(UserDefaultLanguage(), 0x0407);
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(UserDefaultLanguage(), 0x0419);
  setenv("LC_ALL", "pt_BR.UTF-8", 1);
  EXPECT_EQ(UserDefaultLanguage(), 0x0416);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(UserDefaultLanguage(), 0x0409);
  unsetenv("LANG");
  if (saved_all.empty()) {
    unsetenv("LC_ALL");
  } else {
    setenv("LC_ALL", saved_all.c_str(), 1);
  }
}

// --- Choosing the string table ------------------------------------------------------------

TEST(ChooseTranslationTest, EnglishOnlyFilesGiveEnglishWhateverTheUser) {
  const std::vector<Translation> english = {{0x0409, 1200}};
  EXPECT_EQ(ChooseTranslation(english, 0x0419, 0x0419, 1251), u"040904B0");
  EXPECT_EQ(ChooseTranslation(english, 0x0407, 0x0407, 65001), u"040904B0");
  EXPECT_EQ(ChooseTranslation({}, 0x0419, 0x0419, 1251), u"040904B0");
}

TEST(ChooseTranslationTest, TheUsersLanguageAndCodePageComeFirst) {
  const std::vector<Translation> list = {{0x0419, 1251}, {0x0409, 1200}};
  EXPECT_EQ(ChooseTranslation(list, 0x0419, 0x0419, 1251), u"041904E3");
  EXPECT_EQ(ChooseTranslation(list, 0x0409, 0x0409, 1252), u"040904B0");
  // The user's language beats the code page: a Russian user in a UTF-8 locale.
  EXPECT_EQ(ChooseTranslation(list, 0x0419, 0x0409, 65001), u"041904E3");
}

TEST(ChooseTranslationTest, RulesInOrder) {
  // 1 before 2: the ANSI code page over Unicode for the user's language.
  EXPECT_EQ(ChooseTranslation({{0x0419, 1200}, {0x0419, 1251}}, 0x0419, 0x0409, 1251), u"041904E3");
  // 2 before 3: Unicode over another code page.
  EXPECT_EQ(ChooseTranslation({{0x0419, 866}, {0x0419, 1200}}, 0x0419, 0x0409, 1251), u"041904B0");
  // 3: the user's language in any code page, before the system's language.
  EXPECT_EQ(ChooseTranslation({{0x0407, 1200}, {0x0419, 866}}, 0x0419, 0x0407, 1252), u"04190362");
  // 4 to 6: the system's language, then 7: English, then 8: the first entry.
  EXPECT_EQ(
      ChooseTranslation({{0x0409, 1200}, {0x0407, 1252}, {0x0407, 1200}}, 0x0419, 0x0407, 1252),
      u"040704E4");
  EXPECT_EQ(
      ChooseTranslation({{0x0409, 1252}, {0x0407, 850}, {0x0407, 1200}}, 0x0419, 0x0407, 1252),
      u"040704B0");
  EXPECT_EQ(ChooseTranslation({{0x040C, 1252}, {0x0409, 1252}}, 0x0419, 0x0407, 1251), u"040904E4");
  EXPECT_EQ(ChooseTranslation({{0x040C, 1252}, {0x0410, 1252}}, 0x0419, 0x0407, 1251), u"040C04E4");
}

TEST(ChooseTranslationTest, CodePagesFrom32768UpNeverEqualTheAnsiCodePage) {
  // 65001 as a signed 16-bit number is -535: the UTF-8 entry is not an ANSI match, so rule 2
  // (Unicode) takes the second entry.
  const std::vector<Translation> list = {{0x0419, 65001}, {0x0419, 1200}};
  EXPECT_EQ(ChooseTranslation(list, 0x0419, 0x0409, 65001), u"041904B0");
}

// --- orvFileVersion -------------------------------------------------------------------------

using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

std::u16string U16(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }

std::string Write(const TempFolder& folder, const std::string& name,
                  const std::vector<uint8_t>& bytes) {
  WriteBytes(folder / name, std::string(bytes.begin(), bytes.end()));
  return folder / name;
}

// Runs with LC_ALL set to `locale` (the user's language), restoring it afterwards.
class UserLocale {
 public:
  explicit UserLocale(const char* locale) {
    if (const char* old = getenv("LC_ALL")) saved_ = old;
    setenv("LC_ALL", locale, 1);
  }
  ~UserLocale() {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }

 private:
  std::optional<std::string> saved_;
};

VersionSpec FullSpec() {
  VersionSpec spec;
  spec.file_version[0] = 3;
  spec.file_version[1] = 14;
  spec.file_version[2] = 159;
  spec.file_version[3] = 26;
  spec.product_version[0] = 1;
  spec.product_version[1] = 2;
  spec.product_version[2] = 65535;
  spec.product_version[3] = 0;
  spec.flags_mask = 0x3F;
  spec.flags = 0x2A;  // pre-release, private build, special build
  spec.os = 0x40004;
  spec.type = 2;
  spec.subtype = 0;
  spec.date_ms = 0x01D2;
  spec.date_ls = 0x80000001u;
  spec.tables = {{u"040904B0",
                  {{u"Comments", u"No comment"},
                   {u"CompanyName", u"Greyfen Works"},
                   {u"FileDescription", u"Test library"},
                   {u"FileVersion", u"3.14.159.26"},
                   {u"InternalName", u"test"},
                   {u"LegalCopyright", u"© 2026"},
                   {u"LegalTrademarks", u"None"},
                   {u"OLESelfRegister", u""},
                   {u"OriginalFilename", u"TEST.DLL"},
                   {u"PrivateBuild", u"by hand"},
                   {u"ProductName", u"Orvanel"},
                   {u"ProductVersion", u"1.2"},
                   {u"SpecialBuild", u"for tests"}}}};
  return spec;
}

TEST(FileVersionTest, ReadsTheFixedPartWithSignedVersionParts) {
  TempFolder folder;
  const auto block = Block(FullSpec());
  const std::string path = Write(folder, "full.dll", PeWith(block, true).bytes);
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(version->ReadFile(U16(path)));
  EXPECT_EQ(version->FileName(), U16(path));
  EXPECT_EQ(version->GetBuffer(), block);
  EXPECT_EQ(version->Signature(), -17890115);
  EXPECT_EQ(version->StrucVersion(), 0x10000);
  EXPECT_EQ(version->FileVerMajor(), 3);
  EXPECT_EQ(version->FileVerMinor(), 14);
  EXPECT_EQ(version->FileVerRevisionMajor(), 159);
  EXPECT_EQ(version->FileVerRevisionMinor(), 26);
  EXPECT_EQ(version->ProductVerMajor(), 1);
  EXPECT_EQ(version->ProductVerMinor(), 2);
  EXPECT_EQ(version->ProductVerRevisionMajor(), -1);
  EXPECT_EQ(version->ProductVerRevisionMinor(), 0);
  EXPECT_EQ(version->FileOS(), 0x40004);
  EXPECT_EQ(version->FileType(), 2);
  EXPECT_EQ(version->FileSubType(), 0);
  EXPECT_EQ(version->FileDateMS(), 0x01D2);
  EXPECT_EQ(version->FileDateLS(), static_cast<int32_t>(0x80000001u));
}

TEST(FileVersionTest, FlagsTestTheFlagsFieldWithoutTheMask) {
  TempFolder folder;
  VersionSpec spec;
  spec.flags_mask = 0x05;  // debug and patched
  spec.flags = 0x3A;       // pre-release, private, inferred, special: none of them in the mask
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(version->ReadFile(U16(Write(folder, "f.exe", PeWith(Block(spec)).bytes))));
  EXPECT_FALSE(version->FileFlagDebug());
  EXPECT_TRUE(version->FileFlagPreRelease());
  EXPECT_FALSE(version->FileFlagPatched());
  EXPECT_TRUE(version->FileFlagPrivateBuild());
  EXPECT_TRUE(version->FileFlagInfoInferred());
  EXPECT_TRUE(version->FileFlagSpecialBuild());
  EXPECT_TRUE(version->FileFlagMaskDebug());
  EXPECT_FALSE(version->FileFlagMaskPreRelease());
  EXPECT_TRUE(version->FileFlagMaskPatched());
  EXPECT_FALSE(version->FileFlagMaskPrivateBuild());
  EXPECT_FALSE(version->FileFlagMaskInfoInferred());
  EXPECT_FALSE(version->FileFlagMaskSpecialBuild());
}

TEST(FileVersionTest, StringsOfTheChosenTable) {
  TempFolder folder;
  UserLocale english("en_US.UTF-8");
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(version->ReadFile(U16(Write(folder, "s.dll", PeWith(Block(FullSpec())).bytes))));
  EXPECT_EQ(version->StrComments(), u"No comment");
  EXPECT_EQ(version->StrCompanyName(), u"Greyfen Works");
  EXPECT_EQ(version->StrFileDescription(), u"Test library");
  EXPECT_EQ(version->StrFileVersion(), u"3.14.159.26");
  EXPECT_EQ(version->StrInternalName(), u"test");
  EXPECT_EQ(version->StrLegalCopyright(), u"© 2026");
  EXPECT_EQ(version->StrLegalTrademarks(), u"None");
  EXPECT_EQ(version->StrOLESelfRegister(), u"");
  EXPECT_EQ(version->StrOriginalFilename(), u"TEST.DLL");
  EXPECT_EQ(version->StrPrivateBuild(), u"by hand");
  EXPECT_EQ(version->StrProductName(), u"Orvanel");
  EXPECT_EQ(version->StrProductVersion(), u"1.2");
  EXPECT_EQ(version->StrSpecialBuild(), u"for tests");
  EXPECT_EQ(version->GetVersionInfoString(u"companyname"), u"Greyfen Works");
  EXPECT_EQ(version->GetVersionInfoString(u""), u"");
  EXPECT_EQ(version->GetVersionInfoString(u"NoSuchValue"), u"");
  EXPECT_EQ(version->LanguageName(), u"English (United States)");
}

TEST(FileVersionTest, TheTableFollowsTheUsersLanguageAtTheTimeOfReading) {
  TempFolder folder;
  VersionSpec spec;
  spec.translations = {{0x0419, 1251}, {0x0409, 1200}};
  spec.tables = {{u"041904E3", {{u"ProductName", u"Жернов"}}},
                 {u"040904B0", {{u"ProductName", u"Quern"}}}};
  const std::string path = Write(folder, "ru.dll", PeWith(Block(spec)).bytes);
  auto version = automation::MakeObject<orvFileVersion>();
  {
    UserLocale russian("ru_RU.UTF-8");
    ASSERT_TRUE(version->ReadFile(U16(path)));
  }
  EXPECT_EQ(version->StrProductName(), U16("Жернов"));
  EXPECT_EQ(version->LanguageName(), u"Russian");
  {
    UserLocale english("en_US.UTF-8");
    EXPECT_EQ(version->StrProductName(), U16("Жернов"));  // chosen once per ReadFile
    ASSERT_TRUE(version->ReadFile(U16(path)));
  }
  EXPECT_EQ(version->StrProductName(), u"Quern");
}

// Run in a child process with a legacy Russian locale, whose ANSI code page is 1251: of a
// Unicode and a 1251 table in Russian, the 1251 one is read (rule 1 before rule 2).
TEST(FileVersionLegacyLocale, ARussianUserWithCodePage1251ReadsThe1251Table) {
  VersionSpec spec;
  spec.translations = {{0x0419, 1200}, {0x0419, 1251}, {0x0409, 1200}};
  spec.tables = {{u"041904B0", {{u"ProductName", u"Unicode"}}},
                 {u"041904E3", {{u"ProductName", u"1251"}}},
                 {u"040904B0", {{u"ProductName", u"English"}}}};
  if (const char* child = std::getenv("QUERN_VERSION_CHILD_FILE")) {
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    ASSERT_EQ(SystemAnsiCodePage(), 1251);
    auto version = automation::MakeObject<orvFileVersion>();
    ASSERT_TRUE(version->ReadFile(support::FileNameFromNative(child)));
    EXPECT_EQ(version->StrProductName(), u"1251");
    EXPECT_EQ(version->LanguageName(), u"Russian");
    return;
  }
  if (!testing::HaveTool("localedef")) GTEST_SKIP() << "localedef is not installed";
  TempFolder locales;
  TempFolder folder;
  std::string output;
  testing::RunCommand(
      "localedef -c -i ru_RU -f CP1251 '" + locales.path() + "/ru_RU.CP1251' >/dev/null", &output);
  if (!std::filesystem::exists(locales.path() + "/ru_RU.CP1251")) {
    GTEST_SKIP() << "cannot build a CP1251 locale: " << output;
  }
  const std::string file = Write(folder, "ru.dll", PeWith(Block(spec)).bytes);
  char self[4096];
  const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(size, 0);
  self[size] = '\0';
  const std::string command = "LOCPATH='" + locales.path() +
                              "' LC_ALL=ru_RU.CP1251 QUERN_VERSION_CHILD_FILE='" + file + "' '" +
                              self + "' --gtest_filter=FileVersionLegacyLocale.* 2>&1";
  EXPECT_EQ(testing::RunCommand(command, &output), 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(FileVersionTest, WithoutTranslationsTheEnglishUnicodeTableIsRead) {
  TempFolder folder;
  VersionSpec spec;
  spec.translations.clear();
  spec.tables = {{u"040904B0", {{u"ProductName", u"Plain"}}}};
  auto version = automation::MakeObject<orvFileVersion>();
  UserLocale russian("ru_RU.UTF-8");
  ASSERT_TRUE(version->ReadFile(U16(Write(folder, "n.dll", PeWith(Block(spec)).bytes))));
  EXPECT_EQ(version->StrProductName(), u"Plain");
  EXPECT_EQ(version->LanguageName(), u"English (United States)");

  // A translation whose table is missing: every string is empty.
  spec.translations = {{0x0407, 1200}};
  ASSERT_TRUE(version->ReadFile(U16(Write(folder, "m.dll", PeWith(Block(spec)).bytes))));
  EXPECT_EQ(version->StrProductName(), u"");
  EXPECT_EQ(version->LanguageName(), u"German (Germany)");
}

TEST(FileVersionTest, AShortRootValueStillLoadsWithAZeroFixedPart) {
  TempFolder folder;
  VersionNode root = testing::VersionTree(FullSpec());
  root.value.resize(40);
  root.value_length = 40;
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(
      version->ReadFile(U16(Write(folder, "r.dll", PeWith(testing::WriteBlock(root)).bytes))));
  EXPECT_EQ(version->Signature(), 0);
  EXPECT_EQ(version->FileVerMajor(), 0);
  EXPECT_FALSE(version->FileFlagMaskDebug());
  EXPECT_EQ(version->StrCompanyName(), u"Greyfen Works");
}

TEST(FileVersionTest, FailuresLeaveTheObjectEmpty) {
  TempFolder folder;
  auto version = automation::MakeObject<orvFileVersion>();
  const std::string good = Write(folder, "good.dll", PeWith(Block(FullSpec())).bytes);
  const std::string text = folder / "text.txt";
  WriteBytes(text, "not an executable");
  const std::string no_version = Write(folder, "nover.dll", BuildPe(PeOptions{}).bytes);
  for (const std::string& bad :
       {folder / "missing.dll", text, no_version, folder.path(), std::string()}) {
    ASSERT_TRUE(version->ReadFile(U16(good)));
    EXPECT_FALSE(version->ReadFile(U16(bad))) << bad;
    EXPECT_EQ(version->FileName(), u"");
    EXPECT_TRUE(version->GetBuffer().empty());
    EXPECT_EQ(version->Signature(), 0);
    EXPECT_EQ(version->ProductVerRevisionMajor(), 0);
    EXPECT_FALSE(version->FileFlagMaskDebug());
    EXPECT_EQ(version->LanguageName(), u"");
    EXPECT_EQ(version->StrCompanyName(), u"");
  }
}

TEST(FileVersionTest, AFifoIsRefusedWithoutWaiting) {
  TempFolder folder;
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
  auto version = automation::MakeObject<orvFileVersion>();
  EXPECT_FALSE(version->ReadFile(U16(folder / "fifo")));
}

TEST(FileVersionTest, TheLibraryFileAnswersWithTheLibrarysVersion) {
  const std::string library =
      automation::ModulePathOf(reinterpret_cast<const void*>(&DllCanUnloadNow));
  ASSERT_FALSE(library.empty());
  UserLocale russian("ru_RU.UTF-8");
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(version->ReadFile(support::FileNameFromNative(library)));
  EXPECT_EQ(version->Signature(), -17890115);
  EXPECT_EQ(version->FileVerMajor(), 1);
  EXPECT_EQ(version->FileVerMinor(), 2);
  EXPECT_EQ(version->FileVerRevisionMinor(), 29);
  EXPECT_EQ(version->FileType(), 2);
  EXPECT_EQ(version->StrFileVersion(), u"1.02.0029");
  EXPECT_EQ(version->StrCompanyName(), u"Greyfen Works");
  EXPECT_EQ(version->StrOriginalFilename(), u"Quern0102.DLL");
  EXPECT_EQ(version->StrOLESelfRegister(), u"");
  EXPECT_EQ(version->LanguageName(), u"English (United States)");
  EXPECT_EQ(QueryVersionValue(version->GetBuffer(), u"\\StringFileInfo\\040904B0\\OLESelfRegister")
                .has_value(),
            true);
}

TEST(FileVersionTest, LateBoundCallsAndCreationByProgId) {
  TempFolder folder;
  const std::string path = Write(folder, "late.dll", PeWith(Block(FullSpec())).bytes);
  auto object = automation::CreateObject("Quern0102.orvFileVersion");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->TypeInfo().name, "orvFileVersion");
  using automation::CallByName;
  using automation::Variant;
  EXPECT_TRUE(CallByName(*object, "ReadFile", {Variant(U16(path))}).ToBool());
  EXPECT_EQ(CallByName(*object, "ProductVerRevisionMajor").ToLong(), -1);
  EXPECT_EQ(CallByName(*object, "signature").ToLong(), -17890115);
  EXPECT_EQ(CallByName(*object, "GetVersionInfoString", {Variant(u"ProductName")}).ToString(),
            u"Orvanel");
  EXPECT_EQ(CallByName(*object, "GetLanguageName", {Variant(int32_t{0x0419})}).ToString(),
            u"Russian");
  EXPECT_EQ(CallByName(*object, "FileFlagPreRelease").ToBool(), true);
  EXPECT_EQ(CallByName(*object, "GetBuffer").ToBytes(), Block(FullSpec()));

  const automation::ClassInfo& info = orvFileVersion::Class();
  ASSERT_EQ(info.members.size(), 46u);
  EXPECT_EQ(info.members[0].name, "ReadFile");
  EXPECT_EQ(info.members[45].name, "StrSpecialBuild");
  EXPECT_EQ(info.members[30].description, "Возвращает имя языка по коду");
  EXPECT_EQ(info.members[4].result_type, "FileSubType_Const");
  EXPECT_NE(TypeLibrary().FindClass("orvFileVersion"), nullptr);
}

// --- Real executables, against python3-pefile ------------------------------------------------

const char* const kFixtures[] = {"distlib-t32.exe", "distlib-w64.exe", "libwinpthread-1-i686.dll",
                                 "ipxe-snponly.efi"};

std::string FixturePath(const char* name) {
  return std::string(TESTS_SOURCE_DIR) + "/fileio/fixtures/" + name;
}

// pefile's reading of a file, one line per fact: "F" and the 13 fixed fields, "T language code
// page", "S table name" with the text in hexadecimal UTF-8. Nothing when Debian's Python has no
// pefile.
std::optional<std::string> PefileView(const std::string& path) {
  const std::string script = R"(
import sys, pefile
pe = pefile.PE(sys.argv[1])
fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
if fixed:
    f = fixed[0]
    print("F", *[f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS,
                 f.ProductVersionMS, f.ProductVersionLS, f.FileFlagsMask, f.FileFlags, f.FileOS,
                 f.FileType, f.FileSubtype, f.FileDateMS, f.FileDateLS])
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            for name, value in table.entries.items():
                print("S", table.LangID.decode().upper(), name.decode(), value.hex() or "-")
        for var in getattr(info, "Var", []):
            for value in var.entry.values():
                for pair in value.split(","):
                    print("T", *[int(x, 16) for x in pair.split()])
)";
  const std::string command = "/usr/bin/python3 -c '" + script + "' '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char chunk[4096];
  while (size_t got = fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, got);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex.empty() ? "-" : hex;
}

// Our reading, in the same lines.
std::string OurView(const std::string& path) {
  const std::string bytes = orvanel::testing::ReadBytes(path);
  auto block =
      FindVersionResource(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  std::string out;
  if (!block) return out;
  if (auto f = ReadFixedFileInfo(*block)) {
    out += "F";
    for (uint32_t field : {f->signature, f->struc_version, f->file_version_ms, f->file_version_ls,
                           f->product_version_ms, f->product_version_ls, f->flags_mask, f->flags,
                           f->os, f->type, f->subtype, f->date_ms, f->date_ls}) {
      out += " " + std::to_string(field);
    }
    out += "\n";
  }
  for (const StringTable& table : ReadStringTables(*block)) {
    std::string key = support::Utf8FromUtf16(table.key);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& [name, value] : table.strings) {
      out += "S " + key + " " + support::Utf8FromUtf16(name) + " " +
             Hex(support::Utf8FromUtf16(value)) + "\n";
    }
  }
  for (const Translation& t : ReadTranslations(*block)) {
    out += "T " + std::to_string(t.language) + " " + std::to_string(t.code_page) + "\n";
  }
  return out;
}

TEST(FixtureTest, EveryFieldStringAndTranslationAgreesWithPefile) {
  for (const char* name : kFixtures) {
    auto expected = PefileView(FixturePath(name));
    if (!expected) GTEST_SKIP() << "/usr/bin/python3 cannot import pefile";
    EXPECT_EQ(OurView(FixturePath(name)), *expected) << name;
  }
}

TEST(FixtureTest, ReadsTheRealFilesThroughTheObject) {
  UserLocale english("en_US.UTF-8");
  auto version = automation::MakeObject<orvFileVersion>();
  ASSERT_TRUE(version->ReadFile(U16(FixturePath("libwinpthread-1-i686.dll"))));
  EXPECT_EQ(version->Signature(), -17890115);
  EXPECT_EQ(version->FileVerMajor(), 1);
  EXPECT_EQ(version->StrFileDescription(), u"POSIX WinThreads for Windows");
  EXPECT_EQ(version->GetVersionInfoString(u"Licence"), u"ZPL");
  EXPECT_EQ(version->LanguageName(), u"English (United States)");

  // The launcher lists 0409/04B0 but keeps its strings under 0809/04B0.
  ASSERT_TRUE(version->ReadFile(U16(FixturePath("distlib-w64.exe"))));
  EXPECT_EQ(version->FileVerRevisionMinor(), 14);
  EXPECT_EQ(version->StrProductName(), u"");

  EXPECT_FALSE(version->ReadFile(U16(FixturePath("ipxe-snponly.efi"))));
}

}  // namespace
}  // namespace quern
