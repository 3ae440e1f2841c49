// What every harness shares: the locale set up once as the program sets it, a failed check that
// stops the run with a readable message, and small conversions for the checks.
#pragma once

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// The code pages come from the locale on first use, as in the programs: LC_ALL (run.sh sets a
// legacy Russian locale for a second pass over the code-page converters) decides them.
inline void SetUpLocale() { std::setlocale(LC_ALL, ""); }

// A broken promise of the parser: libFuzzer keeps the input that made it and stops.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

inline std::string_view AsChars(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz

// The sanitizer runtimes are shared libraries here (see CMakeLists.txt), and libFuzzer's own
// C++ runtime is listed before them; nothing in it replaces an allocator, so the order is
// harmless and the runtime is told not to refuse it.
extern "C" const char* __asan_default_options() { return "verify_asan_link_order=0"; }

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::Fail(#condition, __FILE__, __LINE__))
