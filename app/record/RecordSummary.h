// The figures `ferrolux record` ends with: for package, CPU, GPU and DRAM power the average, the
// peak and the energy, over every sample of the recording. Energy comes from the headless
// EnergyMeter, so each sample's power is held for the real time since the sample before it; the
// average is that energy over the time the domain had a reading, so uneven intervals weigh as
// they should and a domain the sampler does not report stays "n/a" instead of reading 0 W.
//
// Threads: a plain value; use it from one thread.
#pragma once

#include <array>
#include <string>

#include "app/headless/EnergyMeter.h"

namespace record {

class RecordSummary {
 public:
  using Clock = headless::EnergyMeter::Clock;
  using Watts = headless::EnergyMeter::Watts;
  static constexpr std::size_t kDomains = headless::EnergyMeter::kDomains;

  // One sample taken at `at`, with `windowSeconds` of sampling behind it.
  void add(Clock::time_point at, const Watts& watts, double windowSeconds);

  int samples() const { return samples_; }
  // Seconds the samples cover: the sum of the intervals each one was held for.
  double coveredSeconds() const { return meter_.seconds(); }
  double joules(std::size_t domain) const { return meter_.joules()[domain]; }
  // NaN while the domain has had no reading.
  double averageWatts(std::size_t domain) const;
  double peakWatts(std::size_t domain) const;

  // The summary block for the terminal: a first line with the recording's length, the samples
  // and the time they cover, then a table of the four domains. Numbers in the C locale.
  std::string text(double recordedSeconds) const;

 private:
  headless::EnergyMeter meter_;
  std::array<double, kDomains> heldSeconds_{};
  std::array<double, kDomains> peak_{};
  std::array<bool, kDomains> seen_{};
  int samples_ = 0;
};

}  // namespace record
