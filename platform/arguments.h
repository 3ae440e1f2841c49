// The program's command line.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments after the program's name. On Linux they are argv as the kernel gave them
// (bytes); on Windows they are read from the UTF-16 command line (CommandLineToArgvW) and given
// in UTF-8, so a script path outside the ANSI code page still reaches the program (argv there
// holds only what the ANSI code page can show).
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
