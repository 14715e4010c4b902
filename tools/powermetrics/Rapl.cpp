#include "tools/powermetrics/Rapl.h"

namespace sampler {

namespace {

constexpr const char* kPowercap = "/sys/class/powercap";

std::optional<RaplKind> kindOf(const std::string& name) {
  if (name.starts_with("package-")) return RaplKind::Package;
  if (name == "core") return RaplKind::Core;
  if (name == "uncore") return RaplKind::Uncore;
  if (name == "dram") return RaplKind::Dram;
  if (name == "psys") return RaplKind::Psys;
  return std::nullopt;
}

std::vector<RaplZone> zonesWithPrefix(const platform::linux_fs::Root& tree,
                                      const std::vector<std::string>& entries,
                                      const std::string& prefix) {
  std::vector<RaplZone> zones;
  for (const auto& entry : entries) {
    if (!entry.starts_with(prefix)) continue;
    std::string dir = std::string(kPowercap) + "/" + entry;
    auto name = tree.readLine(dir + "/name");
    if (!name) continue;
    auto kind = kindOf(*name);
    if (!kind) continue;
    zones.push_back({*kind, dir, tree.readUnsigned(dir + "/max_energy_range_uj")});
  }
  return zones;
}

}  // namespace

std::vector<RaplZone> findRaplZones(const platform::linux_fs::Root& tree) {
  // One listing serves both interfaces: the sampler runs once a second.
  const auto entries = tree.list(kPowercap);
  auto zones = zonesWithPrefix(tree, entries, "intel-rapl:");
  if (zones.empty()) zones = zonesWithPrefix(tree, entries, "intel-rapl-mmio:");
  return zones;
}

std::vector<std::optional<uint64_t>> readRaplCounters(const platform::linux_fs::Root& tree,
                                                      const std::vector<RaplZone>& zones) {
  std::vector<std::optional<uint64_t>> out;
  out.reserve(zones.size());
  for (const auto& z : zones)
    out.push_back(tree.readUnsigned(z.dir + "/energy_uj"));
  return out;
}

std::optional<uint64_t> counterDelta(uint64_t before, uint64_t after,
                                     std::optional<uint64_t> maxRange) {
  if (after >= before) return after - before;
  // The counter runs from 0 to maxRange inclusive and then starts again at 0.
  if (!maxRange || *maxRange == 0 || before > *maxRange || after > *maxRange) return std::nullopt;
  return (*maxRange - before) + after + 1;
}

RaplEnergies raplEnergies(const std::vector<RaplZone>& zones,
                          const std::vector<std::optional<uint64_t>>& before,
                          const std::vector<std::optional<uint64_t>>& after) {
  struct Sum {
    double uj = 0;
    bool seen = false;
    bool broken = false;
  };
  Sum sums[5];
  for (size_t i = 0; i < zones.size() && i < before.size() && i < after.size(); ++i) {
    Sum& s = sums[static_cast<int>(zones[i].kind)];
    s.seen = true;
    std::optional<uint64_t> d;
    if (before[i] && after[i]) d = counterDelta(*before[i], *after[i], zones[i].maxEnergyRangeUj);
    if (!d) {
      s.broken = true;
      continue;
    }
    s.uj += static_cast<double>(*d);
  }
  auto mj = [&](RaplKind k) -> std::optional<double> {
    const Sum& s = sums[static_cast<int>(k)];
    if (!s.seen || s.broken) return std::nullopt;
    return s.uj / 1000.0;
  };
  return {mj(RaplKind::Package), mj(RaplKind::Core), mj(RaplKind::Uncore), mj(RaplKind::Dram)};
}

bool hasRaplZone(const std::vector<RaplZone>& zones, RaplKind kind) {
  for (const auto& z : zones)
    if (z.kind == kind) return true;
  return false;
}

std::string raplUnreadReason(const platform::linux_fs::Root& tree,
                             const std::vector<RaplZone>& zones, RaplKind kind,
                             const std::vector<std::optional<uint64_t>>& before,
                             const std::vector<std::optional<uint64_t>>& after) {
  bool missing = !hasRaplZone(zones, kind);
  for (size_t i = 0; i < zones.size() && i < before.size() && i < after.size(); ++i) {
    if (zones[i].kind != kind || (before[i] && after[i])) continue;
    const std::string counter = zones[i].dir + "/energy_uj";
    // A counter that is there and still gives nothing is one this user may not read; one that
    // reads now only came or went within the window.
    if (!tree.exists(counter)) {
      missing = true;
    } else if (!tree.readUnsigned(counter)) {
      return "permission";
    }
  }
  return missing ? "no zone" : "no reading";
}

}  // namespace sampler
