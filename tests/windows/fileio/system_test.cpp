// What the library reads from the system beside a file's contents, checked against the Win32
// calls themselves: version resources (our own reader against GetFileVersionInfoW), shell
// information (SHGetFileInfoW), the zone stream (read back with GetPrivateProfileIntW), the
// backup walk of streams and compression. What Wine does not do is found out at run time and
// the test says it skipped, naming what is missing.
#include "tests/windows/fileio/fileio_test_support.h"
// (after <windows.h>)
#include <gtest/gtest.h>
#include <olectl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fileio/orvFSO.h"
#include "fileio/orvFileStreams.h"
#include "fileio/orvFileVersion.h"
#include "fileio/orvShellFileInfo.h"
#include "fileio/picture.h"

namespace {

using automation::MakeObject;
using fileio_test::Text;
using windows_test::TempTree;

std::u16string Text16(const wchar_t* wide) { return std::u16string(wide, wide + wcslen(wide)); }

std::wstring SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\" + name;
}

// The program built beside these tests: a Unix path of the build machine is drive Z: to Wine.
std::wstring SweepwellPath() {
  std::wstring path = windows_test::Wide(SWEEPWELL_BINARY);
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Our reader and the system's agree on every file with a version resource: the block itself,
// the fixed part, the language's name and the strings of its only table.
TEST(WindowsSystemInfo, VersionInfoAgreesWithTheSystem) {
  int compared = 0;
  for (const std::wstring& path :
       {SweepwellPath(), SystemFile(L"kernel32.dll"), SystemFile(L"shell32.dll"),
        SystemFile(L"version.dll"), SystemFile(L"notepad.exe")}) {
    SCOPED_TRACE(windows_test::Utf8(path));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    auto version = MakeObject<quern::orvFileVersion>();
    const bool ours = version->ReadFile(Text16(path.c_str()));
    if (size == 0) {
      EXPECT_FALSE(ours);
      continue;
    }
    ASSERT_TRUE(ours);
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    // The system appends room of its own after the resource (its wLength says how long it is).
    const size_t length = block[0] | (block[1] << 8);
    const std::vector<uint8_t> buffer = version->GetBuffer();
    ASSERT_GE(buffer.size(), length);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + length, buffer.begin()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
    EXPECT_EQ(version->FileVerMajor(), static_cast<int16_t>(HIWORD(fixed->dwFileVersionMS)));
    EXPECT_EQ(version->FileVerMinor(), static_cast<int16_t>(LOWORD(fixed->dwFileVersionMS)));
    EXPECT_EQ(version->FileVerRevisionMajor(),
              static_cast<int16_t>(HIWORD(fixed->dwFileVersionLS)));
    EXPECT_EQ(version->FileVerRevisionMinor(),
              static_cast<int16_t>(LOWORD(fixed->dwFileVersionLS)));
    EXPECT_EQ(version->ProductVerMajor(), static_cast<int16_t>(HIWORD(fixed->dwProductVersionMS)));
    EXPECT_EQ(static_cast<uint32_t>(version->FileOS()), fixed->dwFileOS);
    EXPECT_EQ(static_cast<uint32_t>(version->FileType()), fixed->dwFileType);
    EXPECT_EQ(static_cast<uint32_t>(version->Signature()), fixed->dwSignature);

    struct Translation {
      WORD language, code_page;
    }* translations = nullptr;
    UINT translations_size = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translations), &translations_size) &&
        translations_size == sizeof(Translation)) {
      for (const wchar_t* key : {L"FileVersion", L"ProductName", L"CompanyName",
                                 L"OriginalFilename", L"FileDescription"}) {
        wchar_t query[128];
        swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations->language,
                 translations->code_page, key);
        wchar_t* value = nullptr;
        UINT value_length = 0;
        const std::u16string expected =
            VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &value_length) &&
                    value_length > 0
                ? Text16(value)
                : u"";
        EXPECT_EQ(version->GetVersionInfoString(Text16(key)), expected) << windows_test::Utf8(key);
      }
    }
    ++compared;
  }
  EXPECT_GE(compared, 2) << "the program's own resource and at least one system file";
}

// The names of languages are ours (Windows' own, with the country), and Windows' VerLanguageName
// gives the same; Wine gives the language alone ("English").
TEST(WindowsSystemInfo, LanguageNamesAreVerLanguageNames) {
  wchar_t name[256];
  VerLanguageNameW(0x0409, name, 256);
  if (std::wstring(name) == L"English") {
    GTEST_SKIP() << "Wine's VerLanguageNameW names the language without its country";
  }
  auto version = MakeObject<quern::orvFileVersion>();
  for (int32_t language : {0x0409, 0x0419, 0x0407, 0x0411, 0x0C0A, 0x0804}) {
    VerLanguageNameW(static_cast<DWORD>(language), name, 256);
    EXPECT_EQ(version->GetLanguageName(language), Text16(name)) << language;
  }
}

TEST(WindowsSystemInfo, ShellInfoIsTheShellsOwn) {
  TempTree tree;
  const std::string path = tree / "документ.txt";
  windows_test::MakeFile(path, 5);
  auto info = MakeObject<quern::orvShellFileInfo>();
  ASSERT_TRUE(info->ReadFile(Text(path)));
  const std::wstring wide = windows_test::Wide(path);
  SHFILEINFOW expected{};
  ASSERT_NE(SHGetFileInfoW(wide.c_str(), 0, &expected, sizeof expected, SHGFI_DISPLAYNAME), 0u);
  EXPECT_EQ(info->DisplayName(), Text16(expected.szDisplayName));
  ASSERT_NE(SHGetFileInfoW(wide.c_str(), 0, &expected, sizeof expected, SHGFI_ATTRIBUTES), 0u);
  EXPECT_EQ(static_cast<DWORD>(info->Attributes()), expected.dwAttributes);
  ASSERT_NE(SHGetFileInfoW(wide.c_str(), 0, &expected, sizeof expected, SHGFI_TYPENAME), 0u);
  EXPECT_EQ(info->TypeName(), Text16(expected.szTypeName));
  EXPECT_FALSE(info->ReadFile(Text(tree / "missing.txt")));
  EXPECT_EQ(info->DisplayName(), u"");
  if (expected.szTypeName[0] == L'\0') {
    GTEST_SKIP() << "Wine's shell gives no type name for a .txt file (no registered type)";
  }
}

// What the system's picture of `picture` says of itself; false when it has none.
struct PictureFacts {
  OLE_HANDLE handle = 0;
  SHORT type = -1;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
};
bool FactsOf(const quern::StdPicture& picture, PictureFacts* facts) {
  if (!picture.SystemPicture()) return false;
  IPicture* system = nullptr;
  if (FAILED(static_cast<IUnknown*>(picture.SystemPicture())
                 ->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&system))))
    return false;
  system->get_Handle(&facts->handle);
  system->get_Type(&facts->type);
  system->get_Width(&facts->width);
  system->get_Height(&facts->height);
  system->Release();
  return true;
}

HICON IconOf(OLE_HANDLE handle) { return reinterpret_cast<HICON>(static_cast<UINT_PTR>(handle)); }

// The width in pixels of a live icon; 0 for a handle that is no (longer an) icon.
int IconPixels(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return 0;
  BITMAP mask{};
  GetObjectW(info.hbmMask, sizeof mask, &mask);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return mask.bmWidth;
}

// Each icon is the shell's HICON, owned by an OLE picture whose Handle, Type and size the
// picture object reports, and destroyed when the picture goes.
TEST(WindowsSystemInfo, IconsAreOlePicturesOwningTheShellsIcons) {
  TempTree tree;
  const std::string path = tree / "picture.txt";
  windows_test::MakeFile(path, 5);
  auto info = MakeObject<quern::orvShellFileInfo>();
  ASSERT_TRUE(info->ReadFile(Text(path)));
  PictureFacts large, small;
  {
    const automation::Ref<quern::StdPicture> large_picture = info->Icon()->Icon();
    const automation::Ref<quern::StdPicture> small_picture = info->SmallIcon()->Icon();
    ASSERT_TRUE(FactsOf(*large_picture, &large));
    ASSERT_TRUE(FactsOf(*small_picture, &small));
    EXPECT_EQ(large.type, PICTYPE_ICON);
    EXPECT_EQ(large_picture->Type(), PICTYPE_ICON);
    EXPECT_EQ(large_picture->Handle(), static_cast<int32_t>(large.handle));
    EXPECT_EQ(large_picture->Width(), large.width);
    EXPECT_EQ(large_picture->Height(), large.height);
    EXPECT_EQ(small_picture->Handle(), static_cast<int32_t>(small.handle));
    EXPECT_NE(large.handle, small.handle);
    EXPECT_EQ(IconPixels(IconOf(large.handle)), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconPixels(IconOf(small.handle)), GetSystemMetrics(SM_CXSMICON));
    EXPECT_LT(small.width, large.width);
    EXPECT_EQ(large_picture->Size(), GetSystemMetrics(SM_CXICON));
  }
  // The info still holds its icons; a new ReadFile lets them go, and their icons with them.
  EXPECT_NE(IconPixels(IconOf(large.handle)), 0);
  ASSERT_TRUE(info->ReadFile(Text(path)));
  EXPECT_EQ(IconPixels(IconOf(large.handle)), 0);
  EXPECT_EQ(IconPixels(IconOf(small.handle)), 0);
}

TEST(WindowsSystemInfo, TheDefaultIconIsShell32sDocumentIconAsAPicture) {
  for (int pixels : {16, 32}) {
    PictureFacts facts;
    {
      const automation::Ref<quern::StdPicture> picture = quern::DefaultIconPicture(pixels);
      ASSERT_TRUE(FactsOf(*picture, &facts)) << pixels;
      ASSERT_EQ(facts.type, PICTYPE_ICON) << pixels;
      EXPECT_EQ(IconPixels(IconOf(facts.handle)), pixels);
      EXPECT_EQ(picture->Handle(), static_cast<int32_t>(facts.handle));
      EXPECT_EQ(picture->Width(), facts.width);
    }
    EXPECT_EQ(IconPixels(IconOf(facts.handle)), 0) << "destroyed with its picture";
  }
}

// Wine keeps "file:stream" as a separate file of that name (its file systems have no named
// streams): true when a stream written here is really one.
bool NamedStreamsWork(const std::string& folder) {
  const std::string file = folder + "\\probe";
  windows_test::MakeFile(file, 1);
  HANDLE stream = CreateFileW((windows_test::LongForm(file) + L":s").c_str(), GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return false;
  CloseHandle(stream);
  const std::vector<std::string> names = fileio_test::NamesIn(folder);
  DeleteFileW((windows_test::LongForm(file) + L":s").c_str());
  DeleteFileW(windows_test::LongForm(file).c_str());
  return names == std::vector<std::string>{"probe"};
}

TEST(WindowsSystemInfo, ZoneIsTheProfileOfTheZoneStream) {
  TempTree tree;
  quern::orvFSO fso;
  const std::string file = tree / "downloaded.exe";
  windows_test::MakeFile(file, 4);
  if (!NamedStreamsWork(tree.root())) {
    // The library asks the volume first and never leaves a file named "x:Zone.Identifier".
    EXPECT_FALSE(fso.SetFileZone(Text(file), quern::FileZoneConst(3)));
    EXPECT_EQ(fileio_test::NamesIn(tree.root()), std::vector<std::string>{"downloaded.exe"});
    GTEST_SKIP() << "Wine has no named streams: \"file:Zone.Identifier\" makes a separate file";
  }
  EXPECT_FALSE(fso.IsFileZoneDefined(Text(file)));
  ASSERT_TRUE(fso.SetFileZone(Text(file), quern::FileZoneConst(3)));
  const std::wstring stream = windows_test::Wide(file) + L":Zone.Identifier";
  EXPECT_EQ(GetPrivateProfileIntW(L"ZoneTransfer", L"ZoneId", -1, stream.c_str()), 3u);
  // Written by the profile functions, read by the library.
  ASSERT_TRUE(WritePrivateProfileStringW(L"ZoneTransfer", L"ZoneId", L"4", stream.c_str()));
  EXPECT_EQ(fso.GetFileZone(Text(file)), quern::FileZoneConst(4));
  ASSERT_TRUE(fso.DeleteFileZone(Text(file)));
  EXPECT_FALSE(fso.IsFileZoneDefined(Text(file)));
}

TEST(WindowsSystemInfo, BackupWalkListsTheStreams) {
  TempTree tree;
  const std::string file = tree / "data.bin";
  windows_test::MakeFile(file, 1234);
  auto streams = MakeObject<quern::orvFileStreams>();
  const bool read = streams->ReadFileStreams(Text(file));
  if (!read || streams->Count() == 0) {
    GTEST_SKIP() << "Wine's BackupRead walks no streams (it is a stub)";
  }
  ASSERT_GE(streams->Count(), 1);
  EXPECT_TRUE(streams->Item(0)->StreamIDData());
  EXPECT_EQ(streams->Item(0)->Size(), 1234);
  if (NamedStreamsWork(tree.root())) {
    quern::orvFSO fso;
    ASSERT_TRUE(fso.SetFileZone(Text(file), quern::FileZoneConst(3)));
    ASSERT_TRUE(streams->ReadFileStreams(Text(file)));
    ASSERT_EQ(streams->Count(), 2);
    EXPECT_TRUE(streams->Item(1)->StreamIDAlternateData());
    EXPECT_EQ(streams->Item(1)->Name(), u":Zone.Identifier:$DATA");
  }
}

TEST(WindowsSystemInfo, CompressionRoundTripsOrSaysItCannot) {
  TempTree tree;
  const std::string file = tree / "big.txt";
  windows_test::MakeFile(file, 100000);
  quern::orvFSO fso;
  int32_t code = -1;
  const quern::CompressionFormatConst format = fso.GetFileCompression(Text(file), &code);
  if (format == quern::cfError) {
    EXPECT_EQ(code, 50) << "a file system that cannot compress says \"not supported\"";
    GTEST_SKIP() << "Wine's file systems answer no FSCTL_GET_COMPRESSION (error " << code << ")";
  }
  EXPECT_EQ(format, quern::cfNone);
  ASSERT_TRUE(fso.SetFileCompression(Text(file), quern::cfDefault, &code)) << code;
  EXPECT_NE(fso.GetFileCompression(Text(file), &code), quern::cfNone);
  ASSERT_TRUE(fso.SetFileCompression(Text(file), quern::cfNone, &code)) << code;
  EXPECT_EQ(fso.GetFileCompression(Text(file), &code), quern::cfNone);
}

}  // namespace
