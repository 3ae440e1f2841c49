// The script object "cleaner": its write-only properties and functions are the cleaning
// commands. Assigning a property runs a command with the value; calling a function runs one
// without. Every command acts on the run the object was made for.
#pragma once

#include <string>
#include <vector>

#include "loom/loom.h"

namespace sweepwell {

struct RunContext;

class C_LOOM_cleaner : public loom::IScriptObject {
 public:
  // Sets run.DeleteToRecycleBin = true and run.GoBelowJunctions = false: every run starts with
  // them. The run (its output open) must outlive the object.
  explicit C_LOOM_cleaner(RunContext& run);

  bool Register(loom::ObjectInfo& ObjectInfo) override;
  bool InvokeFunction(const std::string& Name, loom::ScriptError& ScriptError) override;
  bool InvokeProperty(const std::string& Name, const loom::Value& Value,
                      loom::ScriptError& ScriptError) override;

 private:
  RunContext& run_;
};

// The value conversions of the commands (raise error 13 for a value that does not convert,
// 6 for a number outside the 32-bit range).
std::string ValueToText(const loom::Value& value);
bool ValueToBoolean(const loom::Value& value);
int32_t ValueToLong(const loom::Value& value);

}  // namespace sweepwell
