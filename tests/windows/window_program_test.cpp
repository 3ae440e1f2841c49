// Sweepwell.exe as a user sees it: its console window shows the run, F1 shows the about box,
// close requests are refused while the script runs, the first key after the closing prompt ends
// the program, and a bad command line shows the usage box. The program is found through the
// SWEEPWELL_EXE environment variable, else SWEEPWELL_BINARY given at build time, else beside
// this test program. Needs a desktop (under Wine: an X display, e.g. xvfb-run).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "window_test_support.h"

namespace {

using window_test::kWaitMs;
using window_test::MessageBoxText;
using window_test::TextOf;
using window_test::TopWindowsOf;
using window_test::WaitUntil;

constexpr wchar_t kConsoleClass[] = L"SweepwellConsole";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kPrompt[] = L"Нажмите любую клавишу . . .";

[[maybe_unused]] std::wstring Widen(const std::string& utf8) {
  int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string bytes(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), length,
                      nullptr, nullptr);
  return bytes;
}

// A path given at build time may be a Unix path of the build machine; Wine's drive Z: is "/".
std::wstring AsWindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring SweepwellPath() {
  wchar_t value[MAX_PATH * 4];
  DWORD length = GetEnvironmentVariableW(L"SWEEPWELL_EXE", value, MAX_PATH * 4);
  if (length > 0 && length < MAX_PATH * 4) return AsWindowsPath(value);
#ifdef SWEEPWELL_BINARY
  return AsWindowsPath(Widen(SWEEPWELL_BINARY));
#else
  wchar_t self[MAX_PATH * 4];
  DWORD self_length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  std::wstring folder(self, self_length);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + L"Sweepwell.exe";
#endif
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

// The file version of a program from its version resource, as "major.minor.build".
std::wstring FileVersionOf(const std::wstring& path) {
  HMODULE version = LoadLibraryW(L"version.dll");
  if (version == nullptr) return L"";
  using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  auto size_of = reinterpret_cast<SizeFunction>(
      reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeW")));
  auto info_of = reinterpret_cast<InfoFunction>(
      reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoW")));
  auto query = reinterpret_cast<QueryFunction>(
      reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
  std::wstring result;
  DWORD handle = 0;
  DWORD size = size_of != nullptr ? size_of(path.c_str(), &handle) : 0;
  std::vector<char> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (size > 0 && info_of(path.c_str(), 0, size, block.data()) &&
      query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) &&
      fixed != nullptr) {
    result = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
             std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
             std::to_wstring(HIWORD(fixed->dwFileVersionLS));
  }
  FreeLibrary(version);
  return result;
}

// One start of the program. Ends it if a test left it running.
class Program {
 public:
  Program(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring command_line = L"\"" + exe + L"\"";
    if (!arguments.empty()) command_line += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, kWaitMs);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return started_; }
  DWORD Pid() const { return info_.dwProcessId; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

  // The first visible top-level window of the class, waited for; null when none came, or the
  // program ended first.
  HWND WaitForWindow(const wchar_t* class_name) const {
    HWND found = nullptr;
    WaitUntil([&] {
      std::vector<HWND> windows = TopWindowsOf(info_.dwProcessId, class_name);
      if (!windows.empty()) found = windows.front();
      return found != nullptr || !Running();
    });
    return found;
  }

  // The exit status, waited for; -1 when the program did not end.
  long WaitForExit() const {
    if (WaitForSingleObject(info_.hProcess, kWaitMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
};

void PressKey(HWND window, WPARAM key) {
  HWND edit = FindWindowExW(window, nullptr, L"EDIT", nullptr);
  PostMessageW(edit != nullptr ? edit : window, WM_KEYDOWN, key, 1);
}

void Dismiss(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

class SweepwellWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!window_test::HaveDesktop()) GTEST_SKIP() << "no desktop to create windows on";
    exe_ = SweepwellPath();
    ASSERT_TRUE(Exists(exe_)) << "no program at " << Utf8(exe_);
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static int counter = 0;
    folder_ = std::wstring(temp) + L"sweepwell-window-" + std::to_wstring(GetCurrentProcessId()) +
              L"-" + std::to_wstring(++counter);
    RemoveTree(folder_);
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }

  // Writes the script (UTF-8) and returns its path, quoted for a command line.
  std::wstring Script(const std::wstring& text) {
    std::wstring path = folder_ + L"\\script.loom";
    WriteFile(path, Utf8(text));
    return L"\"" + path + L"\"";
  }

  std::wstring exe_;
  std::wstring folder_;
};

TEST_F(SweepwellWindowTest, WindowShowsTheRunAndTheFirstKeyAfterThePromptEndsIt) {
  const std::wstring tree = folder_ + L"\\tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  WriteFile(tree + L"\\a.tmp", "hello");
  WriteFile(tree + L"\\b.tmp", "hello");
  WriteFile(tree + L"\\keep.txt", "kept");
  Program program(exe_, Script(L"cleaner.delete-to-recycle-bin = False\n"
                               L"cleaner.delete-files = \"" +
                               tree +
                               L"\\*.tmp\"\n"
                               L"cleaner.done\n"));
  ASSERT_TRUE(program.Started());
  HWND console = program.WaitForWindow(kConsoleClass);
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(TextOf(console), L"Sweep well");

  HWND edit = FindWindowExW(console, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  const std::wstring prompt = std::wstring(kPrompt) + L"\r\n";
  std::wstring text;
  ASSERT_TRUE(WaitUntil([&] {
    text = TextOf(edit);
    return text.find(prompt) != std::wstring::npos;
  })) << Utf8(text);
  EXPECT_NE(text.find(tree + L"\\a.tmp  :: 5 bytes\r\n"), std::wstring::npos) << Utf8(text);
  EXPECT_NE(text.find(tree + L"\\b.tmp  :: 5 bytes\r\n"), std::wstring::npos) << Utf8(text);
  EXPECT_EQ(text.find(L"keep.txt"), std::wstring::npos) << Utf8(text);
  EXPECT_NE(text.find(L"Всего удалено файлов:  2  ["), std::wstring::npos) << Utf8(text);
  EXPECT_EQ(text.substr(text.size() - prompt.size()), prompt) << "the prompt is the last line";

  // F1 after the run shows the about box again and does not close the window.
  PressKey(console, VK_F1);
  HWND about = program.WaitForWindow(kDialogClass);
  ASSERT_NE(about, nullptr);
  Dismiss(about);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_TRUE(IsWindow(console));
  EXPECT_TRUE(program.Running());

  PressKey(console, 'A');
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_FALSE(Exists(tree + L"\\a.tmp"));
  EXPECT_FALSE(Exists(tree + L"\\b.tmp"));
  EXPECT_TRUE(Exists(tree + L"\\keep.txt"));
}

// The about box is modal: while it is up the run waits inside it, which lets the test hold the
// run and send its close request at a known moment. A run that ends before F1 arrives (the test
// was slow to find the window) proves nothing, so the test tries again on a larger tree.
TEST_F(SweepwellWindowTest, F1DuringTheRunShowsTheAboutBoxAndCloseRequestsAreRefused) {
  const std::wstring version = FileVersionOf(exe_);
  EXPECT_FALSE(version.empty()) << "the program carries a version resource";
  for (int files = 400; files <= 400 * 16; files *= 4) {
    const std::wstring tree = folder_ + L"\\long-" + std::to_wstring(files);
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    for (int i = 0; i < files; ++i) {
      wchar_t name[32];
      swprintf(name, 32, L"\\f%05d.tmp", i);
      WriteFile(tree + name, "x");
    }
    Program program(exe_, Script(L"cleaner.delete-to-recycle-bin = False\n"
                                 L"cleaner.delete-folder = \"" +
                                 tree + L"\"\n"));
    ASSERT_TRUE(program.Started());
    HWND console = program.WaitForWindow(kConsoleClass);
    ASSERT_NE(console, nullptr);
    HWND edit = FindWindowExW(console, nullptr, L"EDIT", nullptr);
    PressKey(console, VK_SPACE);  // a key during the run closes nothing
    PressKey(console, VK_F1);
    HWND about = program.WaitForWindow(kDialogClass);
    ASSERT_NE(about, nullptr) << "F1 showed no about box";
    const std::wstring prompt = kPrompt;
    if (TextOf(edit).find(prompt) != std::wstring::npos) {
      Dismiss(about);
      PressKey(console, VK_SPACE);
      EXPECT_EQ(program.WaitForExit(), 0);
      continue;
    }

    EXPECT_EQ(TextOf(about), L"Лоом");
    std::wstring about_text = MessageBoxText(about);
    EXPECT_NE(about_text.find(L"Orvanel - Sweep well"), std::wstring::npos) << Utf8(about_text);
    EXPECT_NE(about_text.find(L"Версия " + version), std::wstring::npos) << Utf8(about_text);
    EXPECT_NE(about_text.find(L"Sweep well чистит диск по сценарию"), std::wstring::npos)
        << "the description resource, read in code page 1251: " << Utf8(about_text);

    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(console, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &result));
    EXPECT_TRUE(IsWindow(console)) << "a close request during the run was granted";
    EXPECT_EQ(TextOf(edit).find(prompt), std::wstring::npos);

    Dismiss(about);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(edit).find(prompt) != std::wstring::npos; }));
    EXPECT_TRUE(IsWindow(console)) << "the window closed by itself";
    EXPECT_TRUE(program.Running());
    PressKey(console, VK_RETURN);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_FALSE(Exists(tree));
    return;
  }
  FAIL() << "every run ended before F1 reached the window";
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

std::wstring MonthLogPath() {
  wchar_t folder[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[32];
  swprintf(name, 32, L"Sweep %04d-%02d.LOG", now.wYear, now.wMonth);
  return std::wstring(folder) + L"\\Greyfen Works\\Sweep Well\\" + name;
}

std::string InCodePage(const std::wstring& text, UINT code_page) {
  int length = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
  std::string bytes(length, '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                      length, nullptr, nullptr);
  return bytes;
}

// Whatever the ANSI code page, the window shows the program's words and a name no 8-bit page
// holds as they are. The log keeps them too: UTF-8 from its mark on where the page has no
// Cyrillic (1252), in the page with the name's foreign letters escaped where it has (1251).
TEST_F(SweepwellWindowTest, WindowAndLogKeepEveryCharacterInAnyCodePage) {
  // The test run says which code page it set up for (the program inherits this process's).
  wchar_t expected[16] = L"";
  if (GetEnvironmentVariableW(L"SWEEPWELL_TEST_ACP", expected, 16) > 0) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(_wtoi(expected)));
  }
  const std::wstring tree = folder_ + L"\\tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  const std::wstring name = L"\\отчёт 中文.tmp";
  WriteFile(tree + name, "hello");
  Program program(exe_, Script(L"cleaner.delete-to-recycle-bin = False\n"
                               L"cleaner.delete-files = \"" +
                               tree +
                               L"\\*.tmp\"\n"
                               L"cleaner.done\n"));
  ASSERT_TRUE(program.Started());
  HWND console = program.WaitForWindow(kConsoleClass);
  ASSERT_NE(console, nullptr);
  HWND edit = FindWindowExW(console, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  std::wstring text;
  ASSERT_TRUE(WaitUntil([&] {
    text = TextOf(edit);
    return text.find(kPrompt) != std::wstring::npos;
  })) << Utf8(text);
  EXPECT_NE(text.find(tree + name + L"  :: 5 bytes\r\n"), std::wstring::npos) << Utf8(text);
  EXPECT_NE(text.find(L"Всего удалено файлов:  1  [осталось: 0]"), std::wstring::npos)
      << Utf8(text);
  PressKey(console, 'A');
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_FALSE(Exists(tree + name));

  const std::string log = ReadBytes(MonthLogPath());
  ASSERT_FALSE(log.empty());
  if (GetACP() == 1251) {
    EXPECT_NE(log.substr(0, 3), "\xEF\xBB\xBF");
    const std::string line =
        InCodePage(tree + L"\\отчёт ", 1251) + "<U+4E2D><U+6587>.tmp  :: 5 bytes\r\n";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_NE(log.find(InCodePage(L"Всего удалено файлов:  1", 1251)), std::string::npos);
  } else {
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << "code page " << GetACP();
    EXPECT_NE(log.find(Utf8(tree + name + L"  :: 5 bytes\r\n")), std::string::npos) << log;
    EXPECT_NE(log.find(Utf8(L"Всего удалено файлов:  1")), std::string::npos);
  }
}

#pragma pack(push, 2)
struct IconGroupEntry {  // GRPICONDIRENTRY of an icon group resource
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(SweepwellWindowTest, ProgramCarriesItsIconsAndDescription) {
  HMODULE program = LoadLibraryExW(exe_.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr);
  for (const wchar_t* name : {L"A_MAIN", L"IDI_ASSOCIATION", L"IDI_NO_LONG"}) {
    SCOPED_TRACE(Utf8(name));
    HRSRC group = FindResourceW(program, name, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(program, group)));
    ASSERT_NE(data, nullptr);
    ASSERT_GE(SizeofResource(program, group), 6u + sizeof(IconGroupEntry));
    EXPECT_EQ(data[4] | (data[5] << 8), 1) << "one image";
    IconGroupEntry entry;
    memcpy(&entry, data + 6, sizeof entry);
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 32);
    EXPECT_EQ(entry.colours, 16);
    EXPECT_EQ(entry.bits, 4);
    // The image itself, as the window loads it.
    EXPECT_NE(LoadImageW(program, name, IMAGE_ICON, 32, 32, 0), nullptr);
  }
  HRSRC description = FindResourceW(program, L"DESCRIPTION", L"TEXT_DATABLOCK");
  ASSERT_NE(description, nullptr);
  std::string bytes(static_cast<const char*>(LockResource(LoadResource(program, description))),
                    SizeofResource(program, description));
  EXPECT_EQ(bytes.find('\0'), std::string::npos);
  EXPECT_NE(bytes.find("\r\n"), std::string::npos);
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(1251, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  text.data(), static_cast<int>(text.size())));
  EXPECT_NE(text.find(L"Sweep well чистит диск"), std::wstring::npos) << "read in code page 1251";
  FreeLibrary(program);
}

// A script that does not read runs nothing: the window names the line and column of the first
// fault, and the program ends with status 1 after the closing key.
TEST_F(SweepwellWindowTest, BadScriptNamesItsFaultAndRunsNothing) {
  const std::wstring tree = folder_ + L"\\tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  WriteFile(tree + L"\\a.tmp", "hello");
  struct Case {
    std::wstring script;
    std::wstring where;
  };
  for (const Case& c : {
           Case{L"cleaner.delete-to-recycle-bin = False\n"
                L"cleaner.delete-files = \"" + tree + L"\\*.tmp\"\n"
                L"cleaner.delete-files = \"unclosed\n",
                L"строка 3, столбец "},
           Case{L"cleaner.delete-files = \"" + tree + L"\\*.tmp\"\ncleaner.no-such-command = 1\n",
                L"строка 2, столбец 9"},
           Case{std::wstring(L"\xFEFF\x0001\x0002 \xD7FF"), L"строка 1, столбец 1"},
       }) {
    SCOPED_TRACE(Utf8(c.where));
    Program program(exe_, Script(c.script));
    ASSERT_TRUE(program.Started());
    HWND console = program.WaitForWindow(kConsoleClass);
    ASSERT_NE(console, nullptr);
    HWND edit = FindWindowExW(console, nullptr, L"EDIT", nullptr);
    const std::wstring prompt = kPrompt;
    std::wstring text;
    ASSERT_TRUE(WaitUntil([&] {
      text = TextOf(edit);
      return text.find(prompt) != std::wstring::npos;
    })) << Utf8(text);
    EXPECT_NE(text.find(std::wstring(L"Ошибка в скрипте")), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(c.where), std::wstring::npos) << Utf8(text);
    PressKey(console, VK_RETURN);
    EXPECT_EQ(program.WaitForExit(), 1);
    EXPECT_TRUE(Exists(tree + L"\\a.tmp")) << "a script with a fault deleted something";
  }
}

TEST_F(SweepwellWindowTest, BadCommandLineShowsTheUsageBoxAndRunsNothing) {
  const std::wstring usage_start =
      L"Использование:\r\n\r\nSweepwell [/NoLong] [/Preview] [/NoPause] [/NoPreserveRoot] [--] "
      L"ScriptFileName\r\n\r\n"
      L"Выполнить скрипт ScriptFileName, в котором содержатся команды для отчистки диска. "
      L"Ключ /NoLong блокирует выполнение длинных операций (см. ReadMe.TXT).\r\n\r\n";
  struct Case {
    std::wstring arguments;
    long status;
  };
  for (const Case& c :
       {Case{L"", 2}, Case{L"a.loom b.loom", 2}, Case{L"a b c", 2}, Case{L"/?", 0}}) {
    SCOPED_TRACE(Utf8(c.arguments));
    Program program(exe_, c.arguments);
    ASSERT_TRUE(program.Started());
    HWND box = program.WaitForWindow(kDialogClass);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"Orvanel - Sweep well");
    EXPECT_EQ(MessageBoxText(box).substr(0, usage_start.size()), usage_start);
    EXPECT_NE(MessageBoxText(box).find(L"Sweepwell /?"), std::wstring::npos);
    EXPECT_TRUE(TopWindowsOf(program.Pid(), kConsoleClass).empty());
    Dismiss(box);
    EXPECT_EQ(program.WaitForExit(), c.status);
  }
}

}  // namespace
