#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using orvanel::testing::ReadBytes;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

// The items in order; each must sit under its position as key.
std::vector<std::u16string> Items(const Ref<Collection>& items) {
  std::vector<std::u16string> result;
  if (!items) {
    ADD_FAILURE() << "no collection";
    return result;
  }
  for (int32_t i = 1; i <= items->Count(); ++i) {
    const std::u16string key = support::Utf16FromUtf8(std::to_string(i));
    EXPECT_EQ(items->Item(automation::Variant(key)).ToString(),
              items->Item(automation::Variant(i)).ToString());
    result.push_back(items->Item(automation::Variant(i)).ToString());
  }
  return result;
}

using List = std::vector<std::u16string>;

class ListFiles : public ::testing::Test {
 protected:
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
  std::u16string file = Name(dir / "list.txt");
};

TEST_F(ListFiles, DefaultsSkipCommentsAndBlanksAndTrim) {
  WriteBytes(dir / "list.txt", "; comment\r\n\r\n  *.tmp \t\r\n*.bak\r\n");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file)), (List{u"*.tmp", u"*.bak"}));
  // The final CR LF gives ReadStandardListFile2 one more, empty, piece (skipped as blank).
  bool success = false;
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, true, false, feAuto, fbAuto, ibAuto,
                                             nullptr, nullptr, nullptr, &success)),
            (List{u"*.tmp", u"*.bak"}));
  EXPECT_TRUE(success);
}

// On Unix a lone LF ends a line for both readers, as every editor there writes it; CR LF and a
// lone CR keep their meaning, and mixed line ends in one file each count once.
#if !defined(_WIN32)
TEST_F(ListFiles, UnixLineEndsEndLines) {
  WriteBytes(dir / "list.txt", "*.tmp\n; comment\n*.bak\n\n*.old\n");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file)), (List{u"*.tmp", u"*.bak", u"*.old"}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, true)),
            (List{u"*.tmp", u"*.bak", u"*.old"}));
  // Blanks kept: an empty line between two LFs is one empty item, CR LF is one line end, not two.
  WriteBytes(dir / "list.txt", "a\r\nb\n\nc\rd\r\n");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file, u";", false, false)),
            (List{u"a", u"b", u"", u"c", u"d"}));
  // The second reader keeps a lone CR inside its item, and a final line end gives it an empty
  // last piece, as with CR LF.
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", false, false)),
            (List{u"a", u"b", u"", u"c\rd", u""}));
  // UTF-16 text splits the same way.
  WriteBytes(dir / "list.txt", std::string("\xFF\xFE" "a\0\n\0b\0\r\0\n\0c\0", 14));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, true)), (List{u"a", u"b", u"c"}));
}
#endif

TEST_F(ListFiles, UntrimmedLinesAreTestedTrimmedOnlyByTheFirstReader) {
  WriteBytes(dir / "list.txt", " mask \r\n  ; comment");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file, u";", true, false)), (List{u" mask "}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, false)),
            (List{u" mask ", u"  ; comment"}));
}

TEST_F(ListFiles, OnlyTheSecondReaderComparesTheMarkerWithoutCase) {
  WriteBytes(dir / "list.txt", "REM one\r\nrem two\r\nРем три\r\nkeep");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file, u"REM")),
            (List{u"rem two", u"Рем три", u"keep"}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u"REM")), (List{u"Рем три", u"keep"}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u"РЕМ")),
            (List{u"REM one", u"rem two", u"keep"}));
}

TEST_F(ListFiles, BlanksKeptAndNoMarker) {
  WriteBytes(dir / "list.txt", "a\r\n\r\n  \r\n;b\r\n");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file, u";", false)), (List{u"a", u"", u""}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", false)), (List{u"a", u"", u"", u""}));
  EXPECT_EQ(Items(fso->ReadStandardListFile(file, u"", false)), (List{u"a", u"", u"", u";b"}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u"", false)),
            (List{u"a", u"", u"", u";b", u""}));
}

TEST_F(ListFiles, LineEnds) {
  // A lone LF is the platform's line end on Unix only; on Windows it stays in the item.
  WriteBytes(dir / "list.txt", "a\nb\nc");
#if defined(_WIN32)
  const List lone_lf{u"a\nb\nc"};
#else
  const List lone_lf{u"a", u"b", u"c"};
#endif
  EXPECT_EQ(Items(fso->ReadStandardListFile(file)), lone_lf);
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file)), lone_lf);
  // A CR alone ends a line only for the first reader.
  WriteBytes(dir / "list.txt", "a\rb\r\nc");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file)), (List{u"a", u"b", u"c"}));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file)), (List{u"a\rb", u"c"}));
}

TEST_F(ListFiles, EmptyFile) {
  WriteBytes(dir / "list.txt", "");
  EXPECT_EQ(Items(fso->ReadStandardListFile(file)), List{});
  bool success = false;
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, true, false, feAuto, fbAuto, ibAuto,
                                             nullptr, nullptr, nullptr, &success)),
            List{});
  EXPECT_TRUE(success);
}

TEST_F(ListFiles, TheSecondReaderReadsEveryFormat) {
  WriteBytes(dir / "list.txt",
        "\xEF\xBB\xBF"
        "один\r\n;x\r\nдва");
  FileEncodingConst encoding = feAuto;
  FileBOMConst bom = fbAuto;
  InvertBytesConst invert = ibAuto;
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file, u";", true, true, false, feAuto, fbAuto, ibAuto,
                                             &encoding, &bom, &invert)),
            (List{u"один", u"два"}));
  EXPECT_EQ(encoding, feUTF8);
  EXPECT_EQ(bom, fbBOM);
  EXPECT_EQ(invert, ibDontInvertBytes);
  ASSERT_TRUE(fso->PutFile2(file, u"a\r\nb", false, feUTF16, fbBOM, ibInvertBytes));
  EXPECT_EQ(Items(fso->ReadStandardListFile2(file)), (List{u"a", u"b"}));
}

TEST_F(ListFiles, MissingFiles) {
  const std::u16string missing = Name(dir / "missing");
  EXPECT_FALSE(fso->ReadStandardListFile(missing));
  EXPECT_EQ(fso->ReadStandardListFile(Name(dir.path())), nullptr);
  bool success = true;
  const Ref<Collection> items =
      fso->ReadStandardListFile2(missing, u";", true, true, false, feAuto, fbAuto, ibAuto, nullptr,
                                 nullptr, nullptr, &success);
  ASSERT_TRUE(items);
  EXPECT_EQ(items->Count(), 0);
  EXPECT_FALSE(success);
  try {
    fso->ReadStandardListFile(missing, u";", true, true, false, true);
    ADD_FAILURE() << "no error";
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), 53);
  }
  EXPECT_THROW(fso->ReadStandardListFile2(missing, u";", true, true, true), support::Error);
}

TEST_F(ListFiles, SecondReaderSwallowsArgumentAndDecodingErrorsUnlessAskedToRaise) {
  bool success = true;
  const Ref<Collection> items =
      fso->ReadStandardListFile2(file, u";", true, true, false, static_cast<FileEncodingConst>(9),
                                 fbAuto, ibAuto, nullptr, nullptr, nullptr, &success);
  EXPECT_EQ(items->Count(), 0);
  EXPECT_FALSE(success);
  // An odd count of inverted UTF-16 bytes: read, but not decodable -- no success.
  WriteBytes(dir / "list.txt", std::string("\xFE\xFF\0a\0", 5));
  success = true;
  EXPECT_EQ(fso->ReadStandardListFile2(file, u";", true, true, false, feAuto, fbAuto, ibAuto,
                                       nullptr, nullptr, nullptr, &success)
                ->Count(),
            0);
  EXPECT_FALSE(success);
  try {
    fso->ReadStandardListFile2(file, u";", true, true, true);
    ADD_FAILURE() << "no error";
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), 9);
  }
}

}  // namespace
}  // namespace quern
