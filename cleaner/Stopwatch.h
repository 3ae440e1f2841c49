// Measures the duration of a run.
#pragma once

#include "platform/platform.h"

namespace sweepwell {

struct Stopwatch {
  void Start() { started = platform::MonotonicSeconds(), stopped = started; }
  void Stop() { stopped = platform::MonotonicSeconds(); }
  double Elapsed() const { return stopped - started; }  // seconds

  double started = 0;
  double stopped = 0;
};

}  // namespace sweepwell
