// Per-CPU tick snapshots and the arithmetic the utilization model does on them: the difference
// of two snapshots, their average, and the per-cluster averages. Stateless and free of Qt, so
// every rule is tested on plain lists.
//
// CPU numbers are the kernel's own (cpuN of /proc/stat, the processor index on macOS), the same
// numbers the sampler's cluster lists use. A CPU that is offline is absent from a snapshot
// rather than shifting the numbers of the ones after it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

// The tick counters of one CPU, or the average or sum of several (cpuNum -1).
struct CPUUnitInfo {
  int64_t cpuNum = -1;
  double user = 0;
  double system = 0;
  double idle = 0;
  double nice = 0;

  // 1 - idle / (user + system + idle + nice): not a number when no ticks passed at all.
  double busyFraction() const { return 1 - idle / (user + system + idle + nice); }
};

using CPUSnapshot = std::vector<CPUUnitInfo>;
using ClusterCPUs = std::map<std::string, std::vector<int64_t>>;

// The kernel's per-CPU counters, in its order; empty when they cannot be read.
CPUSnapshot readCPUSnapshot(platform::ProcessorLoad& load);

// current - previous, CPU by CPU, when `previous` holds the same CPUs in the same order;
// otherwise (no previous snapshot, a CPU went on- or offline, the read failed) the current
// counters themselves, i.e. the ticks since the system started.
CPUSnapshot tickDeltas(const CPUSnapshot* previous, const CPUSnapshot& current);

// The mean of each counter (zeros for an empty list), cpuNum -1.
CPUUnitInfo averageTicks(const CPUSnapshot& deltas);

// For each cluster: the sums of the counters of its CPUs that `deltas` holds, divided by the
// length of its list (by 1 for an empty list). A listed CPU without an entry adds nothing.
std::map<std::string, CPUUnitInfo> clusterTicks(const CPUSnapshot& deltas,
                                                const ClusterCPUs& clusters);
