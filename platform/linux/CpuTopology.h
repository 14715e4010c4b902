// Which of the machine's CPUs are online and how they group into clusters: the one answer that
// both the window's title (core counts per performance level) and the root sampler (cluster
// entries) read, so the two can never disagree about a machine.
//
// Grouping, first that applies: the hybrid PMU lists (cpu_atom and cpu_lowpower are
// efficiency, cpu_core performance); else cpu_capacity, when every online CPU has one (ARM
// big.LITTLE); else each cpufreq policy's highest frequency; else one cluster of every CPU.
// Capacities and frequencies group alike: a value more than 15% above its group's first opens a
// new group, so favoured-core boosts stay in one cluster while big and little cores do not. An
// online CPU that the chosen source leaves out joins the fastest cluster, so every online CPU is
// counted exactly once.
//
// Plain functions over a root directory; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/SysfsReader.h"

namespace platform::linux_topology {

struct Cluster {
  std::string name;  // "E-Cluster", "P-Cluster", "P0-Cluster", ...
  std::vector<int> cpus;
};

// Online CPUs: the sysfs online list, else the per-CPU lines of /proc/stat. nullopt when neither
// names one.
std::optional<std::vector<int>> onlineCPUs(const linux_fs::Root& root);

// Clusters of `online` from slowest to fastest, named by clusterNames. Empty only when `online`
// is.
std::vector<Cluster> clusters(const linux_fs::Root& root, const std::vector<int>& online);

// The title's two performance levels: the first cluster is the efficiency level when there is
// more than one; every other cluster is the performance level.
struct PerfLevels {
  int performance = 0;  // level 0
  int efficiency = 0;   // level 1
};
PerfLevels perfLevels(const std::vector<Cluster>& clusters);

// Names for `count` clusters ordered from slowest to fastest: one is "P-Cluster", two are
// "E-Cluster" and "P-Cluster", more are "E-Cluster", "P0-Cluster", "P1-Cluster", ...
std::vector<std::string> clusterNames(size_t count);

// Indices of `values` grouped as described above, slowest group first. The application knows
// one efficiency and ten performance cluster names, so the fastest groups past eleven fold into
// the last.
std::vector<std::vector<size_t>> groupByMaximum(const std::vector<uint64_t>& values);

}  // namespace platform::linux_topology
