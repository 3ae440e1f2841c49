// The script engine over arbitrary bytes: loading (byte-order marks, UTF-16 decoding), the
// scanner and parser, and the check of every statement against the registered objects.
//
// The bytes are written to a file and loaded as a script, and the script is run against an
// object with the cleaner's member table whose members never fail. For any input:
// - a file with no statement does not load, and Run then says so without a position;
// - a script either runs to its end, calling the object once or more, or stops in the check
//   before any call, with an error that names the file, a line and a column (both 1 or more,
//   the line no further than the text has lines), in one line of valid UTF-8;
// - nothing crashes, reads out of bounds or hangs (libFuzzer's -timeout).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "loom/loom.h"
#include "tests/common/valid_utf8.h"

namespace {

// The cleaner's members (names and value kinds), so that the example scripts among the seeds
// pass the check and the fuzzer reaches the value checks behind it.
class CleanerLike : public loom::IScriptObject {
 public:
  bool Register(loom::ObjectInfo& info) override {
    for (const char* name : {"done", "by-mask-clear-masks", "by-list-clear-files-list"}) {
      info.AddFunction(name);
    }
    info.AddProperty("begin-group", loom::kValueText);
    info.AddProperty("delete-to-recycle-bin", loom::kValueBoolean);
    info.AddProperty("go-below-junctions", loom::kValueBoolean);
    info.AddProperty("by-age-set-days", loom::kValueNumber);
    info.AddProperty("by-mask-add-mask", loom::kValueText);
    info.AddProperty("by-list-delete-files", loom::kValueText);
    for (const char* name :
         {"delete-files", "delete-files-recursive", "delete-folder", "create-folder",
          "by-mask-delete-files", "by-mask-delete-files-recursive", "by-list-add-files-list",
          "by-list-add-files-list-recursive", "by-age-delete-files",
          "by-age-delete-files-recursive", "delete-empty-folders", "delete-empty-folders-recursive",
          "delete-empty-folders-with-base", "delete-empty-folders-with-base-recursive",
          "delete-junctions", "delete-junctions-recursive", "delete-junctions-with-base",
          "delete-junctions-with-base-recursive"}) {
      info.AddProperty(name, loom::kValueText);
      info.AddProperty(std::string(name) + "-long", loom::kValueText);
    }
    info.SetObjectName("cleaner");
    return true;
  }
  bool InvokeFunction(const std::string&, loom::ScriptError&) override {
    ++calls;
    return true;
  }
  bool InvokeProperty(const std::string&, const loom::Value&, loom::ScriptError&) override {
    ++calls;
    return true;
  }
  int calls = 0;
};

// The script file of this process, rewritten for every input.
const std::string& ScriptPath() {
  static const std::string path = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/script-fuzz-XXXXXX";
    const int handle = mkstemp(pattern.data());
    if (handle < 0) std::abort();
    close(handle);
    return pattern;
  }();
  return path;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  std::fclose(file);
}

// Lines in the decoded text are at most the raw line breaks plus one; UTF-16 has half as many
// bytes per character, so counting breaks in the raw bytes is an upper bound either way.
int MaxLines(std::string_view bytes) {
  int lines = 1;
  for (char c : bytes) lines += c == '\n' || c == '\r';
  return lines;
}

using orvanel::testing::IsValidUtf8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool locale_set = (fuzz::SetUpLocale(), true);
  (void)locale_set;
  const std::string_view bytes = fuzz::AsChars(data, size);
  const std::string& path = ScriptPath();
  WriteFile(path, bytes);

  loom::ScriptEngine engine;
  auto object = std::make_shared<CleanerLike>();
  FUZZ_CHECK(engine.Objects().Add(object));
  const bool loaded = engine.Script().LoadFromFile(path);
  const bool ran = engine.Run();
  const loom::Error& error = engine.Error();

  if (!loaded) {
    FUZZ_CHECK(!ran);
    FUZZ_CHECK(object->calls == 0);
    FUZZ_CHECK(error.Line == 0);
    return 0;
  }
  if (ran) {
    FUZZ_CHECK(object->calls >= 1);
    return 0;
  }
  // The object never fails, so the run stopped in the check, before the first call.
  FUZZ_CHECK(object->calls == 0);
  FUZZ_CHECK(error.Line >= 1 && error.Line <= MaxLines(bytes));
  FUZZ_CHECK(error.Column >= 1 && static_cast<size_t>(error.Column) <= size + 1);
  const std::string place = "\", строка " + std::to_string(error.Line) + ", столбец " +
                            std::to_string(error.Column) + ": ";
  FUZZ_CHECK(error.Description.rfind("Ошибка в скрипте \"", 0) == 0);
  FUZZ_CHECK(error.Description.find(place) != std::string::npos);
  FUZZ_CHECK(error.Description.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(IsValidUtf8(error.Description));
  return 0;
}
