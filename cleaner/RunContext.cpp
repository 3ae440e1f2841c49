#include "cleaner/RunContext.h"

namespace sweepwell {

void RunContext::OpenOutput(const std::string& log_file_name, Stopwatch* stopwatch) {
  Output = std::make_unique<COutput>(log_file_name, stopwatch, *file_system, DeleteToRecycleBin);
}

}  // namespace sweepwell
