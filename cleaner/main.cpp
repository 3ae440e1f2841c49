#include <clocale>
#include <string>
#include <vector>

#include "cleaner/modMain.h"
#include "platform/arguments.h"

int main(int argc, char** argv) {
  // The ANSI code page of the program is the locale's charset.
  std::setlocale(LC_ALL, "");
  return sweepwell::Main(platform::ProgramArguments(argc, argv));
}
