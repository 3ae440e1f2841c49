// The script object "cleaner": its write-only properties and functions are the cleaning
// commands. Assigning a property runs a command with the value; calling a function runs one
// without.
#pragma once

#include <string>
#include <vector>

#include "loom/loom.h"

namespace sweepwell {

class C_LOOM_cleaner : public loom::IScriptObject {
 public:
  // Sets DeleteToRecycleBin = true and GoBelowJunctions = false: every run starts with them.
  C_LOOM_cleaner();

  bool Register(loom::ObjectInfo& ObjectInfo) override;
  bool InvokeFunction(const std::string& Name, loom::ScriptError& ScriptError) override;
  bool InvokeProperty(const std::string& Name, const loom::Value& Value,
                      loom::ScriptError& ScriptError) override;
};

// The value conversions of the commands (raise error 13 for a value that does not convert,
// 6 for a number outside the 32-bit range).
std::string ValueToText(const loom::Value& value);
bool ValueToBoolean(const loom::Value& value);
int32_t ValueToLong(const loom::Value& value);

}  // namespace sweepwell
