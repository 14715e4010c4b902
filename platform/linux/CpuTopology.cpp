#include "platform/linux/CpuTopology.h"

#include <algorithm>
#include <set>

#include "platform/linux/LinuxProcessorLoad.h"

namespace platform::linux_topology {
namespace {

using linux_fs::Root;

std::optional<std::vector<int>> cpuList(const Root& root, std::string_view path) {
  auto text = root.readLine(path);
  if (!text) return std::nullopt;
  // cpufreq's affected_cpus is space separated; the list parser wants commas.
  std::replace(text->begin(), text->end(), ' ', ',');
  return linux_fs::parseCPUList(*text);
}

std::vector<int> onlyOnline(const std::vector<int>& cpus, const std::set<int>& online) {
  std::vector<int> out;
  for (int c : cpus)
    if (online.count(c)) out.push_back(c);
  return out;
}

// Groups of CPUs, slowest first; empty when the source is missing.
using Groups = std::vector<std::vector<int>>;

Groups hybridGroups(const Root& root, const std::set<int>& online) {
  auto core = cpuList(root, "/sys/devices/cpu_core/cpus");
  if (!core) return {};
  std::vector<int> efficiency;
  for (const char* path : {"/sys/devices/cpu_atom/cpus", "/sys/devices/cpu_lowpower/cpus"}) {
    if (auto atoms = cpuList(root, path))
      efficiency.insert(efficiency.end(), atoms->begin(), atoms->end());
  }
  std::sort(efficiency.begin(), efficiency.end());
  Groups out;
  if (auto e = onlyOnline(efficiency, online); !e.empty()) out.push_back(e);
  if (auto p = onlyOnline(*core, online); !p.empty()) out.push_back(p);
  return out;
}

// Members and their measure, grouped by groupByMaximum.
Groups grouped(const std::vector<std::vector<int>>& members, const std::vector<uint64_t>& measure) {
  Groups out;
  for (const auto& group : groupByMaximum(measure)) {
    std::vector<int> cpus;
    for (size_t i : group)
      cpus.insert(cpus.end(), members[i].begin(), members[i].end());
    std::sort(cpus.begin(), cpus.end());
    out.push_back(std::move(cpus));
  }
  return out;
}

Groups capacityGroups(const Root& root, const std::set<int>& online) {
  std::vector<std::vector<int>> members;
  std::vector<uint64_t> capacity;
  for (int cpu : online) {
    auto cap =
        root.readUnsigned("/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity");
    if (!cap) return {};
    members.push_back({cpu});
    capacity.push_back(*cap);
  }
  Groups out = grouped(members, capacity);
  return out.size() > 1 ? out : Groups{};
}

Groups policyGroups(const Root& root, const std::set<int>& online) {
  const std::string base = "/sys/devices/system/cpu/cpufreq";
  std::vector<std::vector<int>> members;
  std::vector<uint64_t> maxKHz;
  for (const auto& entry : root.list(base)) {
    if (!entry.starts_with("policy")) continue;
    const std::string dir = base + "/" + entry;
    auto cpus = cpuList(root, dir + "/affected_cpus");
    if (!cpus) cpus = cpuList(root, dir + "/related_cpus");
    auto max = root.readUnsigned(dir + "/cpuinfo_max_freq");
    if (!cpus || !max) continue;
    auto on = onlyOnline(*cpus, online);
    if (on.empty()) continue;
    members.push_back(std::move(on));
    maxKHz.push_back(*max);
  }
  return grouped(members, maxKHz);
}

}  // namespace

std::optional<std::vector<int>> onlineCPUs(const Root& root) {
  if (auto online = cpuList(root, "/sys/devices/system/cpu/online"); online && !online->empty())
    return online;
  // Without sysfs, the per-CPU lines of /proc/stat name the online CPUs.
  auto stat = root.read("/proc/stat");
  if (!stat) return std::nullopt;
  std::vector<int> cpus;
  for (const CPUTicks& t : parseProcStat(*stat))
    cpus.push_back(static_cast<int>(t.cpuNum));
  if (cpus.empty()) return std::nullopt;
  return cpus;
}

std::vector<Cluster> clusters(const Root& root, const std::vector<int>& online) {
  const std::set<int> on(online.begin(), online.end());
  if (on.empty()) return {};
  Groups groups = hybridGroups(root, on);
  if (groups.empty()) groups = capacityGroups(root, on);
  if (groups.empty()) groups = policyGroups(root, on);
  if (groups.empty()) groups.emplace_back();

  std::set<int> placed;
  for (const auto& g : groups)
    placed.insert(g.begin(), g.end());
  for (int cpu : on)
    if (!placed.count(cpu)) groups.back().push_back(cpu);
  std::sort(groups.back().begin(), groups.back().end());

  const auto names = clusterNames(groups.size());
  std::vector<Cluster> out;
  for (size_t i = 0; i < groups.size(); ++i)
    out.push_back({names[i], std::move(groups[i])});
  return out;
}

PerfLevels perfLevels(const std::vector<Cluster>& clusters) {
  PerfLevels levels;
  for (size_t i = 0; i < clusters.size(); ++i) {
    const int n = static_cast<int>(clusters[i].cpus.size());
    (i == 0 && clusters.size() > 1 ? levels.efficiency : levels.performance) += n;
  }
  return levels;
}

std::vector<std::string> clusterNames(size_t count) {
  if (count == 1) return {"P-Cluster"};
  if (count == 2) return {"E-Cluster", "P-Cluster"};
  std::vector<std::string> names;
  if (count == 0) return names;
  names.push_back("E-Cluster");
  for (size_t i = 0; i + 1 < count; ++i) {
    // Built piece by piece: GCC 12 warns falsely about `"P" + std::to_string(i)`.
    std::string name = "P";
    name += std::to_string(i);
    name += "-Cluster";
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::vector<size_t>> groupByMaximum(const std::vector<uint64_t>& values) {
  std::vector<size_t> order(values.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return values[a] < values[b]; });
  std::vector<std::vector<size_t>> groups;
  uint64_t groupFirst = 0;
  for (size_t i : order) {
    // v > first * 1.15, in integers.
    if (groups.empty() || values[i] * 100 > groupFirst * 115) {
      groups.push_back({});
      groupFirst = values[i];
    }
    groups.back().push_back(i);
  }
  constexpr size_t kMaxClusters = 11;
  while (groups.size() > kMaxClusters) {
    auto last = groups.back();
    groups.pop_back();
    groups.back().insert(groups.back().end(), last.begin(), last.end());
  }
  return groups;
}

}  // namespace platform::linux_topology
