// Loomscript: the small script engine that runs cleaning scripts.
//
// A host creates one ScriptEngine per run, loads a script file, adds its objects (each describes
// itself through Register) and calls Run. Run first checks the whole script against the
// registered objects and members, then executes its statements one by one: a property
// assignment is one InvokeProperty, a function call one InvokeFunction.
//
// Script text (UTF-8, a UTF-8 byte-order mark skipped; UTF-16 with a byte-order mark also read;
// lines end in LF, CR LF or a lone CR), one statement per line:
//
//   # a comment runs from # or // to the end of the line (outside strings)
//   cleaner.begin-group = "Temporary files"
//   cleaner.delete-to-recycle-bin = False
//   cleaner.by-age-set-days = 30
//   cleaner.done
//   cleaner.done()
//
// Names are letters, digits, '_' and '-', compared exactly. Values: a string in double quotes
// ("" stands for one quote; backslashes are plain; the bytes between the quotes pass through
// unchanged, except that a NUL byte is refused), a decimal number (30, -2, 2.5, +3, 1e3), True
// or False in any letter case. A control character outside a string (a binary file) is a
// syntax error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/file_system.h"

namespace loom {

// A script value: empty, text, number or truth value.
using Value = std::variant<std::monostate, std::string, double, bool>;

// What a property takes; the engine checks literal values against it before running.
enum ValueKind : int {
  kValueNumber = 0,   // a number, or text that reads as one; must fit a 32-bit integer
  kValueBoolean = 2,  // True, False, or a number (non-zero is true)
  kValueText = 3,     // anything; numbers and truth values are turned into text by the object
};                    // (any other number: the engine does not check the value)

// Why a value will not do: a clause in the program's own language (e.g. "нужно ..."), marked
// with N_ so that the catalogue translates it, with each "%s" filled by the next of `values`
// (names and pieces of the script, the same in every language).
struct ValueProblem {
  std::string message;
  std::vector<std::string> values;
  bool empty() const { return message.empty(); }
};

// A property's own check of a literal value, run with the engine's check before anything runs:
// empty when the value will do.
using ValueCheck = std::function<ValueProblem(const Value&)>;

// Filled by an object's Register: the members it answers to.
class ObjectInfo {
 public:
  void AddProperty(const std::string& name, int value_kind, ValueCheck check = nullptr);
  void AddFunction(const std::string& name);
  void SetObjectName(const std::string& name);  // ObjectName (set)

  struct Member {
    std::string name;
    bool is_function = false;
    int value_kind = kValueText;
    ValueCheck check;  // may be empty
  };
  const std::string& ObjectName() const { return object_name_; }
  const std::vector<Member>& Members() const { return members_; }

 private:
  std::string object_name_;
  std::vector<Member> members_;
};

// Handed to each invocation; an object that fails a call records the failure here.
class ScriptError {
 public:
  // Records that member `member_name` of `object_name` failed with the error `number`
  // and `description` (the error that was current when the object gave up).
  void SetObjectError(const std::string& object_name, const std::string& member_name,
                      int32_t number, const std::string& description);

  bool HasObjectError() const { return has_error_; }
  const std::string& ObjectName() const { return object_name_; }
  const std::string& MemberName() const { return member_name_; }
  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  bool has_error_ = false;
  std::string object_name_, member_name_, description_;
  int32_t number_ = 0;
};

// What a host implements for each object it hands to the engine.
class IScriptObject {
 public:
  virtual ~IScriptObject() = default;
  virtual bool Register(ObjectInfo& info) = 0;
  virtual bool InvokeFunction(const std::string& name, ScriptError& error) = 0;
  virtual bool InvokeProperty(const std::string& name, const Value& value, ScriptError& error) = 0;
};

// The last error of Run: one line naming the script file, the line and the column.
// Description is the program's own (Russian) text, the same in every locale: the form a log
// keeps and a caller may compare. ShownDescription is that line in the user's language (through
// the program's message catalogue, see support/ov_messages.h), for the console.
struct Error {
  std::string Description;
  std::string ShownDescription;
  std::string FileName;
  int Line = 0;
  int Column = 0;
};

class ScriptEngine;

// Why LoadFromFile returned false.
enum class LoadFailure {
  kNone,            // it loaded
  kCannotOpen,      // missing, or not to be opened (LoadError says why)
  kNotRegularFile,  // a folder, FIFO, device or socket: refused without waiting on it
  kCannotRead,      // a read failed (LoadError says why)
  kTooLarge,        // more than 16 MiB
  kNoStatement,     // nothing but blanks and comments
};

// The loaded script text.
class Script {
 public:
  // True when the file was read and holds at least one statement; false when it is missing,
  // unreadable, a folder, larger than 16 MiB, or holds nothing but blanks and comments.
  // Whether the statements are valid is Run's business: a line of garbage loads.
  // UTF-16 that breaks off (an odd byte count, an unpaired surrogate) loads, and Run then
  // reports the damaged place rather than guessing at the text.
  // Only a regular file is read: a FIFO with no writer, a terminal or a device would keep the
  // program waiting (or reading) for ever, so it is refused without a wait.
  // The file is read through `files` (the folder above its name opened once).
  bool LoadFromFile(const std::string& file_name,
                    platform::FileSystem& files = platform::RealFileSystem());
  const std::string& FileName() const { return file_name_; }
  // After a failed load: why, and for kCannotOpen and kCannotRead the Windows error code.
  loom::LoadFailure LoadFailure() const { return load_failure_; }
  uint32_t LoadError() const { return load_error_; }

 private:
  friend class ScriptEngine;
  std::string file_name_;
  std::string text_;  // UTF-8, byte-order mark removed
  bool loaded_ = false;
  std::size_t damaged_at_ = std::string::npos;  // offset in text_ of the first bad UTF-16 unit
  loom::LoadFailure load_failure_ = loom::LoadFailure::kNone;
  uint32_t load_error_ = 0;
};

// The objects the script can name.
class Objects {
 public:
  // Calls object->Register; false (and nothing added) when Register returns false or throws
  // support::Error, or when the object name is empty, taken, or not a name a script can write
  // (letters, digits, '_' and '-').
  bool Add(std::shared_ptr<IScriptObject> object);

 private:
  friend class ScriptEngine;
  struct Entry {
    std::shared_ptr<IScriptObject> object;
    ObjectInfo info;
  };
  std::vector<Entry> entries_;
};

class ScriptEngine {
 public:
  ScriptEngine();
  ~ScriptEngine();

  loom::Script& Script() { return script_; }
  loom::Objects& Objects() { return objects_; }
  const loom::Error& Error() const { return error_; }

  // Checks the whole script, then runs it. True when it ran to its end; false when it was not
  // loaded, did not pass the check (nothing has run then) or a statement failed (an object
  // returned false, or let a support::Error through); Error() then describes it. Any other
  // exception passes through unchanged (a host uses that to stop a run from outside).
  bool Run();

 private:
  loom::Script script_;
  loom::Objects objects_;
  loom::Error error_;
};

}  // namespace loom
