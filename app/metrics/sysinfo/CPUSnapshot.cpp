#include "app/metrics/sysinfo/CPUSnapshot.h"

#include <algorithm>

CPUSnapshot readCPUSnapshot(platform::ProcessorLoad& load) {
  const std::vector<platform::CPUTicks> ticks = load.read();
  CPUSnapshot snapshot;
  snapshot.reserve(ticks.size());
  for (const platform::CPUTicks& t : ticks) {
    snapshot.push_back({t.cpuNum, static_cast<double>(t.user), static_cast<double>(t.system),
                        static_cast<double>(t.idle), static_cast<double>(t.nice)});
  }
  return snapshot;
}

CPUSnapshot tickDeltas(const CPUSnapshot* previous, const CPUSnapshot& current) {
  const bool sameCPUs =
      previous && previous->size() == current.size() &&
      std::equal(previous->begin(), previous->end(), current.begin(),
                 [](const CPUUnitInfo& a, const CPUUnitInfo& b) { return a.cpuNum == b.cpuNum; });
  if (!sameCPUs) return current;
  CPUSnapshot deltas;
  deltas.reserve(current.size());
  for (size_t i = 0; i < current.size(); ++i) {
    const CPUUnitInfo& now = current[i];
    const CPUUnitInfo& before = (*previous)[i];
    deltas.push_back({now.cpuNum, now.user - before.user, now.system - before.system,
                      now.idle - before.idle, now.nice - before.nice});
  }
  return deltas;
}

CPUUnitInfo averageTicks(const CPUSnapshot& deltas) {
  CPUUnitInfo sum;
  for (const CPUUnitInfo& d : deltas) {
    sum.user += d.user;
    sum.system += d.system;
    sum.idle += d.idle;
    sum.nice += d.nice;
  }
  const double n = deltas.empty() ? 1 : static_cast<double>(deltas.size());
  return {-1, sum.user / n, sum.system / n, sum.idle / n, sum.nice / n};
}

std::map<std::string, CPUUnitInfo> clusterTicks(const CPUSnapshot& deltas,
                                                const ClusterCPUs& clusters) {
  std::map<std::string, CPUUnitInfo> result;
  for (const auto& [name, cpus] : clusters) {
    CPUUnitInfo sum;
    for (int64_t n : cpus) {
      auto it = std::find_if(deltas.begin(), deltas.end(),
                             [n](const CPUUnitInfo& d) { return d.cpuNum == n; });
      if (it == deltas.end()) continue;
      sum.user += it->user;
      sum.system += it->system;
      sum.idle += it->idle;
      sum.nice += it->nice;
    }
    const double count = cpus.empty() ? 1 : static_cast<double>(cpus.size());
    result[name] = {-1, sum.user / count, sum.system / count, sum.idle / count, sum.nice / count};
  }
  return result;
}
