#include <string>
#include <vector>

#include "cleaner/modMain.h"
#include "platform/arguments.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // First of all: the ANSI code page of the program is the locale's charset.
  platform::Initialize();
  return sweepwell::Main(platform::ProgramArguments(argc, argv));
}
