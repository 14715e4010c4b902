// What a virtual Mac described by a sim profile would report. Values move inside the profile's
// ranges with the host's own CPU load over the window, so the graphs follow real activity.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "tools/powermetrics/LinuxSampler.h"
#include "tools/powermetrics/ProcStat.h"
#include "tools/powermetrics/Sample.h"
#include "tools/powermetrics/SimProfile.h"

namespace sampler {

// Busy shares (0..1) of the host over the window; absent shares count as idle.
struct HostLoad {
  double overall = 0;
  std::vector<double> perCpu;  // in CPU-number order
};

HostLoad hostLoad(const ProcStat& before, const ProcStat& after);

// A small deterministic generator (splitmix64), so a seed gives the same figures everywhere.
class SimRandom {
 public:
  explicit SimRandom(uint64_t seed) : state_(seed) {}
  double uniform();  // [0, 1)
  // A symmetric jitter in [-spread, spread).
  double jitter(double spread) { return (uniform() * 2 - 1) * spread; }

 private:
  uint64_t state_;
};

Sample simulate(const SimProfile& profile, const HostLoad& load, int64_t elapsedNs, bool includeGpu,
                SimRandom& random);

struct SimOptions {
  std::filesystem::path root = "/";  // where the host's /proc/stat is read
  bool includeGpu = false;
  std::optional<uint64_t> seed;  // none: a fresh seed per run
};

Sample sampleSim(const SimProfile& profile, const SimOptions& options, int64_t intervalMs,
                 const WindowFn& window);

}  // namespace sampler
