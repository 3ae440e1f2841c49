// The objects a script can name, and what they tell the engine about themselves.
#include <algorithm>
#include <utility>

#include "loom/loom.h"
#include "support/ov_error.h"

namespace loom {
namespace {

// An object the script could never write the name of is a host mistake; better refused at
// Add than reported as an "unknown object" for every line of the script.
bool IsScriptName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
}

}  // namespace

void ObjectInfo::AddProperty(const std::string& name, int value_kind, ValueCheck check) {
  members_.push_back(Member{name, false, value_kind, std::move(check)});
}

void ObjectInfo::AddFunction(const std::string& name) {
  members_.push_back(Member{name, true, kValueText, nullptr});
}

void ObjectInfo::SetObjectName(const std::string& name) { object_name_ = name; }

void ScriptError::SetObjectError(const std::string& object_name, const std::string& member_name,
                                 int32_t number, const std::string& description) {
  has_error_ = true;
  object_name_ = object_name;
  member_name_ = member_name;
  number_ = number;
  description_ = description;
}

bool Objects::Add(std::shared_ptr<IScriptObject> object) {
  if (!object) return false;
  ObjectInfo info;
  try {
    if (!object->Register(info)) return false;
  } catch (const support::Error&) {
    return false;
  }
  const std::string& name = info.ObjectName();
  if (!IsScriptName(name)) return false;
  for (const Entry& entry : entries_) {
    if (entry.info.ObjectName() == name) return false;
  }
  entries_.push_back(Entry{std::move(object), std::move(info)});
  return true;
}

}  // namespace loom
