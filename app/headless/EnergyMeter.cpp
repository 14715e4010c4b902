#include "app/headless/EnergyMeter.h"

#include <cmath>

namespace headless {

double EnergyMeter::add(Clock::time_point at, const Watts& watts, double windowSeconds) {
  double held = std::isfinite(windowSeconds) && windowSeconds > 0 ? windowSeconds : 0;
  if (last_ && at > *last_ && at - *last_ <= maxInterval_)
    held = std::chrono::duration<double>(at - *last_).count();
  last_ = at;
  for (std::size_t d = 0; d < kDomains; ++d) {
    // NaN fails this test too, so a missing figure never poisons the total.
    if (watts[d] > 0) joules_[d] += watts[d] * held;
  }
  seconds_ += held;
  return held;
}

}  // namespace headless
