// The cleaner tests' names for the shared file helpers.
#pragma once

#include "common/test_files.h"

namespace sweepwell::testing {
using orvanel::testing::QuietStdout;
using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
}  // namespace sweepwell::testing
