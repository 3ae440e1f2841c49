// Version resources: the PE reader, the VS_VERSIONINFO queries, language names and default
// languages, and orvFileVersion as clients see it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_files.h"
#include "fileio/pe_builder.h"
#include "fileio/pe_image.h"
#include "fileio/version_resource.h"

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

}  // namespace
}  // namespace quern
