#include "tools/powermetrics/SimSampler.h"

#include <algorithm>
#include <random>

namespace sampler {

namespace {

double clamp01(double v) {
  return std::clamp(v, 0.0, 1.0);
}

double busyShare(const CpuTicks& before, const CpuTicks& after) {
  auto idle = idleRatio(before, after);
  return idle ? 1.0 - *idle : 0.0;
}

// Energy in millijoules of a power drawn at `level` of its range for the window.
std::optional<double> energyMj(const std::optional<PowerRange>& range, double level,
                               int64_t elapsedNs) {
  if (!range) return std::nullopt;
  double watts = range->first + (range->second - range->first) * level;
  return watts * static_cast<double>(elapsedNs) / 1e6;
}

}  // namespace

double SimRandom::uniform() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

HostLoad hostLoad(const ProcStat& before, const ProcStat& after) {
  HostLoad load;
  if (before.all && after.all) load.overall = busyShare(*before.all, *after.all);
  for (const auto& [cpu, ticks] : after.perCpu) {
    auto b = before.perCpu.find(cpu);
    if (b != before.perCpu.end()) load.perCpu.push_back(busyShare(b->second, ticks));
  }
  return load;
}

Sample simulate(const SimProfile& profile, const HostLoad& load, int64_t elapsedNs, bool includeGpu,
                SimRandom& random) {
  Sample s;
  s.elapsedNs = elapsedNs;
  s.hwModel = profile.hwModel;

  // Virtual CPU n follows host CPU n modulo the host's count, so a busy host core shows up as
  // a busy virtual core and the cluster it belongs to speeds up.
  auto cpuLoad = [&](int cpu) {
    if (load.perCpu.empty()) return load.overall;
    return load.perCpu[static_cast<size_t>(cpu) % load.perCpu.size()];
  };
  for (const auto& c : profile.clusters) {
    ClusterSample cs;
    cs.name = c.name;
    double busySum = 0;
    for (int cpu : c.cpus) {
      double busy = clamp01(cpuLoad(cpu) + random.jitter(0.02));
      double level = clamp01(busy + random.jitter(0.05));
      cs.cpus.push_back({cpu, c.minHz + (c.maxHz - c.minHz) * level, 1.0 - busy});
      busySum += busy;
    }
    double clusterBusy = c.cpus.empty() ? load.overall : busySum / double(c.cpus.size());
    cs.idleRatio = 1.0 - clusterBusy;
    cs.freqHz = c.minHz + (c.maxHz - c.minHz) * clamp01(clusterBusy + random.jitter(0.05));
    s.clusters.push_back(std::move(cs));
  }
  if (!s.clusters.empty()) s.cpuFreqSource = "profile";

  double cpuLevel = clamp01(load.overall + random.jitter(0.05));
  // Without a GPU load of its own to follow, the virtual GPU works at a share of the CPU's.
  double gpuLevel = clamp01(load.overall * 0.6 + random.jitter(0.05));
  double aneLevel = clamp01(random.uniform() * 0.1);
  double dramLevel = clamp01(load.overall * 0.8 + random.jitter(0.05));
  s.cpuEnergyMj = energyMj(profile.cpuPowerW, cpuLevel, elapsedNs);
  s.gpuEnergyMj = energyMj(profile.gpuPowerW, gpuLevel, elapsedNs);
  s.aneEnergyMj = energyMj(profile.anePowerW, aneLevel, elapsedNs);

  // The package is the processor's parts together; DRAM is reported on its own.
  double packageMj =
      s.cpuEnergyMj.value_or(0) + s.gpuEnergyMj.value_or(0) + s.aneEnergyMj.value_or(0);
  bool anyPower = s.cpuEnergyMj || s.gpuEnergyMj || s.aneEnergyMj;
  if (profile.combinedPower) {
    if (anyPower && elapsedNs > 0) s.combinedPowerMw = packageMj * 1e9 / double(elapsedNs);
  } else {
    if (anyPower) s.packageEnergyMj = packageMj;
    s.dramEnergyMj = energyMj(profile.dramPowerW, dramLevel, elapsedNs);
  }

  if (includeGpu && (profile.gpuMinMHz || profile.gpuMaxMHz)) {
    double lo = profile.gpuMinMHz.value_or(*profile.gpuMaxMHz);
    double hi = std::max(lo, profile.gpuMaxMHz.value_or(lo));
    GpuSample g;
    g.freqMHz = lo + (hi - lo) * gpuLevel;
    g.idleRatio = 1.0 - gpuLevel;
    g.energyMj = s.gpuEnergyMj;
    s.gpu = g;
  }
  return s;
}

Sample sampleSim(const SimProfile& profile, const SimOptions& options, int64_t intervalMs,
                 const WindowFn& window) {
  platform::linux_fs::Root tree(options.root);
  ProcStat before = readProcStat(tree);
  int64_t elapsedNs = window(intervalMs);
  ProcStat after = readProcStat(tree);
  SimRandom random(options.seed ? *options.seed : std::random_device{}());
  return simulate(profile, hostLoad(before, after), elapsedNs, options.includeGpu, random);
}

}  // namespace sampler
