// ProbeServer.dll: a component DLL of one small class, so registration, the class factory and
// script clients are checked against a library whose whole table the test controls.
#include "automation/member_table.h"
#include "support/ov_error.h"

namespace {

using automation::CallArgs;
using automation::MemberKind;
using automation::Missing;
using automation::Object;
using automation::ParamInfo;
using automation::Variant;

constexpr automation::DispId Slot(int n) { return 0x60030000 + n; }

class Probe : public Object {
 public:
  static const automation::ClassInfo& Class() {
    using K = MemberKind;
    static const automation::ClassInfo info = automation::DescribeClass(
        "Probe", {0x7D2E4C11, 0x5A0B, 0x4E6F, {0x9C, 0x3D, 0x21, 0x42, 0x63, 0x84, 0xA5, 0xC6}},
        {0x7D2E4C12, 0x5A0B, 0x4E6F, {0x9C, 0x3D, 0x21, 0x42, 0x63, 0x84, 0xA5, 0xC6}}, true,
        "A class for the tests of the COM bridge",
        {
            {"Add",
             Slot(0),
             K::kMethod,
             {{"A", "Long", false, Missing{}, false},
              {"B", "Long", true, Variant(int32_t{1}), false}},
             "Long",
             "",
             false,
             [](Object&, CallArgs& a) { return Variant(a.Long(0) + a.Long(1)); }},
            {"Fail",
             Slot(1),
             K::kMethod,
             {{"Number", "Long", false, Missing{}, false}},
             "",
             "",
             false,
             [](Object&, CallArgs& a) -> Variant {
               throw support::Error(a.Long(0), "Probe failed", "Probe");
             }},
        },
        automation::NewObject<Probe>);
    return info;
  }
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }
};

}  // namespace

namespace automation::com {
const TypeLibrary& ModuleLibrary() {
  static const TypeLibrary library = [] {
    TypeLibrary l;
    l.name = "ProbeServer";
    l.libid = {0x7D2E4C10, 0x5A0B, 0x4E6F, {0x9C, 0x3D, 0x21, 0x42, 0x63, 0x84, 0xA5, 0xC6}};
    l.classes = {&Probe::Class()};
    return l;
  }();
  return library;
}
}  // namespace automation::com
