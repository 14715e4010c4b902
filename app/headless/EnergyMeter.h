// Energy from a series of power samples: each sample's power is held for the real time since the
// sample before it, so the energy covers the whole run, not just the sampler's windows (a 500 ms
// window once a second would otherwise count half the energy). Used by every command without a
// window that reports energy.
//
// The total only ever grows: a power that is not a number or is negative adds nothing. After a
// gap longer than `maxInterval` (the helper was lost, the machine slept) the power is held only
// for the sampler's own window, since nothing is known about the time in between.
//
// Threads: a plain value; use it from one thread.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

namespace headless {

class EnergyMeter {
 public:
  using Clock = std::chrono::steady_clock;

  // The power domains, in the order of every array here.
  enum Domain : std::size_t { Package, CPU, GPU, DRAM };
  static constexpr std::size_t kDomains = 4;
  using Watts = std::array<double, kDomains>;

  explicit EnergyMeter(std::chrono::milliseconds maxInterval = std::chrono::milliseconds(3000))
      : maxInterval_(maxInterval) {}

  // One sample taken at `at` with `windowSeconds` of sampling behind it. The first sample, and
  // one after a gap, counts for its window alone. Returns the seconds it was held for.
  double add(Clock::time_point at, const Watts& watts, double windowSeconds);

  double joules(Domain domain) const { return joules_[domain]; }
  const std::array<double, kDomains>& joules() const { return joules_; }
  // Seconds covered so far: the sum of the intervals that add() returned.
  double seconds() const { return seconds_; }

 private:
  const std::chrono::milliseconds maxInterval_;
  std::optional<Clock::time_point> last_;
  std::array<double, kDomains> joules_{};
  double seconds_ = 0;
};

}  // namespace headless
