#include "automation/typelib/idl_writer.h"

#include <gtest/gtest.h>

#include "automation/typelib/vtable_writer.h"

namespace automation {
namespace {

constexpr Guid kLibId{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr Guid kEnumId{0xE0000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};

ParamInfo Param(std::string name, std::string type, bool optional = false,
                Variant default_value = Missing{}, bool by_ref = false) {
  return {std::move(name), std::move(type), optional, std::move(default_value), by_ref};
}

MemberInfo Member(std::string name, DispId id, MemberKind kind, std::vector<ParamInfo> params,
                  std::string result, std::string description = "", bool hidden = false) {
  return {std::move(name),        id,     kind,   std::move(params), std::move(result),
          std::move(description), hidden, nullptr};
}

// A library of two classes: a creatable application object whose members use every kind of
// parameter, and a collection that only the library makes.
struct SmallLibrary {
  ClassInfo files = DescribeClass(
      "Files", {0xC0000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}},
      {0xA0000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, true, "Файлы",
      {Member("Read", 0x60030000, MemberKind::kMethod,
              {Param("Name", "String"), Param("Raise", "Boolean", true, false),
               Param("Comment", "String", true, u";"), Param("Mode", "Mode", true, Variant(2)),
               Param("lpMode", "Mode", true, Missing{}, true),
               Param("Data", "Byte()", false, Missing{}, true), Param("Callback", "_Item", true)},
              "Collection", "Reads \"Name\""),
       Member("Tell", 0x60030001, MemberKind::kMethod,
              {Param("Path", "String"), Param("Cancel", "Boolean", false, Missing{}, true)}, "")});
  ClassInfo items = DescribeClass(
      "Item", {0xC0000002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}},
      {0xA0000002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}}, false, "",
      {Member("Item", kDispIdValue, MemberKind::kPropertyGet, {Param("Index", "Long")}, "Item"),
       Member("Count", 0x60030001, MemberKind::kPropertyGet, {}, "Long"),
       Member("NewEnum", kDispIdNewEnum, MemberKind::kPropertyGet, {}, "IUnknown", "", true),
       Member("Icon", 0x60030003, MemberKind::kPropertyGet, {}, "IPictureDisp"),
       Member("When", 0x60030004, MemberKind::kPropertyGet, {}, "Date")});
  TypeLibrary library;

  SmallLibrary() {
    files.version_minor = 1;
    library.name = "Small";
    library.libid = kLibId;
    library.version_major = 1;
    library.version_minor = 1;
    library.help_string = "Small library";
    library.classes = {&files, &items};
    library.application_object = &files;
    library.enums = {{"Mode", "Режимы", {{"mdNone", -1}, {"mdLast", 7}, {"mdFirst", 0}}, kEnumId},
                     {"Plain", "", {{"plOne", 1}}, {}}};
  }

  std::string Idl() const {
    std::string idl, error;
    EXPECT_TRUE(WriteIdl(library, &idl, &error)) << error;
    return idl;
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(IdlWriterTest, LibraryHeadNamesTheLibraryAndImportsTheStandardTypes) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(Contains(idl,
                       "[\n  uuid(11111111-2222-3333-4444-555555555555),\n  version(1.1),\n"
                       "  lcid(0x409),\n  helpstring(\"Small library\")\n]\nlibrary Small\n{\n"
                       "  importlib(\"stdole2.tlb\");\n"))
      << idl;
  EXPECT_EQ(idl.substr(idl.size() - 3), "};\n");
}

TEST(IdlWriterTest, EnumerationsKeepTheirOrderValuesAndIdentifier) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(Contains(idl,
                       "typedef [uuid(E0000001-0000-0000-0000-000000000001), "
                       "helpstring(\"\xD0\xE5\xE6\xE8\xEC\xFB\")] enum Mode {\n"
                       "    mdNone = -1,\n    mdLast = 7,\n    mdFirst = 0\n  } Mode;"))
      << idl;
  // No identifier in the table: none invented.
  EXPECT_TRUE(Contains(idl, "typedef enum Plain {\n    plOne = 1\n  } Plain;")) << idl;
  EXPECT_LT(idl.find("enum Mode"), idl.find("enum Plain"));
}

TEST(IdlWriterTest, InterfacesAreDualWithTheTablesVersionsAndDispatchIds) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(Contains(idl,
                       "  [\n    uuid(A0000001-0000-0000-0000-000000000001),\n    version(1.1),\n"
                       "    hidden,\n    dual,\n    nonextensible,\n    oleautomation\n  ]\n"
                       "  interface _Files : IDispatch {\n    [id(0x60030000), helpstring(\"Reads "
                       "\\\"Name\\\"\")]\n    HRESULT Read(\n"))
      << idl;
  EXPECT_TRUE(Contains(idl, "    version(1.0),")) << idl;
  // Interfaces are declared ahead, so a member may name one defined later.
  EXPECT_LT(idl.find("  interface _Item;"), idl.find("interface _Files : IDispatch"));
}

TEST(IdlWriterTest, ParametersCarryDirectionOptionalityDefaultsAndTypes) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(Contains(idl,
                       "    HRESULT Read(\n"
                       "        [in] BSTR Name,\n"
                       "        [in, optional, defaultvalue(0)] VARIANT_BOOL Raise,\n"
                       "        [in, optional, defaultvalue(\";\")] BSTR Comment,\n"
                       "        [in, optional, defaultvalue(2)] Mode Mode,\n"
                       "        [in, out, optional, defaultvalue(0)] Mode* lpMode,\n"
                       "        [in, out] SAFEARRAY(unsigned char)* Data,\n"
                       "        [in, optional, defaultvalue(0)] _Item* Callback,\n"
                       "        [out, retval] IDispatch** ReturnValue);\n"))
      << idl;
  // A member without a result has no retval; a by-reference Boolean is a pointer.
  EXPECT_TRUE(Contains(idl,
                       "    HRESULT Tell(\n        [in] BSTR Path,\n"
                       "        [in, out] VARIANT_BOOL* Cancel);\n"))
      << idl;
}

TEST(IdlWriterTest, DefaultMemberAndEnumeratorGetTheirStandardForms) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(
      Contains(idl,
               "    [id(0x00000000), propget]\n    HRESULT Item(\n        [in] long Index,\n"
               "        [out, retval] _Item** ReturnValue);"))
      << idl;
  EXPECT_TRUE(Contains(idl,
                       "    [id(0xFFFFFFFC), propget, restricted, hidden]\n    HRESULT NewEnum(\n"
                       "        [out, retval] IUnknown** ReturnValue);"))
      << idl;
  EXPECT_TRUE(Contains(idl, "HRESULT Icon(\n        [out, retval] IPictureDisp** ReturnValue);"));
  EXPECT_TRUE(Contains(idl, "HRESULT When(\n        [out, retval] DATE* ReturnValue);"));
}

TEST(IdlWriterTest, CoclassesMarkTheApplicationObjectAndTheClassesOnlyTheLibraryMakes) {
  const std::string idl = SmallLibrary().Idl();
  EXPECT_TRUE(Contains(idl,
                       "  [\n    uuid(C0000001-0000-0000-0000-000000000001),\n"
                       "    helpstring(\"\xD4\xE0\xE9\xEB\xFB\"),\n    appobject\n  ]\n"
                       "  coclass Files {\n    [default] interface _Files;\n  };"))
      << idl;
  EXPECT_TRUE(Contains(idl,
                       "  [\n    uuid(C0000002-0000-0000-0000-000000000002),\n    noncreatable\n"
                       "  ]\n  coclass Item {\n    [default] interface _Item;\n  };"))
      << idl;
}

TEST(IdlWriterTest, UnknownTypeFailsNamingTheMemberAndWritesNothing) {
  SmallLibrary small;
  small.items.members[1].result_type = "Currency";
  std::string idl = "untouched", error;
  EXPECT_FALSE(WriteIdl(small.library, &idl, &error));
  EXPECT_EQ(error, "Item.Count: no IDL type for \"Currency\"");
  EXPECT_EQ(idl, "untouched");

  small.items.members[1].result_type = "Long";
  small.files.members[0].params[0].type = "Mode2";
  EXPECT_FALSE(WriteIdl(small.library, &idl, &error));
  EXPECT_EQ(error, "Files.Read: no IDL type for \"Mode2\"");
}

TEST(IdlWriterTest, StringBodiesCannotEndTheLiteralAndUseWindows1251) {
  EXPECT_EQ(IdlStringBody("a \"b\" c\\d"), "a \\\"b\\\" c\\\\d");
  EXPECT_EQ(IdlStringBody("line\nnext\ttab"), "line next tab");
  // Ё, ё, №, the Cyrillic alphabet's ends, and a character the page lacks.
  EXPECT_EQ(IdlStringBody("ЁёА я№ 中"), "\xA8\xB8\xC0 \xFF\xB9 ?");
  EXPECT_EQ(IdlStringBody("Класс работы с пометкой версии"),
            "\xCA\xEB\xE0\xF1\xF1 \xF0\xE0\xE1\xEE\xF2\xFB \xF1 \xEF\xEE\xEC\xE5\xF2\xEA\xEE\xE9 "
            "\xE2\xE5\xF0\xF1\xE8\xE8");
}

}  // namespace
}  // namespace automation

namespace automation {
namespace {

std::string Vtables(const TypeLibrary& library) {
  std::string source, error;
  EXPECT_TRUE(WriteVtables(library, &source, &error)) << error;
  return source;
}

TEST(VtableWriterTest, EachMemberGetsTheSignatureTheIdlDeclaresAndCallsItsSlot) {
  SmallLibrary small;
  const std::string source = Vtables(small.library);
  // Typed values in, by-reference parameters as pointers, a class parameter as IDispatch*,
  // the result last; the arguments packed in declaration order.
  EXPECT_TRUE(Contains(source,
                       "HRESULT STDMETHODCALLTYPE Slot0_0(void* self, BSTR a0, VARIANT_BOOL a1, "
                       "BSTR a2, LONG a3, LONG* a4, SAFEARRAY** a5, IDispatch* a6, "
                       "IDispatch** result) {\n"
                       "  VARIANT args[] = {ByValue(VT_BSTR, &a0), ByValue(VT_BOOL, &a1), "
                       "ByValue(VT_BSTR, &a2), ByValue(VT_I4, &a3), ByRef(VT_I4, a4), "
                       "ByRef(VT_ARRAY | VT_UI1, a5), ByValue(VT_DISPATCH, &a6)};\n"
                       "  return CallSlot(self, 0, args, 7, VT_DISPATCH, nullptr, result);\n}\n"))
      << source;
  // Nothing returned; no parameters.
  EXPECT_TRUE(Contains(source, "return CallSlot(self, 1, args, 2, VT_EMPTY, nullptr, nullptr);"));
  EXPECT_TRUE(Contains(source,
                       "Slot1_1(void* self, LONG* result) {\n"
                       "  return CallSlot(self, 1, nullptr, 0, VT_I4, nullptr, result);"));
  // A result of a library class is handed out as that class's interface.
  EXPECT_TRUE(Contains(source,
                       "const GUID kIid1_0 = {0xA0000002, 0x0000, 0x0000, {0x00, 0x00, 0x00, "
                       "0x00, 0x00, 0x00, 0x00, 0x02}};\n"
                       "HRESULT STDMETHODCALLTYPE Slot1_0(void* self, LONG a0, IDispatch** "
                       "result) {"));
  EXPECT_TRUE(Contains(source, "CallSlot(self, 0, args, 1, VT_DISPATCH, &kIid1_0, result);"));
  EXPECT_TRUE(Contains(source, "Slot1_3(void* self, IDispatch** result)"));
  EXPECT_TRUE(Contains(source, "Slot1_4(void* self, DATE* result)"));
  // The tables name the members, so the bridge can refuse a table that is not its class's.
  EXPECT_TRUE(Contains(source,
                       "const char* const kNames1[] = {\"Item\", \"Count\", "
                       "\"NewEnum\", \"Icon\", \"When\"};"));
  EXPECT_TRUE(Contains(source, "\"Item\", kNames1, kSlots1, 5},"));
}

TEST(VtableWriterTest, UnknownTypeFailsNamingTheMember) {
  SmallLibrary small;
  small.items.members[1].result_type = "Currency";
  std::string source, error;
  EXPECT_FALSE(WriteVtables(small.library, &source, &error));
  EXPECT_EQ(error, "Item.Count: no vtable type for \"Currency\"");
  EXPECT_TRUE(source.empty());
}

TEST(IdlWriterTest, TheStandardInterfacesKeepTheirSlotsSoOffsetsFollowThem) {
  const std::string idl = SmallLibrary().Idl();
  for (const char* method : {"QueryInterface(", "AddRef(", "Release(", "GetTypeInfoCount(",
                             "GetTypeInfo(", "GetIDsOfNames(", "Invoke("})
    EXPECT_TRUE(Contains(idl, method)) << method;
}

}  // namespace
}  // namespace automation
