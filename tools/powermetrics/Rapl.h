// Energy counters of the running-average power limit interface, read through powercap sysfs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/SysfsReader.h"

namespace sampler {

enum class RaplKind { Package, Core, Uncore, Dram, Psys };

struct RaplZone {
  RaplKind kind = RaplKind::Package;
  std::string dir;  // relative to the tree's root
  std::optional<uint64_t> maxEnergyRangeUj;
};

// Zones by their "name" files (package-N, core, uncore, dram, psys). The MMIO copies of the
// package zones are used only when the MSR interface offers none, so no energy counts twice.
std::vector<RaplZone> findRaplZones(const platform::linux_fs::Root& tree);

// energy_uj of each zone, in the order of findRaplZones; unreadable counters stay empty (the
// files are root-only on current kernels).
std::vector<std::optional<uint64_t>> readRaplCounters(const platform::linux_fs::Root& tree,
                                                      const std::vector<RaplZone>& zones);

// Microjoules between two readings of one counter, across one wrap at maxRange. nullopt when
// the readings cannot come from one counter that wrapped at most once.
std::optional<uint64_t> counterDelta(uint64_t before, uint64_t after,
                                     std::optional<uint64_t> maxRange);

struct RaplEnergies {
  std::optional<double> packageMj;  // all packages together
  std::optional<double> coreMj;
  std::optional<double> uncoreMj;
  std::optional<double> dramMj;
};

// Sums each kind over its zones; a kind is left out unless every one of its zones gave a delta,
// since a partial sum would read as a plausible but wrong figure.
RaplEnergies raplEnergies(const std::vector<RaplZone>& zones,
                          const std::vector<std::optional<uint64_t>>& before,
                          const std::vector<std::optional<uint64_t>>& after);

// Why a kind has no energy figure over a window whose readings were `before` and `after`:
// "permission" when one of its counters exists but cannot be read (root-only files), "no zone"
// when the machine has no zone of that kind or its counter is gone, and "no reading" otherwise
// (a counter that wrapped past its range, or came within the window).
std::string raplUnreadReason(const platform::linux_fs::Root& tree,
                             const std::vector<RaplZone>& zones, RaplKind kind,
                             const std::vector<std::optional<uint64_t>>& before,
                             const std::vector<std::optional<uint64_t>>& after);

bool hasRaplZone(const std::vector<RaplZone>& zones, RaplKind kind);

}  // namespace sampler
