// The cleaner tests' names for the shared file helpers.
#pragma once

#include "common/test_files.h"

namespace sweepwell::testing {
using orvanel::testing::QuietStdout;
using orvanel::testing::TempFolder;
}  // namespace sweepwell::testing
