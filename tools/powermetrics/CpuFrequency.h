// Which CPUs form which cluster, and how fast they run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/linux/SysfsReader.h"

namespace sampler {

struct Cluster {
  std::string name;
  std::vector<int> cpus;
};

// Clusters in report order (efficiency first). Membership comes from the hybrid PMU lists
// (cpu_atom = efficiency, cpu_core = performance), else from cpufreq policies grouped by their
// highest frequency, else one "P-Cluster" of every CPU. Only CPUs in `online` are reported.
std::vector<Cluster> discoverClusters(const platform::linux_fs::Root& tree,
                                      const std::vector<int>& online);

// Names for `count` clusters ordered from slowest to fastest: one is "P-Cluster", two are
// "E-Cluster" and "P-Cluster", more are "E-Cluster", "P0-Cluster", "P1-Cluster", ...
std::vector<std::string> clusterNames(size_t count);

// Groups sorted highest frequencies: a value more than 15% above the group's first opens a new
// group. Favoured-core boosts (a few percent) stay in one cluster; big and little cores do not.
std::vector<std::vector<size_t>> groupByMaxFrequency(const std::vector<uint64_t>& maxKHz);

// Online CPUs from the tree: /proc/stat's cpuN lines when present, else the sysfs online list.
std::vector<int> onlineCpus(const platform::linux_fs::Root& tree,
                            const std::vector<int>& fromProcStat);

// Current frequency of each CPU in hertz: cpufreq's scaling_cur_freq (kHz), else the "cpu MHz"
// lines of /proc/cpuinfo (x86, virtual machines included). CPUs without a reading are absent.
std::map<int, double> cpuFrequenciesHz(const platform::linux_fs::Root& tree,
                                       const std::vector<int>& cpus);

}  // namespace sampler
