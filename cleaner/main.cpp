#include <clocale>
#include <string>
#include <vector>

#include "cleaner/modMain.h"

int main(int argc, char** argv) {
  // The ANSI code page of the program is the locale's charset.
  std::setlocale(LC_ALL, "");
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return sweepwell::Main(arguments, argc > 0 ? argv[0] : "");
}
