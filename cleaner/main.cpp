#include <string>
#include <vector>

#include "cleaner/modMain.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // First of all: the ANSI code page of the program is the locale's charset.
  platform::Initialize();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return sweepwell::Main(arguments, argc > 0 ? argv[0] : "");
}
