#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
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
using orvanel::testing::RaisedBy;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

// What iconv makes of the UTF-8 file `from`, in `charset`.
std::string Iconv(const std::string& from, const std::string& charset) {
  const std::string out = from + "." + charset;
  const std::string command =
      "/usr/bin/iconv -f UTF-8 -t " + charset + " '" + from + "' > '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadBytes(out);
}

struct Format {
  FileEncodingConst encoding = feAuto;
  FileBOMConst bom = fbAuto;
  InvertBytesConst invert = ibAuto;
  bool operator==(const Format&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Format& f) {
  return out << "(" << f.encoding << ", " << f.bom << ", " << f.invert << ")";
}

class TextFiles : public ::testing::Test {
 protected:
  // The text read back and the format reported, all arguments auto.
  std::u16string GetAuto(const std::string& path, Format* reported, bool* success = nullptr) {
    return fso->GetFile2(Name(path), false, feAuto, fbAuto, ibAuto, &reported->encoding,
                         &reported->bom, &reported->invert, success);
  }
  Format Detect(const std::string& path) {
    Format f;
    EXPECT_TRUE(fso->GetFileFormat2(Name(path), false, &f.encoding, &f.bom, &f.invert));
    return f;
  }

  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
  const std::u16string text = u"Line one\r\nСтрока два — €\r\n\U0001F600 three\tend";
};

TEST_F(TextFiles, EveryFormatIsWrittenAsIconvWritesItAndReadsBack) {
  const std::string utf8 = support::ovUNICODEToUTF8(text);
  WriteBytes(dir / "source", utf8);
  const std::string le = Iconv(dir / "source", "UTF-16LE");
  const std::string be = Iconv(dir / "source", "UTF-16BE");
  struct Case {
    Format format;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {{feANSI, fbNoBOM, ibDontInvertBytes}, utf8},  // the C locale's ANSI page is UTF-8
      {{feANSI, fbBOM, ibInvertBytes}, utf8},        // ANSI ignores mark and order
      {{feUTF8, fbNoBOM, ibDontInvertBytes}, utf8},
      {{feUTF8, fbBOM, ibDontInvertBytes}, "\xEF\xBB\xBF" + utf8},
      {{feUTF8, fbBOM, ibInvertBytes}, "\xEF\xBB\xBF" + utf8},  // order is for UTF-16 only
      {{feUTF16, fbNoBOM, ibDontInvertBytes}, le},
      {{feUTF16, fbBOM, ibDontInvertBytes}, "\xFF\xFE" + le},
      {{feUTF16, fbNoBOM, ibInvertBytes}, be},
      {{feUTF16, fbBOM, ibInvertBytes}, "\xFE\xFF" + be},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.format);
    const Format f = c.format;
    ASSERT_TRUE(fso->PutFile2(Name(dir / "put"), text, false, f.encoding, f.bom, f.invert));
    EXPECT_EQ(ReadBytes(dir / "put"), c.bytes);
    EXPECT_EQ(fso->OverwriteFile2(Name(dir / "over"), text, false, f.encoding, f.bom, f.invert),
              255);
    EXPECT_EQ(ReadBytes(dir / "over"), c.bytes);
    // Read back with the format given, the text is the same.
    bool success = false;
    EXPECT_EQ(fso->GetFile2(Name(dir / "put"), false, f.encoding, f.bom, f.invert, nullptr, nullptr,
                            nullptr, &success),
              text);
    EXPECT_TRUE(success);
  }
}

TEST_F(TextFiles, PutFile2Defaults) {
  ASSERT_TRUE(fso->PutFile2(Name(dir / "f"), u"ж"));
  EXPECT_EQ(ReadBytes(dir / "f"), "\xD0\xB6");  // ANSI, no mark
  ASSERT_TRUE(fso->PutFile2(Name(dir / "f"), u"ж", false, feUTF8));
  EXPECT_EQ(ReadBytes(dir / "f"), "\xEF\xBB\xBF\xD0\xB6");
  ASSERT_TRUE(fso->PutFile2(Name(dir / "f"), u"ж", false, feUTF16, fbAuto, ibInvertBytes));
  EXPECT_EQ(ReadBytes(dir / "f"), "\xFE\xFF\x04\x36");
}

TEST_F(TextFiles, DetectionLooksOnlyAtTheMark) {
  const struct {
    std::string bytes;
    Format format;
  } cases[] = {
      {"", {feANSI, fbNoBOM, ibDontInvertBytes}},
      {"\xFF", {feANSI, fbNoBOM, ibDontInvertBytes}},
      {"\xFF\xFE", {feUTF16, fbBOM, ibDontInvertBytes}},
      {std::string("\xFF\xFE\0\0", 4), {feUTF16, fbBOM, ibDontInvertBytes}},
      {"\xFE\xFF\x00", {feUTF16, fbBOM, ibInvertBytes}},
      {"\xEF\xBB", {feANSI, fbNoBOM, ibDontInvertBytes}},
      {"\xEF\xBB\xBFx", {feUTF8, fbBOM, ibDontInvertBytes}},
      {"\xD0\xB6 utf-8 without a mark", {feANSI, fbNoBOM, ibDontInvertBytes}},
  };
  for (const auto& c : cases) {
    WriteBytes(dir / "f", c.bytes);
    EXPECT_EQ(Detect(dir / "f"), c.format) << c.bytes.size();
  }
}

TEST_F(TextFiles, GetFileFormat2FailureKeepsTheCallersValues) {
  Format f{feUTF8, fbBOM, ibInvertBytes};
  EXPECT_FALSE(fso->GetFileFormat2(Name(dir / "missing"), false, &f.encoding, &f.bom, &f.invert));
  EXPECT_EQ(f, (Format{feUTF8, fbBOM, ibInvertBytes}));
  const support::Error error = RaisedBy([&] { fso->GetFileFormat2(Name(dir / "missing"), true); });
  EXPECT_EQ(error.number(), 53);
  EXPECT_EQ(error.source(), "orvFSO");
}

TEST_F(TextFiles, GetFile2ReadsMarksAndReportsTheFormat) {
  Format f;
  bool success = false;
  WriteBytes(dir / "f", "\xEF\xBB\xBF\xD0\xB6x");
  EXPECT_EQ(GetAuto(dir / "f", &f, &success), u"жx");
  EXPECT_EQ(f, (Format{feUTF8, fbBOM, ibDontInvertBytes}));
  EXPECT_TRUE(success);
  WriteBytes(dir / "f", "\xFF\xFE");
  EXPECT_EQ(GetAuto(dir / "f", &f), u"");
  EXPECT_EQ(f, (Format{feUTF16, fbBOM, ibDontInvertBytes}));
  WriteBytes(dir / "f", "");
  success = false;
  EXPECT_EQ(GetAuto(dir / "f", &f, &success), u"");
  EXPECT_TRUE(success);
  EXPECT_EQ(f, (Format{feANSI, fbNoBOM, ibDontInvertBytes}));
}

TEST_F(TextFiles, GivenValuesWinOverDetection) {
  Format f;
  // fbBOM drops three bytes (UTF-8) or one character (UTF-16) whatever they are.
  WriteBytes(dir / "f", "abcdef");
  EXPECT_EQ(
      fso->GetFile2(Name(dir / "f"), false, feUTF8, fbBOM, ibAuto, &f.encoding, &f.bom, &f.invert),
      u"def");
  EXPECT_EQ(f, (Format{feUTF8, fbBOM, ibDontInvertBytes}));
  EXPECT_EQ(fso->GetFile2(Name(dir / "f"), false, feUTF16, fbBOM), u"\x6463\x6665");
  // fbNoBOM keeps a mark as U+FEFF.
  WriteBytes(dir / "f", "\xEF\xBB\xBFx");
  EXPECT_EQ(fso->GetFile2(Name(dir / "f"), false, feAuto, fbNoBOM), u"\uFEFFx");
}

TEST_F(TextFiles, BadBytesAreReplacedNotDropped) {
  WriteBytes(dir / "f",
        "\xEF\xBB\xBF"
        "a\xFF"
        "b\xE2\x82");
  EXPECT_EQ(fso->GetFile2(Name(dir / "f")), u"a\uFFFDb\uFFFD");
  // An odd last byte of UTF-16 in natural order becomes U+FFFD.
  WriteBytes(dir / "f", std::string("\xFF\xFE"
                               "a\0b",
                               5));
  EXPECT_EQ(fso->GetFile2(Name(dir / "f")), u"a\uFFFD");
}

TEST_F(TextFiles, OddInvertedUtf16RaisesError9WhateverRaiseErrorsSays) {
  WriteBytes(dir / "f", std::string("\xFE\xFF\0a\0", 5));
  bool success = true;
  const support::Error error = RaisedBy([&] {
    fso->GetFile2(Name(dir / "f"), false, feAuto, fbAuto, ibAuto, nullptr, nullptr, nullptr,
                  &success);
  });
  EXPECT_EQ(error.number(), 9);
  EXPECT_FALSE(success);
}

TEST_F(TextFiles, OutOfRangeArgumentsRaise5BeforeAnyFileIsTouched) {
  bool success = true;
  const support::Error error = RaisedBy([&] {
    fso->GetFile2(Name(dir / "missing"), false, static_cast<FileEncodingConst>(4), fbAuto, ibAuto,
                  nullptr, nullptr, nullptr, &success);
  });
  EXPECT_EQ(error.number(), 5);
  EXPECT_EQ(error.source(), "orvFSO");
  EXPECT_FALSE(success);
  EXPECT_EQ(RaisedBy([&] {
              fso->PutFile2(Name(dir / "f"), u"x", false, feAuto, static_cast<FileBOMConst>(3));
            }).number(),
            5);
  EXPECT_EQ(RaisedBy([&] {
              fso->AppendFile2(Name(dir / "f"), u"x", false, feAuto, fbAuto,
                               static_cast<InvertBytesConst>(-1));
            }).number(),
            5);
  EXPECT_EQ(RaisedBy([&] {
              fso->OverwriteFile2(Name(dir / "f"), u"x", false, static_cast<FileEncodingConst>(-1));
            }).number(),
            5);
  EXPECT_NE(access((dir / "f").c_str(), F_OK), 0);
}

TEST_F(TextFiles, FailuresOfTheFileFollowRaiseErrors) {
  bool success = true;
  EXPECT_EQ(fso->GetFile2(Name(dir / "missing"), false, feAuto, fbAuto, ibAuto, nullptr, nullptr,
                          nullptr, &success),
            u"");
  EXPECT_FALSE(success);
  EXPECT_EQ(RaisedBy([&] { fso->GetFile2(Name(dir / "missing"), true); }).number(), 53);
  EXPECT_FALSE(fso->PutFile2(Name(dir / "no/f"), u"x"));
  EXPECT_EQ(RaisedBy([&] { fso->PutFile2(Name(dir / "no/f"), u"x", true); }).number(), 76);
  EXPECT_EQ(fso->OverwriteFile2(Name(dir.path()), u"x"), 0);
  EXPECT_EQ(RaisedBy([&] { fso->OverwriteFile2(Name(dir.path()), u"x", true); }).number(), 70);
}

TEST_F(TextFiles, AppendFile2ToAMissingFile) {
  Format f;
  ASSERT_TRUE(fso->AppendFile2(Name(dir / "f"), u"ж", false, feAuto, fbAuto, ibAuto, &f.encoding,
                               &f.bom, &f.invert));
  EXPECT_EQ(ReadBytes(dir / "f"), "\xD0\xB6");                    // ANSI never has a mark...
  EXPECT_EQ(f, (Format{feANSI, fbBOM, ibDontInvertBytes}));  // ...though one is reported
}

TEST_F(TextFiles, AppendFile2ToAnEmptyFileWritesAMarkOnlyWhenAsked) {
  WriteBytes(dir / "f", "");
  ASSERT_TRUE(fso->AppendFile2(Name(dir / "f"), u"a", false, feUTF8));
  EXPECT_EQ(ReadBytes(dir / "f"), "a");
  WriteBytes(dir / "f", "");
  ASSERT_TRUE(fso->AppendFile2(Name(dir / "f"), u"a", false, feUTF8, fbBOM));
  EXPECT_EQ(ReadBytes(dir / "f"),
            "\xEF\xBB\xBF"
            "a");
}

TEST_F(TextFiles, AppendFile2FollowsTheFilesFormatWithoutASecondMark) {
  ASSERT_TRUE(fso->PutFile2(Name(dir / "f"), u"a", false, feUTF16, fbBOM, ibInvertBytes));
  Format f;
  ASSERT_TRUE(fso->AppendFile2(Name(dir / "f"), u"ж", false, feAuto, fbAuto, ibAuto, &f.encoding,
                               &f.bom, &f.invert));
  EXPECT_EQ(ReadBytes(dir / "f"), std::string("\xFE\xFF\0a\x04\x36", 6));
  EXPECT_EQ(f, (Format{feUTF16, fbBOM, ibInvertBytes}));
  // A given encoding is used as given, even against the file's.
  ASSERT_TRUE(fso->AppendFile2(Name(dir / "f"), u"b", false, feUTF8));
  EXPECT_EQ(ReadBytes(dir / "f"), std::string("\xFE\xFF\0a\x04\x36"
                                         "b",
                                         7));
}

TEST_F(TextFiles, AppendFile2OfAFolderFailsWithoutWriting) {
  EXPECT_FALSE(fso->AppendFile2(Name(dir.path()), u"x"));
  EXPECT_NE(RaisedBy([&] { fso->AppendFile2(Name(dir.path()), u"x", true); }).number(), 0);
}

}  // namespace
}  // namespace quern
