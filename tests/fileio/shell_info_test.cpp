// Shell information of a file: the executable type read from MZ/NE/PE headers, and
// orvShellFileInfo with its type names, icons and cached result objects.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "automation/component.h"
#include "common/scoped_environment.h"
#include "common/test_files.h"
#include "fileio/exe_type.h"
#include "fileio/loop_image.h"
#include "fileio/orvShellFileInfo.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& b, size_t at, uint16_t value) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(value);
  b[at + 1] = static_cast<uint8_t>(value >> 8);
}
void PutLong(Bytes& b, size_t at, uint32_t value) {
  PutWord(b, at, static_cast<uint16_t>(value));
  PutWord(b, at + 2, static_cast<uint16_t>(value >> 16));
}

// A DOS header with its stub; e_lfanew = `new_header`.
Bytes DosHeader(uint32_t new_header = 0x80) {
  Bytes b(0x80, 0);
  b[0] = 'M';
  b[1] = 'Z';
  PutLong(b, 0x3C, new_header);
  return b;
}

// An MZ file with a PE header at 0x80: PE32 (optional magic 0x10B) or PE32+ (0x20B).
Bytes PeFile(uint16_t subsystem, uint16_t major, uint16_t minor, bool pe32_plus = false,
             uint16_t characteristics = 0x0102) {
  Bytes b = DosHeader();
  const size_t pe = 0x80;
  b.resize(pe + 24 + (pe32_plus ? 240 : 224), 0);
  b[pe] = 'P';
  b[pe + 1] = 'E';
  PutWord(b, pe + 4, pe32_plus ? 0x8664 : 0x14C);
  PutWord(b, pe + 20, pe32_plus ? 240 : 224);
  PutWord(b, pe + 22, characteristics);
  const size_t optional = pe + 24;
  PutWord(b, optional, pe32_plus ? 0x20B : 0x10B);
  PutWord(b, optional + 48, major);
  PutWord(b, optional + 50, minor);
  PutWord(b, optional + 68, subsystem);
  return b;
}

Bytes NeFile(uint8_t target_os, uint8_t major, uint8_t minor) {
  Bytes b = DosHeader();
  b.resize(0x80 + 0x40, 0);
  b[0x80] = 'N';
  b[0x81] = 'E';
  b[0x80 + 0x36] = target_os;
  b[0x80 + 0x3E] = minor;
  b[0x80 + 0x3F] = major;
  return b;
}

uint32_t TypeOf(const Bytes& b) { return ExeTypeOfBytes(b); }
uint32_t TypeOf(const std::string& s) {
  return ExeTypeOfBytes(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

TEST(ExeTypeTest, WindowedPeGivesItsSubsystemVersion) {
  EXPECT_EQ(TypeOf(PeFile(2, 4, 0)), 0x04004550u);
  EXPECT_EQ(TypeOf(PeFile(2, 6, 1, /*pe32_plus=*/true)), 0x06014550u);
  EXPECT_EQ(TypeOf(PeFile(2, 10, 0, true)), 0x0A004550u);
}

TEST(ExeTypeTest, ConsoleAndOtherPeSubsystemsGivePeWithoutVersion) {
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0)), 0x4550u);
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0, true)), 0x4550u);
  EXPECT_EQ(TypeOf(PeFile(1, 6, 0)), 0x4550u);  // native
}

TEST(ExeTypeTest, PeLibraryIsNoProgram) {
  EXPECT_EQ(TypeOf(PeFile(2, 4, 0, false, 0x2102)), 0u);
  EXPECT_EQ(TypeOf(PeFile(3, 6, 0, true, 0x2022)), 0u);
}

TEST(ExeTypeTest, WindowsNeGivesItsExpectedVersionOtherNeNothing) {
  EXPECT_EQ(TypeOf(NeFile(2, 3, 10)), 0x030A454Eu);
  EXPECT_EQ(TypeOf(NeFile(1, 1, 0)), 0u);  // OS/2
}

TEST(ExeTypeTest, PlainDosAndBrokenNewHeadersAreMz) {
  Bytes dos = DosHeader(0);  // e_lfanew 0 leads back to "MZ"
  EXPECT_EQ(TypeOf(dos), 0x5A4Du);
  EXPECT_EQ(TypeOf(DosHeader(0x7FFFFFF0)), 0x5A4Du);  // past the end
  EXPECT_EQ(TypeOf(DosHeader(0xFFFFFFFF)), 0x5A4Du);
  Bytes cut_pe = PeFile(2, 4, 0);
  cut_pe.resize(0x80 + 60);  // signature there, subsystem cut off
  EXPECT_EQ(TypeOf(cut_pe), 0x5A4Du);
  Bytes cut_ne = NeFile(2, 3, 10);
  cut_ne.resize(0x80 + 0x30);
  EXPECT_EQ(TypeOf(cut_ne), 0x5A4Du);
  EXPECT_EQ(TypeOf(std::string("MZ")), 0x5A4Du);  // too short for e_lfanew
  EXPECT_EQ(TypeOf(std::string("MZ\x90\0\x03\0", 6)), 0x5A4Du);
}

TEST(ExeTypeTest, NonExecutablesGiveZero) {
  EXPECT_EQ(TypeOf(std::string()), 0u);
  EXPECT_EQ(TypeOf(std::string("M")), 0u);
  EXPECT_EQ(TypeOf(std::string("Hello, world\n")), 0u);
  EXPECT_EQ(TypeOf(std::string("ZM\0\0", 4)), 0u);
  EXPECT_EQ(TypeOf(std::string("\x7F"
                               "ELF\x02\x01\x01",
                               7)),
            0u);
}

TEST(ExeTypeTest, ReadsOnlyTheHeaderPieces) {
  const Bytes file = PeFile(2, 5, 1);
  size_t reads = 0, largest = 0;
  const uint32_t type = ReadExeType([&](uint64_t offset, uint8_t* buffer, size_t size) {
    ++reads;
    largest = std::max(largest, size);
    if (offset >= file.size()) return size_t{0};
    const size_t count = std::min<size_t>(size, file.size() - offset);
    std::copy_n(file.begin() + static_cast<ptrdiff_t>(offset), count, buffer);
    return count;
  });
  EXPECT_EQ(type, 0x05014550u);
  EXPECT_LE(reads, 3u);
  EXPECT_LE(largest, 128u);
}

// ---------------------------------------------------------------------------------------------
// orvShellFileInfo

using automation::CallByName;
using automation::MakeObject;
using automation::Ref;
using automation::Variant;
using orvanel::testing::ErrorNumberOf;
using orvanel::testing::ScopedEnvironment;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using quern::testing::RunCommand;

constexpr int32_t kFolder = 0x20000000, kFileSystem = 0x40000000;
constexpr int32_t kHasSubfolder = static_cast<int32_t>(0x80000000);
constexpr int32_t kLink = 0x10000, kReadOnly = 0x40000, kHidden = 0x80000, kStream = 0x400000;
constexpr int32_t kCanCopy = 0x1, kCanDelete = 0x20;

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }
std::string Utf8(const std::u16string& text) { return support::Utf8FromUtf16(text); }

bool IsFile(const std::u16string& path) {
  struct stat status;
  return !path.empty() && stat(Utf8(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The English description of a MIME type, read straight from the database's file.
std::string EnglishComment(const std::string& type) {
  std::ifstream in("/usr/share/mime/" + type + ".xml");
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  const size_t start = xml.find("<comment>");
  if (start == std::string::npos) return "";
  return xml.substr(start + 9, xml.find("</comment>", start) - start - 9);
}

// The type xdg-mime gives; the expected one when the tool is not installed.
std::string XdgMimeType(const std::string& path, const std::string& expected) {
  std::string output;
  if (RunCommand("command -v xdg-mime >/dev/null") != 0) return expected;
  if (RunCommand("xdg-mime query filetype '" + path + "' 2>/dev/null", &output) != 0) {
    return expected;
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output.substr(0, output.find(';'));
}

class ShellInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    // Descriptions in English, whatever the machine's language.
    environment_.Set("LC_ALL", "C.UTF-8");
    text_ = folder_ / "notes.txt";
    WriteBytes(text_, "some words\n");
  }
  static bool HaveIconTheme() {
    return access("/usr/share/icons/Adwaita/index.theme", R_OK) == 0 ||
           access("/usr/share/icons/hicolor/index.theme", R_OK) == 0;
  }

  TempFolder folder_;
  std::string text_;
  ScopedEnvironment environment_;
  Ref<orvShellFileInfo> info_ = MakeObject<orvShellFileInfo>();
};

TEST_F(ShellInfoTest, TextFileHasItsNameTypeAndFileAttributes) {
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  EXPECT_EQ(info_->FileName(), Text(text_));
  EXPECT_EQ(info_->DisplayName(), u"notes.txt");
  const std::string type = XdgMimeType(text_, "text/plain");
  EXPECT_EQ(type, "text/plain");
  EXPECT_EQ(Utf8(info_->TypeName()), EnglishComment(type));
  const int32_t bits = info_->Attributes();
  EXPECT_EQ(bits & (kFileSystem | kStream | kCanCopy | kCanDelete),
            kFileSystem | kStream | kCanCopy | kCanDelete);
  EXPECT_EQ(bits & (kFolder | kLink | kHidden | kReadOnly | kHasSubfolder), 0);
  EXPECT_NE(info_->hSystemImageList(), 0);
}

TEST_F(ShellInfoTest, TypeComesFromTheNameThenFromTheContent) {
  if (access("/usr/share/mime/magic", R_OK) != 0) GTEST_SKIP() << "no shared-mime-info";
  struct Case {
    std::string name, bytes, type;
  } cases[] = {
      // A case-sensitive pattern ("*.c") wins over a case-blind one ("*.C" of C++).
      {"prog.c", "int main(void) { return 0; }\n", "text/x-csrc"},
      {"prog.C", "int main() { return 0; }\n", "text/x-c++src"},
      // No extension: the content decides.
      {"picture", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "image/png"},
      {"script", "#!/bin/sh\necho hi\n", "application/x-shellscript"},
  };
  for (const Case& c : cases) {
    const std::string path = folder_ / c.name;
    WriteBytes(path, c.bytes);
    ASSERT_TRUE(info_->ReadFile(Text(path))) << c.name;
    EXPECT_EQ(Utf8(info_->TypeName()), EnglishComment(c.type)) << c.name;
  }
}

TEST_F(ShellInfoTest, FolderIsAFolderAndSaysWhetherItHoldsFolders) {
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  ASSERT_TRUE(info_->ReadFile(Text(sub)));
  EXPECT_EQ(info_->DisplayName(), u"sub");
  EXPECT_EQ(Utf8(info_->TypeName()), EnglishComment(XdgMimeType(sub, "inode/directory")));
  EXPECT_EQ(info_->Attributes() & (kFolder | kFileSystem | kStream | kHasSubfolder),
            kFolder | kFileSystem);
  ASSERT_EQ(mkdir((sub + "/inner").c_str(), 0755), 0);
  ASSERT_TRUE(info_->ReadFile(Text(sub + "/")));
  EXPECT_EQ(info_->DisplayName(), u"sub");
  EXPECT_NE(info_->Attributes() & kHasSubfolder, 0);
}

TEST_F(ShellInfoTest, LinkHiddenAndReadOnlyShowInTheAttributes) {
  const std::string hidden = folder_ / ".hidden";
  WriteBytes(hidden, "x");
  ASSERT_EQ(chmod(hidden.c_str(), 0444), 0);
  ASSERT_TRUE(info_->ReadFile(Text(hidden)));
  EXPECT_EQ(info_->Attributes() & (kHidden | kReadOnly | kLink), kHidden | kReadOnly);
  const std::string link = folder_ / "link.txt";
  ASSERT_EQ(symlink(text_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(info_->ReadFile(Text(link)));
  EXPECT_EQ(info_->Attributes() & (kLink | kStream), kLink | kStream);
  EXPECT_EQ(info_->DisplayName(), u"link.txt");
}

TEST_F(ShellInfoTest, MissingFileFailsAndLeavesTheResetState) {
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  EXPECT_FALSE(info_->ReadFile(Text(folder_ / "missing")));
  EXPECT_EQ(info_->FileName(), u"");
  EXPECT_EQ(info_->DisplayName(), u"");
  EXPECT_EQ(info_->TypeName(), u"");
  EXPECT_EQ(info_->IconLocation(), u"");
  EXPECT_EQ(info_->Attributes(), 0);
  EXPECT_EQ(info_->SystemIconIndex(), 0);
  EXPECT_EQ(info_->hSystemImageList(), 0);
  EXPECT_FALSE(info_->Icon());
  EXPECT_FALSE(info_->ShellSizeIcon());
  EXPECT_FALSE(info_->EXEType());
  EXPECT_FALSE(info_->ReadFile(u""));
}

TEST_F(ShellInfoTest, NothingBeforeTheFirstReadFile) {
  EXPECT_EQ(info_->DisplayName(), u"");
  EXPECT_FALSE(info_->Icon());
  EXPECT_FALSE(info_->SmallIcon());
  EXPECT_FALSE(info_->EXEType());
}

TEST_F(ShellInfoTest, IconsAreThemeFilesOfTheirSizes) {
  if (!HaveIconTheme()) GTEST_SKIP() << "no icon theme installed";
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  EXPECT_TRUE(IsFile(info_->IconLocation())) << Utf8(info_->IconLocation());
  const Ref<ShellFileIcon> large = info_->Icon();
  ASSERT_TRUE(large);
  EXPECT_EQ(large->Index(), info_->SystemIconIndex());
  EXPECT_EQ(large->Icon()->FileName(), info_->IconLocation());
  EXPECT_EQ(large->Icon()->Size(), 32);
  EXPECT_EQ(large->Icon()->Width(), 847);  // 32 px in HIMETRIC
  EXPECT_EQ(large->Icon()->Height(), 847);
  EXPECT_EQ(large->Icon()->Type(), 3);
  EXPECT_NE(large->Icon()->Handle(), 0);
  const struct {
    Ref<ShellFileIcon> icon;
    int32_t pixels;
  } variants[] = {{info_->SmallIcon(), 16},
                  {info_->OpenIcon(), 32},
                  {info_->OpenSmallIcon(), 16},
                  {info_->SelectedIcon(), 32},
                  {info_->SelectedSmallIcon(), 16},
                  {info_->LinkOverlayIcon(), 32},
                  {info_->LinkOverlaySmallIcon(), 16},
                  {info_->ShellSizeIcon(), 48}};
  for (const auto& variant : variants) {
    ASSERT_TRUE(variant.icon);
    EXPECT_EQ(variant.icon->Icon()->Size(), variant.pixels);
    EXPECT_TRUE(IsFile(variant.icon->Icon()->FileName()));
    EXPECT_GE(variant.icon->Index(), 0);
    EXPECT_EQ(variant.icon->Icon()->OverlayFileName(), u"") << "not a link";
  }
  EXPECT_NE(large->Icon()->Handle(), info_->SmallIcon()->Icon()->Handle());
}

TEST_F(ShellInfoTest, FolderOpenIconDiffersAndLinksGetAnOverlay) {
  if (!HaveIconTheme()) GTEST_SKIP() << "no icon theme installed";
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  ASSERT_TRUE(info_->ReadFile(Text(sub)));
  const std::u16string closed = info_->Icon()->Icon()->FileName();
  EXPECT_TRUE(IsFile(closed));
  EXPECT_NE(info_->OpenIcon()->Icon()->FileName(), closed);
  EXPECT_NE(Utf8(info_->OpenIcon()->Icon()->FileName()).find("folder-open"), std::string::npos);
  const std::string link = folder_ / "link";
  ASSERT_EQ(symlink(sub.c_str(), link.c_str()), 0);
  ASSERT_TRUE(info_->ReadFile(Text(link)));
  EXPECT_EQ(info_->Icon()->Icon()->FileName(), closed);
  EXPECT_EQ(info_->Icon()->Icon()->OverlayFileName(), u"");
  const std::u16string overlay = info_->LinkOverlayIcon()->Icon()->OverlayFileName();
  if (!overlay.empty()) {
    EXPECT_TRUE(IsFile(overlay));
  }
}

TEST_F(ShellInfoTest, SystemImageListIndexIsStablePerIcon) {
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  const int32_t text_index = info_->SystemIconIndex();
  const int32_t list = info_->hSystemImageList();
  const std::string other = folder_ / "other.txt";
  WriteBytes(other, "more words\n");
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  ASSERT_TRUE(info_->ReadFile(Text(sub)));
  EXPECT_NE(info_->SystemIconIndex(), text_index);
  ASSERT_TRUE(info_->ReadFile(Text(other)));
  EXPECT_EQ(info_->SystemIconIndex(), text_index);
  EXPECT_EQ(info_->hSystemImageList(), list);
  // The small variants come from their own queries and leave the index as it is.
  info_->SmallIcon();
  info_->OpenSmallIcon();
  EXPECT_EQ(info_->SystemIconIndex(), text_index);
  EXPECT_EQ(info_->hSystemImageList(), list);
}

TEST_F(ShellInfoTest, IconsAndExeTypeAreMadeOnceUntilTheNextReadFile) {
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  const Ref<ShellFileIcon> first = info_->Icon();
  const Ref<ShellFileEXE> exe = info_->EXEType();
  EXPECT_EQ(info_->Icon(), first);
  EXPECT_EQ(info_->EXEType(), exe);
  EXPECT_NE(info_->SmallIcon(), first);
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  EXPECT_NE(info_->Icon(), first);
  EXPECT_NE(info_->EXEType(), exe);
  // What the client holds stays usable after the object moves on or goes.
  EXPECT_FALSE(info_->ReadFile(Text(folder_ / "missing")));
  info_.reset();
  EXPECT_EQ(first->Icon()->Size(), 32);
  EXPECT_EQ(exe->Signature(), u"");
}

TEST_F(ShellInfoTest, FileGoneAfterReadFileGivesTheDefaultIconAndNoExeType) {
  ASSERT_TRUE(info_->ReadFile(Text(text_)));
  ASSERT_EQ(unlink(text_.c_str()), 0);
  const Ref<ShellFileIcon> icon = info_->SmallIcon();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->Index(), -1);
  EXPECT_EQ(icon->Icon()->Size(), 16);
  if (HaveIconTheme()) {
    EXPECT_TRUE(IsFile(icon->Icon()->FileName()));
  }
  EXPECT_EQ(info_->ShellSizeIcon()->Icon()->Size(), 32);  // the large default
  const Ref<ShellFileEXE> exe = info_->EXEType();
  EXPECT_EQ(exe->Signature(), u"");
  EXPECT_EQ(exe->OSVersionMajor(), 0);
  EXPECT_EQ(exe->OSVersionMinor(), 0);
}

TEST_F(ShellInfoTest, ExeTypeOfProgramsOnDisk) {
  struct Case {
    std::string name;
    Bytes bytes;
    std::u16string signature;
    int32_t major, minor;
  } cases[] = {{"gui.exe", PeFile(2, 4, 0), u"PE", 4, 0},
               {"console.exe", PeFile(3, 6, 0, true), u"PE", 0, 0},
               {"old.exe", NeFile(2, 3, 10), u"NE", 3, 10},
               {"dos.exe", DosHeader(0), u"MZ", 0, 0},
               {"readme.txt", Bytes{'h', 'i'}, u"", 0, 0},
               {"empty.com", Bytes{}, u"", 0, 0}};
  for (const Case& c : cases) {
    const std::string path = folder_ / c.name;
    WriteBytes(path, std::string(c.bytes.begin(), c.bytes.end()));
    ASSERT_TRUE(info_->ReadFile(Text(path))) << c.name;
    const Ref<ShellFileEXE> exe = info_->EXEType();
    EXPECT_EQ(exe->Signature(), c.signature) << c.name;
    EXPECT_EQ(exe->OSVersionMajor(), c.major) << c.name;
    EXPECT_EQ(exe->OSVersionMinor(), c.minor) << c.name;
  }
  const std::string sub = folder_ / "sub.exe";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  ASSERT_TRUE(info_->ReadFile(Text(sub)));
  EXPECT_EQ(info_->EXEType()->Signature(), u"");
}

TEST(ShellFileExeTest, SetExeTypeSplitsTheValue) {
  auto exe = MakeObject<ShellFileEXE>();
  exe->SetExeType(0x0A004550);
  EXPECT_EQ(exe->Signature(), u"PE");
  EXPECT_EQ(exe->OSVersionMajor(), 10);
  EXPECT_EQ(exe->OSVersionMinor(), 0);
  exe->SetExeType(0xFFFF0000);
  EXPECT_EQ(exe->Signature(), u"");
  EXPECT_EQ(exe->OSVersionMajor(), 255);
  EXPECT_EQ(exe->OSVersionMinor(), 255);
}

TEST_F(ShellInfoTest, LateBoundCallsAndCreation) {
  Ref<automation::Object> info = automation::CreateObject("Quern0102.orvShellFileInfo");
  ASSERT_TRUE(info);
  EXPECT_EQ(CallByName(*info, "EXEType").ToObject(), Ref<automation::Object>());
  EXPECT_EQ(CallByName(*info, "ReadFile", {Variant(Text(text_))}), Variant(true));
  EXPECT_EQ(CallByName(*info, "DisplayName"), Variant(u"notes.txt"));
  const Ref<automation::Object> icon = CallByName(*info, "Icon").ToObject();
  ASSERT_TRUE(icon);
  EXPECT_EQ(CallByName(*info, "Icon").ToObject(), icon);
  const Ref<automation::Object> picture = CallByName(*icon, "Icon").ToObject();
  ASSERT_TRUE(picture);
  EXPECT_EQ(CallByName(*picture, "Type").ToLong(), 3);
  EXPECT_EQ(CallByName(*picture, "Size"), Variant(int32_t{32}));
  const Ref<automation::Object> exe = CallByName(*info, "EXEType").ToObject();
  EXPECT_EQ(CallByName(*exe, "Signature"), Variant(u""));
  for (const char* progid :
       {"Quern0102.ShellFileEXE", "Quern0102.ShellFileIcon", "Quern0102.StdPicture"}) {
    EXPECT_EQ(ErrorNumberOf([&] { automation::CreateObject(progid); }), 429) << progid;
  }
}

}  // namespace
}  // namespace quern
