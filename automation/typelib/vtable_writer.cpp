#include "automation/typelib/vtable_writer.h"

#include <cstdio>
#include <optional>

namespace automation {

namespace {

struct SlotType {
  std::string c_type;                    // the parameter's C type: "BSTR", "LONG", "IDispatch*"
  std::string vt;                        // its VARTYPE: "VT_BSTR"
  const ClassInfo* interface = nullptr;  // a library class: results are QueryInterface'd for it
};

std::string GuidLiteral(const Guid& guid) {
  char text[96];
  std::snprintf(text, sizeof text,
                "{0x%08X, 0x%04X, 0x%04X, {0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, "
                "0x%02X, 0x%02X}}",
                guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

// A C++ string literal of an ASCII member name (names are identifiers).
std::string Literal(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

class Writer {
 public:
  explicit Writer(const TypeLibrary& library) : library_(library) {}

  bool Write(std::string* source, std::string* error) {
    out_ += "// The vtables of the dual interfaces of " + library_.name +
            ", written from its member tables by\n// orvanel-idl --vtables. Do not edit: change "
            "the tables and build again.\n"
            "#include \"automation/com/vtable.h\"\n\n"
            "namespace {\n\nusing namespace automation::com;\n\n";
    for (size_t c = 0; c < library_.classes.size(); ++c) {
      if (!WriteClass(c, *library_.classes[c])) {
        *error = error_;
        return false;
      }
    }
    out_ += "const DualVtable kVtables[] = {\n";
    for (size_t c = 0; c < library_.classes.size(); ++c) {
      const ClassInfo& info = *library_.classes[c];
      const std::string n = std::to_string(c);
      out_ += "    {" + GuidLiteral(info.iid) + ", " + Literal(info.name) + ", " +
              (info.members.empty() ? "nullptr, nullptr" : "kNames" + n + ", kSlots" + n) + ", " +
              std::to_string(info.members.size()) + "},\n";
    }
    out_ +=
        "};\n\n"
        "// Registered when the module loads, before any object can be asked for an interface.\n"
        "const bool kRegistered = (SetDualVtables(kVtables, sizeof kVtables / sizeof *kVtables), "
        "true);\n\n"
        "}  // namespace\n";
    *source = std::move(out_);
    return true;
  }

 private:
  std::optional<SlotType> TypeOf(const std::string& type) const {
    struct Basic {
      const char* name;
      const char* c_type;
      const char* vt;
    };
    static const Basic kTypes[] = {
        {"String", "BSTR", "VT_BSTR"},
        {"Long", "LONG", "VT_I4"},
        {"Integer", "SHORT", "VT_I2"},
        {"Boolean", "VARIANT_BOOL", "VT_BOOL"},
        {"Double", "DOUBLE", "VT_R8"},
        {"Date", "DATE", "VT_DATE"},
        {"Byte", "BYTE", "VT_UI1"},
        {"Byte()", "SAFEARRAY*", "VT_ARRAY | VT_UI1"},
        {"Variant", "VARIANT", "VT_VARIANT"},
        {"Collection", "IDispatch*", "VT_DISPATCH"},
        {"Object", "IDispatch*", "VT_DISPATCH"},
        {"IDispatch", "IDispatch*", "VT_DISPATCH"},
        {"IUnknown", "IUnknown*", "VT_UNKNOWN"},
        // IPictureDisp adds no slots to IDispatch: the picture's IDispatch is a valid one.
        {"IPictureDisp", "IDispatch*", "VT_DISPATCH"},
        {"StdPicture", "IDispatch*", "VT_DISPATCH"},
    };
    for (const Basic& basic : kTypes) {
      if (type == basic.name) return SlotType{basic.c_type, basic.vt};
    }
    for (const EnumInfo& info : library_.enums) {
      if (type == info.name) return SlotType{"LONG", "VT_I4"};
    }
    for (const ClassInfo* info : library_.classes) {
      if (type == info->name || type == info->interface_name)
        return SlotType{"IDispatch*", "VT_DISPATCH", info};
    }
    return std::nullopt;
  }

  bool Fail(const ClassInfo& info, const MemberInfo& member, const std::string& type) {
    error_ = info.name + "." + member.name + ": no vtable type for \"" + type + "\"";
    return false;
  }

  bool WriteClass(size_t index, const ClassInfo& info) {
    if (info.members.empty()) return true;
    const std::string n = std::to_string(index);
    out_ += "// " + info.interface_name + "\n";
    for (size_t slot = 0; slot < info.members.size(); ++slot) {
      if (!WriteSlot(n, slot, info, info.members[slot])) return false;
    }
    out_ += "const char* const kNames" + n + "[] = {";
    for (size_t slot = 0; slot < info.members.size(); ++slot)
      out_ += (slot ? ", " : "") + Literal(info.members[slot].name);
    out_ += "};\nconst DualSlot kSlots" + n + "[] = {";
    for (size_t slot = 0; slot < info.members.size(); ++slot) {
      out_ += std::string(slot ? ", " : "") + "AsSlot(&Slot" + n + "_" + std::to_string(slot) + ")";
    }
    out_ += "};\n\n";
    return true;
  }

  bool WriteSlot(const std::string& n, size_t slot, const ClassInfo& info,
                 const MemberInfo& member) {
    std::string params = "void* self";
    std::string args;
    for (size_t i = 0; i < member.params.size(); ++i) {
      const ParamInfo& param = member.params[i];
      std::optional<SlotType> type = TypeOf(param.type);
      if (!type) return Fail(info, member, param.type);
      const std::string name = "a" + std::to_string(i);
      params += ", " + type->c_type + (param.by_ref ? "* " : " ") + name;
      args +=
          std::string(i ? ", " : "") + (param.by_ref ? "ByRef(" + type->vt + ", " + name + ")"
                                                     : "ByValue(" + type->vt + ", &" + name + ")");
    }
    std::string result_vt = "VT_EMPTY", result_iid = "nullptr", result = "nullptr";
    if (!member.result_type.empty()) {
      std::optional<SlotType> type = TypeOf(member.result_type);
      if (!type) return Fail(info, member, member.result_type);
      params += ", " + type->c_type + "* result";
      result_vt = type->vt;
      result = "result";
      if (type->interface) result_iid = "&kIid" + n + "_" + std::to_string(slot);
      if (type->interface) {
        out_ += "const GUID kIid" + n + "_" + std::to_string(slot) + " = " +
                GuidLiteral(type->interface->iid) + ";\n";
      }
    }
    const std::string call_args =
        member.params.empty() ? "nullptr, 0" : "args, " + std::to_string(member.params.size());
    out_ +=
        "HRESULT STDMETHODCALLTYPE Slot" + n + "_" + std::to_string(slot) + "(" + params + ") {\n";
    if (!member.params.empty()) out_ += "  VARIANT args[] = {" + args + "};\n";
    out_ += "  return CallSlot(self, " + std::to_string(slot) + ", " + call_args + ", " +
            result_vt + ", " + result_iid + ", " + result + ");\n}\n";
    return true;
  }

  const TypeLibrary& library_;
  std::string out_;
  std::string error_;
};

}  // namespace

bool WriteVtables(const TypeLibrary& library, std::string* source, std::string* error) {
  return Writer(library).Write(source, error);
}

}  // namespace automation
