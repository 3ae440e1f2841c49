// Shared by the Loomscript tests: a scriptable object that records what the engine asks of
// it, and a fixture with a temporary folder for script files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "loom/loom.h"
#include "support/ov_error.h"

namespace loom_test {

// The exception a host would throw to stop a run from outside (Ctrl+C).
struct StopRun {};

// Registers a small cleaner-like member table and records every call.
class FakeObject : public loom::IScriptObject {
 public:
  struct Call {
    std::string member;
    bool is_function = false;
    loom::Value value;
  };

  explicit FakeObject(std::string name = "cleaner") : name_(std::move(name)) {}

  bool Register(loom::ObjectInfo& info) override {
    info.AddFunction("done");
    info.AddFunction("by-mask-clear-masks");
    info.AddProperty("begin-group", loom::kValueText);
    info.AddProperty("delete-files", loom::kValueText);
    info.AddProperty("delete-to-recycle-bin", loom::kValueBoolean);
    info.AddProperty("by-age-set-days", loom::kValueNumber);
    info.SetObjectName(name_);
    return true;
  }

  bool InvokeFunction(const std::string& name, loom::ScriptError& error) override {
    calls.push_back(Call{name, true, {}});
    return React(name, error);
  }

  bool InvokeProperty(const std::string& name, const loom::Value& value,
                      loom::ScriptError& error) override {
    calls.push_back(Call{name, false, value});
    return React(name, error);
  }

  std::vector<Call> calls;
  std::string fail_on;           // returns false after SetObjectError(13, ...)
  std::string fail_silently_on;  // returns false without telling why
  std::string raise_on;          // throws support::Error(70, ...)
  std::string stop_on;           // throws StopRun

 private:
  bool React(const std::string& name, loom::ScriptError& error) {
    if (name == fail_on) {
      error.SetObjectError(name_, name, 13, "Несоответствие типа");
      return false;
    }
    if (name == fail_silently_on) return false;
    if (name == raise_on) throw support::Error(70, "Отказано в доступе", "cleaner");
    if (name == stop_on) throw StopRun();
    return true;
  }

  std::string name_;
};

// A fresh temporary folder per test, removed afterwards.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/loom-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Writes `bytes` to a file in the temporary folder and returns its path.
  std::string WriteScript(const std::string& bytes, const std::string& name = "a.loom") {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  // Loads `bytes` as a script into the fixture's engine with one FakeObject named "cleaner".
  bool Load(const std::string& bytes) {
    path_ = WriteScript(bytes);
    if (!object_added_ && !engine_.Objects().Add(object_)) {
      ADD_FAILURE() << "the fake object was refused";
    }
    object_added_ = true;
    return engine_.Script().LoadFromFile(path_);
  }

  // Loads and runs; a script that does not load is a test failure.
  bool Run(const std::string& bytes) {
    if (!Load(bytes)) {
      ADD_FAILURE() << "script did not load";
      return false;
    }
    return engine_.Run();
  }

  const std::vector<FakeObject::Call>& calls() const { return object_->calls; }
  const loom::Error& error() const { return engine_.Error(); }

  std::string dir_;
  std::string path_;
  loom::ScriptEngine engine_;
  std::shared_ptr<FakeObject> object_ = std::make_shared<FakeObject>();
  bool object_added_ = false;
};

}  // namespace loom_test
