#include <string>
#include <vector>

#include "cleaner/modMain.h"
#include "platform/arguments.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "support/ov_messages.h"

int main(int argc, char** argv) {
  // Until the run has its log open there is nothing to finish properly, so a stop signal ends
  // the program at once, even while something at start keeps it waiting.
  platform::EndProcessOnStopSignals(sweepwell::kExitInterrupted);
  // The ANSI code page of the program is the locale's charset.
  platform::Initialize();
  // The messages follow the locale just taken.
  support::InitializeMessages();
  return sweepwell::Main(platform::ProgramArguments(argc, argv), argc > 0 ? argv[0] : "");
}
