#include "automation/typelib/idl_writer.h"

#include <cstdio>
#include <optional>

#include "support/ov_unicode.h"

namespace automation {

namespace {

// Windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order. 0x98 is unassigned.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFF, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char Cp1251Byte(char16_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<char>(0xC0 + (c - 0x0410));
  for (int i = 0; i < 64; ++i) {
    if (kCp1251High[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// "{01234567-...}" without the braces, as IDL's uuid() wants it.
std::string Uuid(const Guid& guid) {
  std::string text = GuidToString(guid);
  return text.substr(1, text.size() - 2);
}

std::string Quoted(std::string_view utf8) { return "\"" + IdlStringBody(utf8) + "\""; }

struct IdlType {
  std::string name;  // as a parameter of that type is declared: "BSTR", "_FoundedFile*"
  std::string zero;  // the default an optional parameter of the type gets without one
};

class Writer {
 public:
  explicit Writer(const TypeLibrary& library) : library_(library) {}

  bool Write(std::string* idl, std::string* error) {
    WritePrelude();
    WriteLibraryHead();
    for (const EnumInfo& info : library_.enums) WriteEnum(info);
    for (const ClassInfo* info : library_.classes) {
      out_ += "  interface " + info->interface_name + ";\n";
    }
    out_ += "\n";
    for (const ClassInfo* info : library_.classes) {
      if (!WriteInterface(*info)) {
        *error = error_;
        return false;
      }
    }
    for (const ClassInfo* info : library_.classes) WriteCoclass(*info);
    out_ += "};\n";
    *idl = std::move(out_);
    return true;
  }

 private:
  void WritePrelude() {
    out_ += "// The type library of " + library_.name +
            ", written from its member tables by orvanel-idl. Do not edit:\n"
            "// change the tables and build again.\n\n"
            "// Standard types, declared here for the compiler; in the library they resolve to\n"
            "// stdole2.tlb.\n"
            "typedef long HRESULT;\n"
            "typedef short VARIANT_BOOL;\n"
            "typedef double DATE;\n"
            "typedef [unique] wchar_t* BSTR;\n"
            "typedef struct tagVARIANT { long reserved; } VARIANT;\n"
            "// IUnknown's and IDispatch's methods are declared so that the compiler counts\n"
            "// them: the vtable offsets it stores for every member follow their seven slots.\n"
            "[object, uuid(00000000-0000-0000-C000-000000000046), pointer_default(unique)]\n"
            "interface IUnknown {\n"
            "  HRESULT QueryInterface([in] unsigned char* riid, [out] IUnknown** object);\n"
            "  unsigned long AddRef();\n"
            "  unsigned long Release();\n"
            "}\n"
            "[object, uuid(00020400-0000-0000-C000-000000000046), pointer_default(unique)]\n"
            "interface IDispatch : IUnknown {\n"
            "  HRESULT GetTypeInfoCount([out] unsigned int* count);\n"
            "  HRESULT GetTypeInfo([in] unsigned int index, [in] unsigned long lcid,\n"
            "                      [out] IUnknown** info);\n"
            "  HRESULT GetIDsOfNames([in] unsigned char* iid, [in] unsigned char* names, [in] "
            "unsigned int count,\n"
            "                        [in] unsigned long lcid, [out] long* ids);\n"
            "  HRESULT Invoke([in] long id, [in] unsigned char* iid, [in] unsigned long lcid,\n"
            "                 [in] unsigned short flags, [in] unsigned char* params, [out] "
            "unsigned char* result,\n"
            "                 [out] unsigned char* excep, [out] unsigned int* arg_error);\n"
            "}\n"
            "[object, uuid(7BF80981-BF32-101A-8BBB-00AA00300CAB), oleautomation, dual]\n"
            "interface IPictureDisp : IDispatch {}\n\n";
  }

  void WriteLibraryHead() {
    out_ += "[\n  uuid(" + Uuid(library_.libid) + "),\n  version(" + Version(library_) +
            "),\n  lcid(" + LcidText() + ")";
    if (!library_.help_string.empty())
      out_ += ",\n  helpstring(" + Quoted(library_.help_string) + ")";
    out_ += "\n]\nlibrary " + library_.name + "\n{\n  importlib(\"stdole2.tlb\");\n\n";
  }

  std::string LcidText() const {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", library_.lcid);
    return text;
  }

  template <class T>
  static std::string Version(const T& item) {
    return std::to_string(item.version_major) + "." + std::to_string(item.version_minor);
  }

  void WriteEnum(const EnumInfo& info) {
    std::string attributes;
    if (info.uuid != Guid{}) attributes = "uuid(" + Uuid(info.uuid) + ")";
    if (!info.description.empty()) {
      if (!attributes.empty()) attributes += ", ";
      attributes += "helpstring(" + Quoted(info.description) + ")";
    }
    out_ += "  typedef ";
    if (!attributes.empty()) out_ += "[" + attributes + "] ";
    out_ += "enum " + info.name + " {\n";
    for (size_t i = 0; i < info.members.size(); ++i) {
      out_ += "    " + info.members[i].first + " = " + std::to_string(info.members[i].second);
      out_ += i + 1 < info.members.size() ? ",\n" : "\n";
    }
    out_ += "  } " + info.name + ";\n\n";
  }

  // The IDL type of a table type; nullopt for one the writer does not know.
  std::optional<IdlType> TypeOf(const std::string& type) const {
    static const std::pair<const char*, IdlType> kBasic[] = {
        {"String", {"BSTR", "\"\""}},
        {"Long", {"long", "0"}},
        {"Integer", {"short", "0"}},
        {"Boolean", {"VARIANT_BOOL", "0"}},
        {"Double", {"double", "0"}},
        {"Date", {"DATE", "0"}},
        {"Byte", {"unsigned char", "0"}},
        {"Byte()", {"SAFEARRAY(unsigned char)", ""}},
        {"Variant", {"VARIANT", ""}},
        {"Collection", {"IDispatch*", "0"}},
        {"Object", {"IDispatch*", "0"}},
        {"IDispatch", {"IDispatch*", "0"}},
        {"IUnknown", {"IUnknown*", "0"}},
        {"IPictureDisp", {"IPictureDisp*", "0"}},
        {"StdPicture", {"IPictureDisp*", "0"}},
    };
    for (const auto& [name, idl] : kBasic) {
      if (type == name) return idl;
    }
    for (const EnumInfo& info : library_.enums) {
      if (type == info.name) return IdlType{info.name, "0"};
    }
    for (const ClassInfo* info : library_.classes) {
      if (type == info->name || type == info->interface_name) {
        return IdlType{info->interface_name + "*", "0"};
      }
    }
    return std::nullopt;
  }

  static std::string DefaultText(const Variant& value) {
    switch (value.type()) {
      case VarType::kString:
        return Quoted(support::Utf8FromUtf16(value.String()));
      case VarType::kBoolean:
        return value.ToBool() ? "-1" : "0";
      default:
        return support::Utf8FromUtf16(value.ToString());
    }
  }

  bool Fail(const ClassInfo& info, const MemberInfo& member, const std::string& type) {
    error_ = info.name + "." + member.name + ": no IDL type for \"" + type + "\"";
    return false;
  }

  bool WriteInterface(const ClassInfo& info) {
    out_ += "  [\n    uuid(" + Uuid(info.iid) + "),\n    version(" + Version(info) +
            "),\n    hidden,\n    dual,\n    nonextensible,\n    oleautomation\n  ]\n";
    out_ += "  interface " + info.interface_name + " : IDispatch {\n";
    for (const MemberInfo& member : info.members) {
      if (!WriteMember(info, member)) return false;
    }
    out_ += "  };\n\n";
    return true;
  }

  bool WriteMember(const ClassInfo& info, const MemberInfo& member) {
    const bool enumerator = member.id == kDispIdNewEnum;
    std::string attributes = "id(" + Hex(static_cast<uint32_t>(member.id)) + ")";
    if (member.kind == MemberKind::kPropertyGet) attributes += ", propget";
    if (enumerator) attributes += ", restricted";
    if (member.hidden || enumerator) attributes += ", hidden";
    if (!member.description.empty())
      attributes += ", helpstring(" + Quoted(member.description) + ")";
    std::vector<std::string> params;
    for (const ParamInfo& param : member.params) {
      std::optional<IdlType> type = TypeOf(param.type);
      if (!type) return Fail(info, member, param.type);
      std::string flags = param.by_ref ? "in, out" : "in";
      if (param.optional) {
        flags += ", optional";
        if (!param.default_value.IsMissing()) {
          flags += ", defaultvalue(" + DefaultText(param.default_value) + ")";
        } else if (!type->zero.empty()) {
          flags += ", defaultvalue(" + type->zero + ")";
        }
      }
      params.push_back("[" + flags + "] " + type->name + (param.by_ref ? "*" : "") + " " +
                       param.name);
    }
    if (!member.result_type.empty()) {
      std::optional<IdlType> type = TypeOf(member.result_type);
      if (!type) return Fail(info, member, member.result_type);
      params.push_back("[out, retval] " + type->name + "* ReturnValue");
    }
    out_ += "    [" + attributes + "]\n    HRESULT " + member.name + "(";
    for (size_t i = 0; i < params.size(); ++i) {
      out_ += (i ? ",\n        " : "\n        ") + params[i];
    }
    out_ += ");\n";
    return true;
  }

  void WriteCoclass(const ClassInfo& info) {
    out_ += "  [\n    uuid(" + Uuid(info.clsid) + ")";
    if (!info.description.empty()) out_ += ",\n    helpstring(" + Quoted(info.description) + ")";
    if (&info == library_.application_object) out_ += ",\n    appobject";
    if (!info.creatable) out_ += ",\n    noncreatable";
    out_ += "\n  ]\n  coclass " + info.name + " {\n    [default] interface " + info.interface_name +
            ";\n  };\n\n";
  }

  const TypeLibrary& library_;
  std::string out_;
  std::string error_;
};

}  // namespace

std::string IdlStringBody(std::string_view utf8) {
  std::string body;
  for (char16_t c : support::Utf16FromUtf8(utf8)) {
    if (c == u'"' || c == u'\\') body += '\\';
    body += c < 0x20 ? ' ' : Cp1251Byte(c);
  }
  return body;
}

bool WriteIdl(const TypeLibrary& library, std::string* idl, std::string* error) {
  return Writer(library).Write(idl, error);
}

}  // namespace automation
