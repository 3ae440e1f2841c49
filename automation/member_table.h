// The one description of a class's members: names, dispatch ids, kinds, parameters with their
// defaults and by-reference flags, in slot order. Invoke (dispatch by name), the Python module
// and the documentation are all driven from these tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "automation/object.h"
#include "automation/variant.h"

namespace automation {

// A class, interface or type-library identifier.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0, data3 = 0;
  uint8_t data4[8] = {};
  bool operator==(const Guid&) const = default;
};
// "{01234567-89AB-CDEF-0123-456789ABCDEF}"; Parse accepts either letter case.
std::string GuidToString(const Guid& guid);
std::optional<Guid> ParseGuid(std::string_view text);
inline constexpr Guid kIidUnknown{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidDispatch{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidClassFactory{0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

enum class MemberKind : uint8_t { kMethod, kPropertyGet };

struct ParamInfo {
  std::string name;
  std::string type;  // as clients see it: "String", "Long", "FileEncodingConst", "Byte()" ...
  bool optional = false;
  Variant default_value = Missing{};  // Missing: optional without a default
  bool by_ref = false;
};

class CallArgs;
using Invoker = Variant (*)(Object& self, CallArgs& args);

struct MemberInfo {
  std::string name;
  DispId id = 0;
  MemberKind kind = MemberKind::kMethod;
  std::vector<ParamInfo> params;
  std::string result_type;  // "" when the member returns nothing
  std::string description;  // UTF-8; "" when the member has none
  bool hidden = false;
  Invoker invoke = nullptr;

  // "GetFile2(FileName As String, [RaiseErrors As Boolean = False], ...) As String"
  std::string Signature() const;
};

struct ClassInfo {
  std::string name;            // "orvFSO"
  std::string interface_name;  // "_orvFSO"
  Guid clsid;
  Guid iid;
  uint16_t version_major = 1, version_minor = 0;  // of the interface
  bool creatable = false;                         // clients may create it
  std::string description;
  std::vector<MemberInfo> members;  // slot order
  Object* (*create)() = nullptr;    // a new object without references; null for abstract ones
  // Where the platform's component mechanism has an object of its own standing for an object
  // of this class (Windows: a picture's OLE picture), that object (there an IUnknown*,
  // borrowed from the library object), which clients get in the library object's place; null
  // from it, or no function, hands out the library object itself.
  void* (*system_object)(Object& object) = nullptr;

  const MemberInfo* FindByName(std::string_view member) const;  // ASCII case ignored
  const MemberInfo* FindById(DispId id) const;
};

// A library class as its member table describes it: the interface "_" + name at version 1.0.
// `create` makes a new object without references (for creatable classes, and for the ones the
// library hands out that a Python client may also make); null when only the library makes it.
ClassInfo DescribeClass(std::string name, const Guid& clsid, const Guid& iid, bool creatable,
                        std::string description, std::vector<MemberInfo> members,
                        Object* (*create)() = nullptr);

// `create` for DescribeClass: a new T.
template <class T>
Object* NewObject() {
  return new T;
}

struct EnumInfo {
  std::string name;
  std::string description;
  std::vector<std::pair<std::string, int32_t>> members;  // declaration order
  Guid uuid;  // of the enumeration in the type library; all zero for none
};

struct TypeLibrary {
  std::string name;  // "Quern0102"
  Guid libid;
  uint16_t version_major = 1, version_minor = 0;
  uint32_t lcid = 0x409;
  std::string help_string;
  std::string description;  // project description written at registration
  std::vector<const ClassInfo*> classes;
  std::vector<EnumInfo> enums;
  const ClassInfo* application_object = nullptr;

  const ClassInfo* FindClass(std::string_view class_name) const;  // ASCII case ignored
  const ClassInfo* FindClass(const Guid& clsid) const;
};

// The arguments of one call, bound to a member's parameters: a left-out optional parameter
// already holds its default (or Missing). The accessors convert with VB's rules and raise
// error 13 or 6 like Variant's coercions.
class CallArgs {
 public:
  CallArgs(const MemberInfo& member, std::vector<Variant*> bound)
      : member_(member), bound_(std::move(bound)) {}

  size_t size() const { return bound_.size(); }
  const Variant& operator[](size_t i) const { return *bound_[i]; }
  bool IsMissing(size_t i) const { return bound_[i]->IsMissing(); }

  std::u16string String(size_t i) const { return bound_[i]->ToString(); }
  int32_t Long(size_t i) const { return bound_[i]->ToLong(); }
  int16_t Integer(size_t i) const { return bound_[i]->ToInteger(); }
  bool Bool(size_t i) const { return bound_[i]->ToBool(); }
  double Double(size_t i) const { return bound_[i]->ToDouble(); }
  std::vector<uint8_t> Bytes(size_t i) const { return bound_[i]->ToBytes(); }
  Ref<automation::Object> ObjectArg(size_t i) const { return bound_[i]->ToObject(); }

  // A by-reference parameter: reads the caller's value into a local of type T (Long, Boolean
  // or an enumeration), hands the member a pointer to it (null when the caller left the
  // parameter out) and writes the value back when it goes out of scope.
  template <class T>
  class Out {
   public:
    Out(const CallArgs& args, size_t i) {
      Variant* target = args.bound_[i];
      if (target->IsMissing() || !args.member_.params[i].by_ref || args.IsDefault(i)) return;
      target_ = target;
      if constexpr (std::is_same_v<T, bool>) {
        value_ = target->IsEmpty() ? false : target->ToBool();
      } else {
        value_ = static_cast<T>(target->IsEmpty() ? 0 : target->ToLong());
      }
    }
    ~Out() {
      if (!target_) return;
      if constexpr (std::is_same_v<T, bool>) {
        *target_ = Variant(value_);
      } else {
        *target_ = Variant(static_cast<int32_t>(value_));
      }
    }
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    T* get() { return target_ ? &value_ : nullptr; }

   private:
    Variant* target_ = nullptr;
    T value_{};
  };

  // True when parameter i holds the member's default rather than a caller's value.
  bool IsDefault(size_t i) const;
  void SetDefaultsStorage(std::vector<Variant>* defaults) { defaults_ = defaults; }

 private:
  const MemberInfo& member_;
  std::vector<Variant*> bound_;
  std::vector<Variant>* defaults_ = nullptr;
};

// Binds `args` to `member` (defaults for left-out optional parameters) and calls it on
// `self`. Throws support::Error for a raised error; returns the dispatch result code for a bad
// call (hr::kBadParamCount, hr::kParamNotOptional).
HResult CallMember(Object& self, const MemberInfo& member, const std::vector<Variant*>& args,
                   Variant* result);

}  // namespace automation
