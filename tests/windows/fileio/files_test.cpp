// orvFSO and orvDescriptIon over the Win32 backend: text in every encoding and byte order,
// whole binary files and their atomic replacement, list files, Descript.ion in the OEM code
// page, and bad names, which must give the library's errors and never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fileio/orvDescriptIon.h"
#include "fileio/orvFSO.h"
#include "fileio/orvFileStreams.h"
#include "fileio/orvFileVersion.h"
#include "fileio/orvFoundedFiles.h"
#include "fileio/orvShellFileInfo.h"
#include "support/ov_error.h"
#include "tests/windows/fileio/fileio_test_support.h"

namespace {

using automation::MakeObject;
using fileio_test::NamesIn;
using fileio_test::ReadBytes;
using fileio_test::Text;
using fileio_test::WriteBytes;
using quern::orvFSO;
using windows_test::TempTree;

// Cyrillic, CJK and a character outside the BMP (a surrogate pair in UTF-16).
const std::string kMixed = "Строка — 日本語 \xF0\x9F\x98\x80\r\nline 2";

TEST(WindowsFileio, UnicodeTextRoundTripsInEveryEncodingAndByteOrder) {
  TempTree tree;
  orvFSO fso;
  struct Case {
    quern::FileEncodingConst encoding;
    quern::FileBOMConst bom;
    quern::InvertBytesConst invert;
    std::string start;  // the first bytes on disk
  };
  const Case cases[] = {
      {quern::feUTF8, quern::fbBOM, quern::ibDontInvertBytes, "\xEF\xBB\xBF"},
      {quern::feUTF8, quern::fbNoBOM, quern::ibDontInvertBytes, "\xD0\xA1"},
      {quern::feUTF16, quern::fbBOM, quern::ibDontInvertBytes, std::string("\xFF\xFE", 2)},
      {quern::feUTF16, quern::fbBOM, quern::ibInvertBytes, std::string("\xFE\xFF", 2)},
  };
  for (const Case& c : cases) {
    const std::string path = tree / ("text " + std::to_string(c.encoding) + std::to_string(c.bom) +
                                     std::to_string(c.invert) + ".txt");
    ASSERT_TRUE(fso.PutFile2(Text(path), Text(kMixed), true, c.encoding, c.bom, c.invert));
    EXPECT_EQ(ReadBytes(path).substr(0, c.start.size()), c.start) << path;
    quern::FileEncodingConst encoding = quern::feAuto;
    bool success = false;
    // A file without a mark is read as what it was written as.
    const quern::FileEncodingConst asked = c.bom == quern::fbNoBOM ? c.encoding : quern::feAuto;
    const std::u16string back = fso.GetFile2(Text(path), true, asked, quern::fbAuto, quern::ibAuto,
                                             &encoding, nullptr, nullptr, &success);
    EXPECT_TRUE(success);
    EXPECT_EQ(back, Text(kMixed)) << path;
    if (c.bom == quern::fbBOM) {
      EXPECT_EQ(encoding, c.encoding) << path;
    }
  }
}

TEST(WindowsFileio, AnsiTextIsTheAnsiCodePage) {
  TempTree tree;
  orvFSO fso;
  const std::string path = tree / "ansi.txt";
  const std::string text = "Caf\xC3\xA9 na\xC3\xAFve";  // in every Western code page
  ASSERT_TRUE(fso.PutFile2(Text(path), Text(text), true, quern::feANSI, quern::fbNoBOM));
  const UINT ansi = GetACP();
  EXPECT_EQ(ReadBytes(path), fileio_test::InCodePage(text, ansi)) << "ANSI code page " << ansi;
  EXPECT_EQ(fso.GetFile2(Text(path), true, quern::feANSI), Text(text));
}

TEST(WindowsFileio, PutFileBReplacesWholeAndLeavesNothingBeside) {
  TempTree tree;
  orvFSO fso;
  const std::string path = tree / "данные.bin";
  WriteBytes(path, std::string(100000, 'x'));
  // A hidden, system file keeps what it is across the replacement, as an edit in place would.
  ASSERT_TRUE(SetFileAttributesW(windows_test::LongForm(path).c_str(),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  const std::vector<uint8_t> data = {0, 1, 2, 0xFF, 0x0D, 0x0A, 0x1A, 0};
  ASSERT_TRUE(fso.PutFileB(Text(path), data, true));
  EXPECT_EQ(ReadBytes(path), std::string(data.begin(), data.end()));
  EXPECT_TRUE(GetFileAttributesW(windows_test::LongForm(path).c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(NamesIn(tree.root()), std::vector<std::string>{"данные.bin"});

  bool success = false;
  EXPECT_EQ(fso.GetFileB(Text(path), true, &success), data);
  EXPECT_TRUE(success);

  // A new file, an empty array, an append and an overwrite in place.
  const std::string fresh = tree / "new.bin";
  ASSERT_TRUE(fso.PutFileB(Text(fresh), {}, true));
  EXPECT_EQ(ReadBytes(fresh), "");
  ASSERT_TRUE(fso.AppendFileB(Text(fresh), {'a', 'b'}, true));
  ASSERT_TRUE(fso.AppendFileB(Text(fresh), {'c'}, true));
  EXPECT_EQ(ReadBytes(fresh), "abc");
  ASSERT_TRUE(fso.OverwriteFileB(Text(fresh), {'z'}, true));
  EXPECT_EQ(ReadBytes(fresh), "z");
}

// A file the replacement cannot be put over keeps its old contents, and the temporary file
// written beside it is gone.
TEST(WindowsFileio, FailedReplaceKeepsTheOldFile) {
  TempTree tree;
  orvFSO fso;
  const std::string path = tree / "locked.bin";
  WriteBytes(path, "old contents");
  HANDLE holder = CreateFileW(windows_test::LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(fso.PutFileB(Text(path), {'n', 'e', 'w'}, false));
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(path), "old contents");
  EXPECT_EQ(NamesIn(tree.root()), std::vector<std::string>{"locked.bin"});
}

TEST(WindowsFileio, PathsBeyondMaxPathWork) {
  TempTree tree;
  orvFSO fso;
  std::string folder = tree.root();
  while (folder.size() < 400) folder += "\\" + std::string(60, 'd');
  windows_test::MakeFolder(folder);
  const std::string path = folder + "\\long.txt";
  ASSERT_TRUE(fso.PutFile2(Text(path), Text(kMixed), true, quern::feUTF8, quern::fbBOM));
  EXPECT_EQ(fso.GetFile2(Text(path), true), Text(kMixed));
  ASSERT_TRUE(fso.PutFileB(Text(path), {'1', '2'}, true));
  EXPECT_EQ(ReadBytes(path), "12");
}

TEST(WindowsFileio, StandardListFileInEveryEncoding) {
  TempTree tree;
  orvFSO fso;
  const std::string path = tree / "list.txt";
  const std::string lines = "; comment\r\n  first  \r\n\r\nвторой\r\n";
  for (quern::FileEncodingConst encoding : {quern::feUTF8, quern::feUTF16}) {
    ASSERT_TRUE(fso.PutFile2(Text(path), Text(lines), true, encoding, quern::fbBOM));
    bool success = false;
    const automation::Ref<automation::Collection> list =
        fso.ReadStandardListFile2(Text(path), u";", true, true, true, quern::feAuto, quern::fbAuto,
                                  quern::ibAuto, nullptr, nullptr, nullptr, &success);
    ASSERT_TRUE(success);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Item(1).ToString(), u"first");
    EXPECT_EQ(list->Item(2).ToString(), Text("второй"));
  }
}

// Descript.ion is read and written in the OEM code page, as the file managers that share it
// do; a description the page cannot hold is written with "?" rather than as other bytes.
TEST(WindowsFileio, DescriptIonIsInTheOemCodePage) {
  TempTree tree;
  orvFSO fso;
  const std::string file = tree / "readme.txt";
  WriteBytes(file, "x");
  const std::string description = "Caf\xC3\xA9 \xC3\xBC";  // in 437 and 850
  ASSERT_TRUE(fso.SetFileDescription(Text(file), Text(description)));
  const std::string on_disk = ReadBytes(tree / "Descript.ion");
  const UINT oem = GetOEMCP();
  EXPECT_NE(on_disk.find("readme.txt " + fileio_test::InCodePage(description, oem)),
            std::string::npos)
      << "OEM code page " << oem << ": " << on_disk;
  if (fileio_test::FromCodePage(fileio_test::InCodePage(description, oem), oem) == description) {
    EXPECT_EQ(fso.GetFileDescription(Text(file)), Text(description));
  }

  // Written by another program in the OEM page, read back as text.
  WriteBytes(tree / "Descript.ion", "readme.txt " + fileio_test::InCodePage(description, oem) +
                                        "\r\n\"with blank.txt\" second\r\n");
  auto list = MakeObject<quern::orvDescriptIon>();
  ASSERT_TRUE(list->ReadDirectoryFile(Text(tree.root())));
  ASSERT_EQ(list->ItemCount(), 2);
  EXPECT_EQ(list->ItemDescriptionByFileName(u"README.TXT"),
            Text(fileio_test::FromCodePage(fileio_test::InCodePage(description, oem), oem)));
  EXPECT_EQ(list->ItemDescriptionByFileName(u"with blank.txt"), u"second");
}

// Names Windows refuses or that name devices: the classes answer with their errors (or their
// failure values), and nothing is created under another name.
TEST(WindowsFileio, BadNamesGiveTheLibrarysErrors) {
  TempTree tree;
  orvFSO fso;
  const std::vector<std::string> bad = {"",
                                        tree / "bad<name>.txt",
                                        tree / "what?.txt",
                                        tree / "pipe|.txt",
                                        tree / "missing\\folder\\file.txt",
                                        tree / "file.txt:",
                                        tree / "file.txt:stream",
                                        "C:relative:x",
                                        std::string("C:\\x\0y", 6)};
  for (const std::string& name : bad) {
    bool success = true;
    EXPECT_TRUE(fso.GetFileB(Text(name), false, &success).empty()) << name;
    EXPECT_FALSE(success) << name;
    EXPECT_FALSE(fso.PutFileB(Text(name), {'x'}, false)) << name;
    EXPECT_FALSE(fso.PutFile2(Text(name), u"x", false, quern::feUTF8)) << name;
    try {
      fso.PutFileB(Text(name), {'x'}, true);
      ADD_FAILURE() << "no error for " << name;
    } catch (const support::Error& error) {
      EXPECT_GT(error.number(), 0) << name;
      EXPECT_EQ(error.source(), "orvFSO") << name;
    }
    try {
      fso.GetFileB(Text(name), true);
      ADD_FAILURE() << "no error for " << name;
    } catch (const support::Error& error) {
      EXPECT_EQ(error.number(), support::errnum::kFileNotFound) << name;
    }
    EXPECT_EQ(fso.GetFileDescription(Text(name)), u"") << name;
  }
  EXPECT_TRUE(NamesIn(tree.root()).empty());
  EXPECT_EQ(GetFileAttributesW(L"C:\\x"), INVALID_FILE_ATTRIBUTES);

  // A folder is no file: reading says "file not found" (53), writing "permission denied" (70).
  const std::string folder = tree / "folder";
  windows_test::MakeFolder(folder);
  try {
    fso.GetFileB(Text(folder), true);
    ADD_FAILURE();
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), 53);
  }
  try {
    fso.PutFileB(Text(folder), {'x'}, true);
    ADD_FAILURE();
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), 70);
  }
  EXPECT_EQ(NamesIn(tree.root()), std::vector<std::string>{"folder"});
}

// Every class answers a bad name with its failure value or error code, never a crash.
TEST(WindowsFileio, EveryClassRefusesBadNames) {
  TempTree tree;
  orvFSO fso;
  const std::vector<std::string> bad = {"", tree / "bad<name>", tree / "x:y",
                                        std::string("C:\\x\0y", 6), tree / "missing\\file"};
  for (const std::string& name : bad) {
    SCOPED_TRACE(name);
    int32_t code = 0;
    EXPECT_EQ(fso.GetFileCompression(Text(name), &code), quern::cfError);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(fso.SetFileCompression(Text(name), quern::cfDefault, &code));
    EXPECT_FALSE(fso.SetFileZone(Text(name), quern::FileZoneConst(3)));
    EXPECT_FALSE(fso.IsFileZoneDefined(Text(name)));
    EXPECT_FALSE(MakeObject<quern::orvFileVersion>()->ReadFile(Text(name)));
    EXPECT_FALSE(MakeObject<quern::orvShellFileInfo>()->ReadFile(Text(name)));
    EXPECT_FALSE(MakeObject<quern::orvFileStreams>()->ReadFileStreams(Text(name)));
    if (!name.empty()) {
      auto files = MakeObject<quern::orvFoundedFiles>();
      EXPECT_FALSE(files->RefreshEx(Text(name), u"*"));
      EXPECT_EQ(files->Count(), 0);
    }
    EXPECT_FALSE(MakeObject<quern::orvDescriptIon>()->ReadFile(Text(name)));
  }
  EXPECT_TRUE(NamesIn(tree.root()).empty());
  // An empty folder with a mask is the pattern "*", which FindFirstFile looks for in the
  // current folder: the search finds what it finds there.
  auto empty = MakeObject<quern::orvFoundedFiles>();
  auto current = MakeObject<quern::orvFoundedFiles>();
  EXPECT_EQ(empty->RefreshEx(u"", u"*"), current->RefreshEx(u".", u"*"));
  EXPECT_EQ(empty->Count(), current->Count());
}

// In the \\?\ form the names Win32 reserves for devices are plain names: a file named "CON"
// is a file, read and written like any other, and never the console.
TEST(WindowsFileio, ReservedDeviceNamesAreFiles) {
  TempTree tree;
  orvFSO fso;
  for (const char* name : {"CON", "nul.txt", "COM1", "aux"}) {
    const std::string path = tree / name;
    ASSERT_TRUE(fso.PutFileB(Text(path), {'d', 'e', 'v'}, true)) << name;
    EXPECT_EQ(ReadBytes(path), "dev") << name;
    EXPECT_EQ(fso.GetFileB(Text(path), true), (std::vector<uint8_t>{'d', 'e', 'v'})) << name;
  }
  std::vector<std::string> names = NamesIn(tree.root());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "CON", "aux", "nul.txt"}));
}

}  // namespace
