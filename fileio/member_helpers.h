// Shorthands for writing the member tables of the library's classes.
#pragma once

#include <string>

#include "automation/member_table.h"

namespace quern::members {

using automation::CallArgs;
using automation::MemberKind;
using automation::Missing;
using automation::Object;
using automation::ParamInfo;
using automation::Variant;

// Dispatch ids: slot n of an interface gets 0x60030000 + n (the numbering of the tool the
// interfaces were first described with); Item and NewEnum keep 0 and -4.
constexpr automation::DispId Slot(int n) { return 0x60030000 + n; }

inline ParamInfo Required(std::string name, std::string type) {
  return {std::move(name), std::move(type), false, Missing{}, false};
}
inline ParamInfo Optional(std::string name, std::string type, Variant default_value = Missing{}) {
  return {std::move(name), std::move(type), true, std::move(default_value), false};
}
inline ParamInfo RequiredByRef(std::string name, std::string type) {
  return {std::move(name), std::move(type), false, Missing{}, true};
}
inline ParamInfo OptionalByRef(std::string name, std::string type) {
  return {std::move(name), std::move(type), true, Missing{}, true};
}

inline Variant Long(int32_t value) { return Variant(value); }

}  // namespace quern::members
