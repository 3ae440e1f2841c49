// The library as a component: registration, creation by ProgID and class id, refusal of the
// classes only the library makes, unloading, and late-bound calls through the member tables.
#include "automation/component.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "fileio/quern0102.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace automation {
// Readable values in failure messages.
void PrintTo(const Variant& value, std::ostream* out) {
  *out << VarTypeName(value.type());
  if (value.type() == VarType::kString || value.IsNumeric()) {
    *out << " " << support::Utf8FromUtf16(value.ToString());
  }
}
}  // namespace automation

namespace quern {
namespace {

using automation::CallByName;
using automation::Variant;
using orvanel::testing::ErrorNumberOf;
using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;

TEST(ComponentTest, CreatesRegisteredClassesByProgIdAndRefusesUnknownOnes) {
  auto fso = automation::CreateObject("Quern0102.orvFSO");
  ASSERT_TRUE(fso);
  EXPECT_EQ(fso->TypeInfo().name, "orvFSO");
  EXPECT_TRUE(automation::CreateObject("quern0102.ORVDESCRIPTION"));
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("Quern0102.NoSuchClass"); }), 429);
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("NoSuchLibrary.orvFSO"); }), 429);
}

TEST(ComponentTest, CanUnloadOnlyWhenNoObjectIsAlive) {
  ASSERT_EQ(DllCanUnloadNow(), automation::hr::kOk);
  {
    auto fso = automation::CreateObject("Quern0102.orvFSO");
    EXPECT_EQ(DllCanUnloadNow(), automation::hr::kFalse);
  }
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
  ApplicationObject();  // the application object does not keep the library
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(ComponentTest, RegistrationWritesEveryCreatableClassAndUnregistrationRemovesIt) {
  TempFolder registry;
  setenv("ORVANEL_REGISTRY", registry.path().c_str(), 1);
  ASSERT_EQ(DllRegisterServer(), automation::hr::kOk);
  std::string progid = ReadBytes(registry / "ProgID/Quern0102.orvFSO");
  std::string clsid = GuidToString(orvFSO::Class().clsid);
  EXPECT_EQ(progid, "CLSID=" + clsid + "\n");
  std::string server = ReadBytes(registry / ("CLSID/" + clsid));
  EXPECT_NE(server.find("ThreadingModel=Apartment\n"), std::string::npos);
  // The file registered is the one named by the SONAME, which compatible updates keep.
  EXPECT_NE(server.find("libquern0102.so.1\n"), std::string::npos);
  std::string library = ReadBytes(registry / ("TypeLib/" + GuidToString(TypeLibrary().libid)));
  EXPECT_NE(library.find("HelpString=Orvanel - File I/O support 1.02\n"), std::string::npos);
  EXPECT_NE(library.find("Version=1.1\n"), std::string::npos);
  EXPECT_NE(
      ReadBytes(registry / ("Interface/" + GuidToString(orvFSO::Class().iid))).find("Version=1.1"),
      std::string::npos);

  // A registered class is created through its registered server.
  EXPECT_TRUE(automation::CreateObject("Quern0102.orvDescriptIon"));

  ASSERT_EQ(DllUnregisterServer(), automation::hr::kOk);
  EXPECT_FALSE(std::filesystem::exists(registry / "ProgID/Quern0102.orvFSO"));
  EXPECT_FALSE(std::filesystem::exists(registry / ("CLSID/" + clsid)));
  unsetenv("ORVANEL_REGISTRY");
}

TEST(ComponentTest, ClassObjectsAreServedOnlyForCreatableClasses) {
  void* out = reinterpret_cast<void*>(1);
  automation::Guid unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(DllGetClassObject(&unknown, &automation::kIidClassFactory, &out),
            automation::hr::kClassNotAvailable);
  EXPECT_EQ(out, nullptr);
  const automation::Guid& clsid = orvFSO::Class().clsid;
  EXPECT_EQ(DllGetClassObject(&clsid, &automation::kIidDispatch, &out),
            automation::hr::kNoInterface);
  ASSERT_EQ(DllGetClassObject(&clsid, &automation::kIidClassFactory, &out), automation::hr::kOk);
  auto factory =
      automation::Ref<automation::ClassFactory>::Adopt(static_cast<automation::ClassFactory*>(out));
  factory->LockServer(true);
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kFalse);  // a locked factory keeps the library
  factory->LockServer(false);
  automation::Object* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(&object), automation::hr::kOk);
  automation::Ref<automation::Object>::Adopt(object);
}

TEST(ComponentTest, TypeLibraryDescribesTheLibraryAndItsEnumerations) {
  const automation::TypeLibrary& library = TypeLibrary();
  EXPECT_EQ(library.name, "Quern0102");
  EXPECT_EQ(library.version_major * 10 + library.version_minor, 11);
  EXPECT_EQ(library.lcid, 0x409u);
  ASSERT_EQ(library.enums.size(), 8u);
  EXPECT_EQ(library.enums[4].members.front(), (std::pair<std::string, int32_t>{"cfError", -1}));
  // Declaration order, not value order.
  EXPECT_EQ(library.enums[5].members[2].first, "FileOS_Windows16");
  EXPECT_EQ(library.enums[5].description, "Класс работы с пометкой версии");
  const auto& members = orvFSO::Class().members;
  ASSERT_EQ(members.size(), 20u);
  EXPECT_EQ(members[0].name, "PutFile2");
  EXPECT_EQ(members[19].name, "ReadStandardListFile2");
  EXPECT_EQ(members[4].Signature(),
            "GetFile2(FileName As String, [RaiseErrors As Boolean = False], [Encoding As "
            "FileEncodingConst = 0], [FileBOM As FileBOMConst = 0], [InvertBytes As "
            "InvertBytesConst = 0], [ByRef lpEncoding As FileEncodingConst], [ByRef lpFileBOM As "
            "FileBOMConst], [ByRef lpInvertBytes As InvertBytesConst], [ByRef lpSuccess As "
            "Boolean]) As String");
}

TEST(DispatchTest, OmittedOptionalParametersTakeTheTableDefaults) {
  TempFolder dir;
  auto fso = automation::CreateObject("Quern0102.orvFSO");
  Variant name(U16(dir / "a.txt"));
  // PutFile2(FileName, Data): ANSI, no mark.
  EXPECT_EQ(CallByName(*fso, "PutFile2", {name, Variant(u"abc")}), Variant(true));
  EXPECT_EQ(ReadBytes(dir / "a.txt"), "abc");
  // Missing in the middle: Encoding given, the rest default (UTF-8 gets its mark).
  EXPECT_EQ(CallByName(*fso, "PutFile2",
                       {name, Variant(u"é"), automation::Missing{}, Variant(int32_t{feUTF8})}),
            Variant(true));
  EXPECT_EQ(ReadBytes(dir / "a.txt"), "\xEF\xBB\xBF\xC3\xA9");

  std::string list = dir / "list.txt";
  std::ofstream(list, std::ios::binary) << "; comment\r\n\r\n  *.tmp  \r\n*.bak\r\n";
  Variant items = CallByName(*fso, "ReadStandardListFile", {Variant(U16(list))});
  auto collection = items.ToObject();
  ASSERT_TRUE(collection);
  EXPECT_EQ(CallByName(*collection, "Count"), Variant(int32_t{2}));
  EXPECT_EQ(CallByName(*collection, "Item", {Variant(u"1")}), Variant(u"*.tmp"));
}

TEST(DispatchTest, ByReferenceParametersAreWrittenBack) {
  TempFolder dir;
  std::ofstream(dir / "u.txt", std::ios::binary) << std::string("\xFE\xFF\x00\x41", 4);
  auto fso = automation::CreateObject("Quern0102.orvFSO");
  std::vector<Variant> args{Variant(U16(dir / "u.txt")),
                            automation::Missing{},
                            automation::Missing{},
                            automation::Missing{},
                            automation::Missing{},
                            Variant(),
                            Variant(),
                            Variant(),
                            Variant(false)};
  EXPECT_EQ(CallByName(*fso, "GetFile2", args), Variant(u"A"));
  EXPECT_EQ(args[5], Variant(int32_t{feUTF16}));
  EXPECT_EQ(args[6], Variant(int32_t{fbBOM}));
  EXPECT_EQ(args[7], Variant(int32_t{ibInvertBytes}));
  EXPECT_EQ(args[8], Variant(true));

  // Only some out-values asked for: the others stay untouched Missing.
  std::vector<Variant> some{Variant(U16(dir / "none.txt")), Variant(false), Variant(int32_t{77})};
  EXPECT_EQ(CallByName(*fso, "GetFileFormat2", some), Variant(false));
  EXPECT_EQ(some[2], Variant(int32_t{77}));  // a failure keeps what the caller passed

  std::vector<Variant> missing{Variant(U16(dir / "none.txt")), Variant(int32_t{0})};
  EXPECT_EQ(CallByName(*fso, "GetFileCompression", missing), Variant(int32_t{cfError}));
  EXPECT_EQ(missing[1], Variant(int32_t{2}));
}

TEST(DispatchTest, RaisedErrorsCarryNumberSourceAndDescription) {
  TempFolder dir;
  auto fso = automation::CreateObject("Quern0102.orvFSO");
  try {
    CallByName(*fso, "GetFileB", {Variant(U16(dir / "none")), Variant(true)});
    FAIL() << "no error raised";
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), 53);
    EXPECT_EQ(error.source(), "orvFSO");
    EXPECT_EQ(error.description(), "Файл не найден");
  }
  // A bad argument type is a type mismatch, not a crash.
  EXPECT_EQ(
      ErrorNumberOf([&] { CallByName(*fso, "GetFileZone", {Variant(std::vector<uint8_t>{1})}); }),
      0);  // Byte() reads as a String
  EXPECT_EQ(ErrorNumberOf([&] {
              CallByName(*fso, "SetFileZone", {Variant(u"x"), Variant(u"not a number")});
            }),
            13);
}

TEST(DispatchTest, CanUnloadNowWaitsForObjectsReturnedByMembers) {
  TempFolder dir;
  std::ofstream(dir / "l.txt") << "a\n";
  automation::Ref<automation::Object> collection;
  {
    auto fso = automation::CreateObject("Quern0102.orvFSO");
    collection = CallByName(*fso, "ReadStandardListFile", {Variant(U16(dir / "l.txt"))}).ToObject();
  }
  ASSERT_TRUE(collection);
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kFalse);
  collection.reset();
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
}

}  // namespace
}  // namespace quern
