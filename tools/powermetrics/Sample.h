// One sample as the document writer sees it, whatever produced it (the real machine or a sim
// profile). Every optional that is empty is left out of the document, which the application
// reads as "this machine has none".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sampler {

struct CpuSample {
  int cpu = 0;  // the kernel's CPU number, as in the per-CPU tick counters
  std::optional<double> freqHz;
  std::optional<double> idleRatio;  // 0..1 over the window
};

struct ClusterSample {
  std::string name;  // "E-Cluster", "P-Cluster", "P0-Cluster", ...
  std::optional<double> freqHz;
  std::optional<double> idleRatio;
  std::vector<CpuSample> cpus;
};

struct GpuSample {
  std::optional<double> freqMHz;  // the GPU entry's "freq_hz" is in megahertz
  std::optional<double> idleRatio;
  std::optional<double> energyMj;
};

struct Sample {
  int64_t elapsedNs = 0;
  std::string hwModel;
  // Energies over the window in millijoules; the combined power in milliwatts.
  std::optional<double> cpuEnergyMj;
  std::optional<double> gpuEnergyMj;
  std::optional<double> aneEnergyMj;
  std::optional<double> dramEnergyMj;
  std::optional<double> packageEnergyMj;
  std::optional<double> combinedPowerMw;
  // The energy entries left out above that the machine could not give, by entry name
  // ("cpu_energy", ...), with why: "no zone" (nothing measures it here) or "permission" (a
  // counter exists but only root may read it). Empty where every figure is there, and always
  // for a simulated Mac, whose sampler never says this.
  std::map<std::string, std::string> unreadEnergy;
  std::vector<ClusterSample> clusters;
  // Which reading the CPU frequencies came from ("cpufreq", "cpuinfo", a sim profile's
  // "profile"); empty when none.
  std::string cpuFreqSource;
  std::optional<GpuSample> gpu;  // only when the GPU sampler was asked for
};

}  // namespace sampler
