// The free description of the program that the about text shows.
#pragma once

#include <string>

namespace sweepwell {

// A few paragraphs in Russian (UTF-8), lines ended by "\n", no trailing blank line.
std::string ProgramDescription();

}  // namespace sweepwell
