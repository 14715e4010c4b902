#include "tools/powermetrics/CpuTopology.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace sampler {

namespace {

std::vector<int> onlyOnline(const std::vector<int>& cpus, const std::set<int>& online) {
  std::vector<int> out;
  for (int c : cpus) {
    if (online.count(c)) out.push_back(c);
  }
  return out;
}

std::vector<Cluster> hybridClusters(const platform::linux_fs::Root& tree,
                                    const std::set<int>& online) {
  auto atom = tree.read("/sys/devices/cpu_atom/cpus");
  auto core = tree.read("/sys/devices/cpu_core/cpus");
  if (!atom || !core) return {};
  auto e = platform::linux_fs::parseCPUList(*atom);
  auto p = platform::linux_fs::parseCPUList(*core);
  if (!e || !p) return {};
  std::vector<Cluster> out;
  auto eOnline = onlyOnline(*e, online);
  auto pOnline = onlyOnline(*p, online);
  if (!eOnline.empty()) out.push_back({"E-Cluster", eOnline});
  if (!pOnline.empty()) out.push_back({"P-Cluster", pOnline});
  return out;
}

std::vector<Cluster> policyClusters(const platform::linux_fs::Root& tree,
                                    const std::set<int>& online) {
  const std::string base = "/sys/devices/system/cpu/cpufreq";
  std::vector<std::vector<int>> members;
  std::vector<uint64_t> maxKHz;
  for (const auto& entry : tree.list(base)) {
    if (!entry.starts_with("policy")) continue;
    std::string dir = base + "/" + entry;
    auto cpusText = tree.read(dir + "/affected_cpus");
    if (!cpusText) cpusText = tree.read(dir + "/related_cpus");
    auto max = tree.readUnsigned(dir + "/cpuinfo_max_freq");
    if (!cpusText || !max) continue;
    // affected_cpus is space separated; the list parser wants commas.
    std::string text = *cpusText;
    std::replace(text.begin(), text.end(), ' ', ',');
    auto cpus = platform::linux_fs::parseCPUList(text);
    if (!cpus) continue;
    auto on = onlyOnline(*cpus, online);
    if (on.empty()) continue;
    members.push_back(on);
    maxKHz.push_back(*max);
  }
  if (members.empty()) return {};
  auto groups = groupByMaxFrequency(maxKHz);
  auto names = clusterNames(groups.size());
  std::vector<Cluster> out;
  for (size_t g = 0; g < groups.size(); ++g) {
    Cluster c{names[g], {}};
    for (size_t i : groups[g])
      c.cpus.insert(c.cpus.end(), members[i].begin(), members[i].end());
    std::sort(c.cpus.begin(), c.cpus.end());
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace

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

std::vector<std::vector<size_t>> groupByMaxFrequency(const std::vector<uint64_t>& maxKHz) {
  std::vector<size_t> order(maxKHz.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return maxKHz[a] < maxKHz[b]; });
  std::vector<std::vector<size_t>> groups;
  uint64_t groupFirst = 0;
  for (size_t i : order) {
    // f > first * 1.15, in integers.
    if (groups.empty() || maxKHz[i] * 100 > groupFirst * 115) {
      groups.push_back({});
      groupFirst = maxKHz[i];
    }
    groups.back().push_back(i);
  }
  // The application knows one efficiency and ten performance cluster names; fold the fastest
  // extra groups into the last one rather than invent a name it would ignore.
  constexpr size_t kMaxClusters = 11;
  while (groups.size() > kMaxClusters) {
    auto last = groups.back();
    groups.pop_back();
    groups.back().insert(groups.back().end(), last.begin(), last.end());
  }
  return groups;
}

std::vector<Cluster> discoverClusters(const platform::linux_fs::Root& tree,
                                      const std::vector<int>& online) {
  std::set<int> on(online.begin(), online.end());
  if (on.empty()) return {};
  auto clusters = hybridClusters(tree, on);
  if (clusters.empty()) clusters = policyClusters(tree, on);
  if (clusters.empty()) clusters.push_back({"P-Cluster", std::vector<int>(on.begin(), on.end())});
  return clusters;
}

std::vector<int> onlineCpus(const platform::linux_fs::Root& tree,
                            const std::vector<int>& fromProcStat) {
  if (!fromProcStat.empty()) return fromProcStat;
  auto text = tree.read("/sys/devices/system/cpu/online");
  if (!text) return {};
  auto cpus = platform::linux_fs::parseCPUList(*text);
  return cpus ? *cpus : std::vector<int>{};
}

std::map<int, double> cpuFrequenciesHz(const platform::linux_fs::Root& tree,
                                       const std::vector<int>& cpus) {
  std::map<int, double> out;
  for (int c : cpus) {
    auto khz = tree.readUnsigned("/sys/devices/system/cpu/cpu" + std::to_string(c) +
                                 "/cpufreq/scaling_cur_freq");
    if (khz && *khz > 0) out[c] = static_cast<double>(*khz) * 1000.0;
  }
  if (!out.empty()) return out;

  auto info = tree.read("/proc/cpuinfo");
  if (!info) return out;
  std::set<int> wanted(cpus.begin(), cpus.end());
  std::string_view text(*info);
  int current = -1;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ')
      value.remove_prefix(1);
    if (key.starts_with("processor")) {
      current = -1;
      std::from_chars(value.data(), value.data() + value.size(), current);
    } else if (key.starts_with("cpu MHz") && wanted.count(current)) {
      double mhz = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mhz);
      if (ec == std::errc() && end != value.data() && mhz > 0) out[current] = mhz * 1e6;
    }
  }
  return out;
}

}  // namespace sampler
