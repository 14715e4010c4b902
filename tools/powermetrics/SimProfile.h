// The part of a sim profile that the sampler reports: a virtual Mac's clusters and the ranges
// its powers and GPU frequency move in.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shared/plist/Plist.h"

namespace sampler {

struct SimCluster {
  std::string name;
  std::vector<int> cpus;
  double minHz = 0;
  double maxHz = 0;
};

using PowerRange = std::pair<double, double>;  // watts, lowest and highest

struct SimProfile {
  std::string hwModel;
  // From system version 13 on the sampler reports the package as "combined_power" and no DRAM
  // energy; before it, "package_energy" and "dram_energy".
  bool combinedPower = true;
  std::vector<SimCluster> clusters;
  std::optional<PowerRange> cpuPowerW;
  std::optional<PowerRange> gpuPowerW;
  std::optional<PowerRange> anePowerW;
  std::optional<PowerRange> dramPowerW;
  std::optional<double> gpuMinMHz;
  std::optional<double> gpuMaxMHz;
};

// Reads what the sampler needs from a parsed profile. Entries of the wrong shape are skipped,
// as a profile's missing keys mean "this machine has none". A missing or unreadable
// "osVersion" counts as a current system.
SimProfile simProfileFrom(const plist::Value& profile);

// Loads and parses a profile file (at most 4 MiB). nullopt with a reason in `error` when the
// file cannot be read or is not a property-list dictionary.
std::optional<SimProfile> loadSimProfile(const std::string& path, std::string& error);

// The major number of a version text such as "13.4.1"; nullopt when it does not start with one.
std::optional<int> majorVersion(const std::string& version);

}  // namespace sampler
