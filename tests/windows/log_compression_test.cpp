// Sweepwell.exe at exit hands its log to Quern0102's orvFSO, created by ProgID through real
// COM, to be compressed when it is not. Here a stand-in orvFSO, registered in this process
// under that ProgID, records what it is asked; without it the log is left as it is.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <gtest/gtest.h>
#include <objbase.h>

#include <fstream>
#include <string>
#include <vector>

#include "automation/com/server.h"
#include "automation/member_table.h"
#include "cleaner/modMain.h"
#include "platform/platform.h"
#include "support/ov_unicode.h"
#include "support/windows_test_support.h"

namespace {

using automation::CallArgs;
using automation::MemberKind;
using automation::Missing;
using automation::Object;
using automation::Variant;

std::vector<std::string> calls;  // "GetFileCompression <name>", "SetFileCompression <name> 1"
int32_t compression_answer = 0;  // cfNone

class RecordingFso : public Object {
 public:
  static const automation::ClassInfo& Class() {
    using K = MemberKind;
    static const automation::ClassInfo info = automation::DescribeClass(
        "orvFSO", {0x6A1F0B31, 0x1C2D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}},
        {0x6A1F0B32, 0x1C2D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}}, true, "",
        {
            {"GetFileCompression",
             0x60030000,
             K::kMethod,
             {{"FileName", "String", false, Missing{}, false},
              {"ErrorCode", "Long", true, Missing{}, true}},
             "CompressionFormatConst",
             "",
             false,
             [](Object&, CallArgs& a) {
               calls.push_back("GetFileCompression " + support::Utf8FromUtf16(a.String(0)));
               return Variant(compression_answer);
             }},
            {"SetFileCompression",
             0x60030001,
             K::kMethod,
             {{"FileName", "String", false, Missing{}, false},
              {"Format", "Long", false, Missing{}, false}},
             "Boolean",
             "",
             false,
             [](Object&, CallArgs& a) {
               calls.push_back("SetFileCompression " + support::Utf8FromUtf16(a.String(0)) + " " +
                               std::to_string(a.Long(1)));
               return Variant(true);
             }},
        },
        automation::NewObject<RecordingFso>);
    return info;
  }
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }
};

const automation::TypeLibrary& StandInLibrary() {
  static const automation::TypeLibrary library = [] {
    automation::TypeLibrary l;
    l.name = "Quern0102";
    l.classes = {&RecordingFso::Class()};
    return l;
  }();
  return library;
}

constexpr wchar_t kProgIdKey[] = L"Software\\Classes\\Quern0102.orvFSO\\CLSID";

// The stand-in, registered under the ProgID for this process only while the object lives.
class StandInRegistration {
 public:
  StandInRegistration() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring clsid = windows_test::Wide(GuidToString(RecordingFso::Class().clsid));
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgIdKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid.c_str()),
                   static_cast<DWORD>((clsid.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    IUnknown* factory = nullptr;
    automation::com::GetClassObject(StandInLibrary(), &RecordingFso::Class().clsid,
                                    &automation::kIidUnknown, reinterpret_cast<void**>(&factory));
    CoRegisterClassObject(*reinterpret_cast<const GUID*>(&RecordingFso::Class().clsid), factory,
                          CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    factory->Release();
  }
  ~StandInRegistration() {
    CoRevokeClassObject(cookie_);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Quern0102.orvFSO");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Quern0102.orvFSO");
  }

 private:
  DWORD cookie_ = 0;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(windows_test::Wide(path).c_str(), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

int RunEmptyScript(const windows_test::TempTree& scripts) {
  const std::string path = scripts / "script.loom";
  std::ofstream(windows_test::Wide(path).c_str(), std::ios::binary) << "cleaner.done\n";
  return sweepwell::Main({path});
}

TEST(LogCompression, TheLogIsHandedToOrvFsoCreatedByItsProgId) {
  windows_test::TempTree scripts;
  calls.clear();
  compression_answer = 0;
  {
    StandInRegistration registered;
    EXPECT_EQ(RunEmptyScript(scripts), 0);
  }
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "GetFileCompression " + windows_test::SweepwellLogPath());
  EXPECT_EQ(calls[1], "SetFileCompression " + windows_test::SweepwellLogPath() + " 1");  // cfDefault
  // Already compressed: only asked.
  calls.clear();
  compression_answer = 1;
  {
    StandInRegistration registered;
    RunEmptyScript(scripts);
  }
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(automation::com::CanUnloadNow(), S_OK);  // the program released the object
}

TEST(LogCompression, WithoutTheLibraryTheLogIsLeftAsItIs) {
  windows_test::TempTree scripts;
  calls.clear();
  EXPECT_EQ(RunEmptyScript(scripts), 0);
  const std::string log = ReadAll(windows_test::SweepwellLogPath());
  EXPECT_NE(log.find(std::string(78, '=')), std::string::npos);
  EXPECT_TRUE(calls.empty());
}

}  // namespace
