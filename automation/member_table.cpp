#include "automation/member_table.h"

#include <cstdio>

#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace automation {

std::string GuidToString(const Guid& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

std::optional<Guid> ParseGuid(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  uint8_t bytes[16];
  size_t count = 0;
  for (size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int value = 0;
    for (int half = 0; half < 2; ++half, ++i) {
      char c = text[i];
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes[count++] = static_cast<uint8_t>(value);
  }
  Guid guid;
  guid.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (bytes[2] << 8) | bytes[3];
  guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}

namespace {

std::string DefaultText(const Variant& value) {
  if (value.type() == VarType::kString) return "\"" + support::Utf8FromUtf16(value.String()) + "\"";
  return support::Utf8FromUtf16(value.ToString());
}

}  // namespace

std::string MemberInfo::Signature() const {
  std::string text = name;
  if (!params.empty() || kind == MemberKind::kMethod) text += "(";
  for (size_t i = 0; i < params.size(); ++i) {
    const ParamInfo& param = params[i];
    if (i) text += ", ";
    if (param.optional) text += "[";
    if (param.by_ref) text += "ByRef ";
    text += param.name + " As " + param.type;
    if (param.optional && !param.default_value.IsMissing()) {
      text += " = " + DefaultText(param.default_value);
    }
    if (param.optional) text += "]";
  }
  if (!params.empty() || kind == MemberKind::kMethod) text += ")";
  if (!result_type.empty()) text += " As " + result_type;
  return text;
}

ClassInfo DescribeClass(std::string name, const Guid& clsid, const Guid& iid, bool creatable,
                        std::string description, std::vector<MemberInfo> members,
                        Object* (*create)()) {
  ClassInfo c;
  c.interface_name = "_" + name;
  c.name = std::move(name);
  c.clsid = clsid;
  c.iid = iid;
  c.creatable = creatable;
  c.description = std::move(description);
  c.members = std::move(members);
  c.create = create;
  return c;
}

const MemberInfo* ClassInfo::FindByName(std::string_view member) const {
  for (const MemberInfo& info : members) {
    if (support::EqualsIgnoringAsciiCase(info.name, member)) return &info;
  }
  return nullptr;
}

const MemberInfo* ClassInfo::FindById(DispId id) const {
  for (const MemberInfo& info : members) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

const ClassInfo* TypeLibrary::FindClass(std::string_view class_name) const {
  for (const ClassInfo* info : classes) {
    if (support::EqualsIgnoringAsciiCase(info->name, class_name)) return info;
  }
  return nullptr;
}

const ClassInfo* TypeLibrary::FindClass(const Guid& clsid) const {
  for (const ClassInfo* info : classes) {
    if (info->clsid == clsid) return info;
  }
  return nullptr;
}

bool CallArgs::IsDefault(size_t i) const {
  if (!defaults_ || defaults_->empty()) return false;
  const Variant* slot = bound_[i];
  return slot >= defaults_->data() && slot < defaults_->data() + defaults_->size();
}

HResult CallMember(Object& self, const MemberInfo& member, const std::vector<Variant*>& args,
                   Variant* result) {
  const auto& params = member.params;
  if (args.size() > params.size()) return hr::kBadParamCount;
  std::vector<Variant> defaults(params.size());
  std::vector<Variant*> bound(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    if (i < args.size() && args[i] && !args[i]->IsMissing()) {
      bound[i] = args[i];
      continue;
    }
    if (!params[i].optional) return hr::kParamNotOptional;
    defaults[i] = params[i].default_value;
    bound[i] = &defaults[i];
  }
  CallArgs call(member, std::move(bound));
  call.SetDefaultsStorage(&defaults);
  *result = member.invoke(self, call);
  return hr::kOk;
}

}  // namespace automation
