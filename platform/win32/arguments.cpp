#include "platform/arguments.h"

#include "platform/win32/internal.h"

namespace platform {

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> result;
  if (arguments == nullptr) return result;
  for (int i = 1; i < count; ++i) result.push_back(win32::Utf8(arguments[i]));
  LocalFree(arguments);
  return result;
}

}  // namespace platform
