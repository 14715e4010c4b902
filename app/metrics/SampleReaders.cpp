#include "app/metrics/SampleReaders.h"

namespace sample {
namespace {

std::string clusterName(char kind, const std::string& suffix) {
  return std::string(1, kind) + suffix + "-Cluster";
}

const plist::Array* clusters(const plist::Value& data) {
  return data["processor"]["clusters"].array();
}

}  // namespace

const std::vector<std::string>& clusterSuffixes() {
  static const std::vector<std::string> suffixes = {"",  "0", "1", "2", "3", "4",
                                                    "5", "6", "7", "8", "9"};
  return suffixes;
}

plist::Dict powerValues(const plist::Value& data, bool isOS13OrLater) {
  plist::Dict out;
  const plist::Value& processor = data["processor"];
  if (!processor.isDict()) return out;
  const char* packageKey = isOS13OrLater ? "combined_power" : "package_energy";
  for (const char* key : {"cpu_energy", "dram_energy", "gpu_energy", packageKey}) {
    const plist::Value& v = processor[key];
    if (!v.isNone()) out.emplace(key, v);
  }
  return out;
}

std::map<std::string, double> clusterFrequencies(const plist::Value& data) {
  std::map<std::string, double> byName;
  if (const plist::Array* list = clusters(data)) {
    for (const plist::Value& c : *list) {
      const std::string* name = c["name"].string();
      const std::optional<double> hz = c["freq_hz"].number();
      if (name && hz) byName[*name] = *hz;  // a later cluster of the same name wins
    }
  }
  double e = 0;
  double p = 0;
  for (const std::string& suffix : clusterSuffixes()) {
    auto pick = [&](char kind, double& best) {
      auto it = byName.find(clusterName(kind, suffix));
      const double x = it == byName.end() ? 0 : it->second;
      if (best < x) best = x;
    };
    pick('E', e);
    pick('P', p);
  }
  return {{kECluster, e / 1'000'000}, {kPCluster, p / 1'000'000}};
}

plist::Dict gpuFrequencyValues(const plist::Value& data) {
  plist::Dict out;
  const plist::Value& hz = data["gpu"]["freq_hz"];
  if (!hz.isNone()) out.emplace("freq_hz", hz);
  return out;
}

std::map<std::string, std::vector<int64_t>> clusterCPUs(const plist::Value& data) {
  std::map<std::string, std::vector<int64_t>> byName;
  if (const plist::Array* list = clusters(data)) {
    for (const plist::Value& c : *list) {
      const std::string* name = c["name"].string();
      if (!name) continue;
      std::vector<int64_t> cpus;
      const plist::Array* entries = c["cpus"].array();
      bool allDicts = entries != nullptr;
      if (entries) {
        for (const plist::Value& cpu : *entries)
          allDicts = allDicts && cpu.isDict();
      }
      if (allDicts) {
        for (const plist::Value& cpu : *entries) {
          if (auto n = cpu["cpu"].integer()) cpus.push_back(*n);
        }
      }
      byName[*name] = std::move(cpus);  // a later cluster of the same name replaces the list
    }
  }
  if (byName.empty()) return {};
  std::map<std::string, std::vector<int64_t>> out{{kECluster, {}}, {kPCluster, {}}};
  for (const std::string& suffix : clusterSuffixes()) {
    for (char kind : {'E', 'P'}) {
      auto it = byName.find(clusterName(kind, suffix));
      if (it == byName.end()) continue;
      auto& target = out[kind == 'E' ? kECluster : kPCluster];
      target.insert(target.end(), it->second.begin(), it->second.end());
    }
  }
  return out;
}

}  // namespace sample
