// Temperatures of the virtual chip that follow its load: each profile temperature is the idle
// value, and the chip warms by up to kFullLoadRise degrees as its CPUs get busy (the load is the
// busy share of all virtual CPUs' ticks since the previous reading). So the graphs move while the
// host works, and stay at the profile's values on an idle host or without a host load.
//
// Not thread-safe: the platform's SMC and HID reads run on the main thread.
#pragma once

#include <vector>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"

namespace platform::sim {

class SimThermal {
 public:
  static constexpr double kFullLoadRise = 20.0;

  explicit SimThermal(ProcessorLoad& load) : load_(load) {}

  // The busy fraction (0 to 1) since the previous call; the previous fraction when no time
  // passed or the ticks cannot be read.
  double sampleLoad();
  // An idle temperature warmed for `load`.
  static double warmed(double idle, double load) { return idle + kFullLoadRise * load; }
  // The keys with every "flt " and "fpe2" temperature key (first character "T") warmed.
  static std::vector<SMCKey> warmedKeys(const std::vector<SMCKey>& keys, double load);

 private:
  ProcessorLoad& load_;
  std::vector<CPUTicks> previous_;
  double loadFraction_ = 0;
};

}  // namespace platform::sim
