#include "tools/powermetrics/LinuxSampler.h"

#include <chrono>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/linux/CpuTopology.h"
#include "platform/linux/LinuxSysctl.h"
#include "tools/powermetrics/CpuFrequency.h"
#include "tools/powermetrics/DrmGpu.h"
#include "tools/powermetrics/ProcStat.h"
#include "tools/powermetrics/Rapl.h"

namespace sampler {

namespace {

GpuReading readNvml(const platform::NvmlLibrary& nvml) {
  GpuReading r;
  if (auto mhz = nvml.graphicsClockMHz()) r.freqMHz = *mhz;
  r.busy = nvml.utilization();
  if (auto mj = nvml.energyMillijoules()) r.energyUj = *mj * 1000ULL;
  if (auto mw = nvml.powerMilliwatts()) r.powerW = *mw / 1000.0;
  return r;
}

// The GPU we report: an NVIDIA card through its library when one answers, else the first DRM
// card with a frequency. Both are read through the same reading type.
class GpuSource {
 public:
  GpuSource(const platform::linux_fs::Root& tree, const std::string& nvmlLibrary) : tree_(tree) {
    // Without the NVIDIA driver there is no library to find: searching every library folder
    // for it once a second costs more than the rest of the sample's readings. A library given
    // by its path is opened directly, so it is always tried.
    const bool searched = nvmlLibrary.find('/') == std::string::npos;
    if (!nvmlLibrary.empty() && (!searched || tree.exists("/proc/driver/nvidia"))) {
      nvml_ = std::make_unique<platform::NvmlLibrary>(nvmlLibrary);
      if (nvml_->available() && nvml_->graphicsClockMHz()) return;
      nvml_.reset();
    }
    card_ = findDrmCard(tree);
  }
  bool present() const { return nvml_ || card_; }
  GpuReading read() const {
    if (nvml_) return readNvml(*nvml_);
    if (card_) return readDrmCard(tree_, *card_);
    return {};
  }

 private:
  const platform::linux_fs::Root& tree_;
  std::unique_ptr<platform::NvmlLibrary> nvml_;
  std::optional<std::string> card_;
};

std::optional<double> mean(const std::vector<double>& v) {
  if (v.empty()) return std::nullopt;
  double s = 0;
  for (double x : v)
    s += x;
  return s / static_cast<double>(v.size());
}

// Energy of the GPU over the window: its own counter when it has one, else its average power.
std::optional<double> gpuEnergyMj(const GpuReading& before, const GpuReading& after,
                                  int64_t elapsedNs) {
  if (before.energyUj && after.energyUj && *after.energyUj >= *before.energyUj) {
    return static_cast<double>(*after.energyUj - *before.energyUj) / 1000.0;
  }
  if (after.powerW) return *after.powerW * static_cast<double>(elapsedNs) / 1e6;
  return std::nullopt;
}

}  // namespace

int64_t sleepWindow(int64_t intervalMs) {
  auto start = std::chrono::steady_clock::now();
  // sleep_until resumes after signal interruptions by itself.
  std::this_thread::sleep_until(start + std::chrono::milliseconds(intervalMs));
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                              start)
      .count();
}

std::string linuxHardwareModel(const platform::linux_fs::Root& tree) {
  return platform::linux_sysctl::readModel(tree).value_or("Linux");
}

Sample sampleLinux(const LinuxOptions& options, int64_t intervalMs, const WindowFn& window) {
  platform::linux_fs::Root tree(options.root);
  auto zones = findRaplZones(tree);
  // The GPU is read even without the GPU sampler: its energy belongs to the processor entries.
  GpuSource gpu(tree, options.nvmlLibrary);

  // Before: counters only, so the window holds as little of our own work as possible.
  auto raplBefore = readRaplCounters(tree, zones);
  ProcStat statBefore = readProcStat(tree);
  GpuReading gpuBefore = gpu.read();

  int64_t elapsedNs = window(intervalMs);

  auto raplAfter = readRaplCounters(tree, zones);
  ProcStat statAfter = readProcStat(tree);
  GpuReading gpuAfter = gpu.read();

  Sample s;
  s.elapsedNs = elapsedNs;
  s.hwModel = linuxHardwareModel(tree);

  RaplEnergies e = raplEnergies(zones, raplBefore, raplAfter);
  // The cores' own plane when the chip has one, else the whole package (AMD parts often
  // expose only the package).
  s.cpuEnergyMj = e.coreMj ? e.coreMj : e.packageMj;
  s.dramEnergyMj = e.dramMj;
  s.packageEnergyMj = e.packageMj;
  // The application reads one of the two package figures depending on the system version it
  // believes it runs on; a real Linux machine offers both so either reading works.
  if (e.packageMj && elapsedNs > 0) {
    s.combinedPowerMw = *e.packageMj * 1e9 / static_cast<double>(elapsedNs);
  }
  // A GPU with its own counter wins; otherwise the uncore plane, where client chips keep
  // their integrated graphics.
  auto deviceGpuMj = gpu.present() ? gpuEnergyMj(gpuBefore, gpuAfter, elapsedNs) : std::nullopt;
  s.gpuEnergyMj = deviceGpuMj ? deviceGpuMj : e.uncoreMj;
  const auto why = [&](RaplKind kind) {
    return raplUnreadReason(tree, zones, kind, raplBefore, raplAfter);
  };
  if (!s.packageEnergyMj) {
    s.unreadEnergy["package_energy"] = s.unreadEnergy["combined_power"] = why(RaplKind::Package);
  }
  if (!s.cpuEnergyMj) {
    // Without a core plane the CPU figure is the package's, and so is its reason.
    s.unreadEnergy["cpu_energy"] =
        hasRaplZone(zones, RaplKind::Core) ? why(RaplKind::Core) : s.unreadEnergy["package_energy"];
  }
  if (!s.dramEnergyMj) s.unreadEnergy["dram_energy"] = why(RaplKind::Dram);
  if (!s.gpuEnergyMj) s.unreadEnergy["gpu_energy"] = why(RaplKind::Uncore);

  // The clusters are the title's; a CPU that /proc/stat does not list at both ends of the
  // window (it went offline) has nothing to report and is left out.
  std::set<int> statCpus;
  for (const auto& [cpu, ticks] : statAfter.perCpu) {
    if (statBefore.perCpu.count(cpu)) statCpus.insert(cpu);
  }
  const auto online = platform::linux_topology::onlineCPUs(tree).value_or(std::vector<int>{});
  const CpuFrequencies freqs = cpuFrequencies(tree, online);
  s.cpuFreqSource = freqs.source;
  for (auto cluster : platform::linux_topology::clusters(tree, online)) {
    if (!statBefore.perCpu.empty() || !statAfter.perCpu.empty()) {
      std::erase_if(cluster.cpus, [&](int cpu) { return !statCpus.count(cpu); });
      if (cluster.cpus.empty()) continue;
    }
    ClusterSample cs;
    cs.name = cluster.name;
    std::vector<double> clusterFreqs;
    std::vector<double> clusterIdle;
    for (int cpu : cluster.cpus) {
      CpuSample c;
      c.cpu = cpu;
      if (auto f = freqs.hz.find(cpu); f != freqs.hz.end()) {
        c.freqHz = f->second;
        clusterFreqs.push_back(f->second);
      }
      auto b = statBefore.perCpu.find(cpu);
      auto a = statAfter.perCpu.find(cpu);
      if (b != statBefore.perCpu.end() && a != statAfter.perCpu.end()) {
        c.idleRatio = idleRatio(b->second, a->second);
        if (c.idleRatio) clusterIdle.push_back(*c.idleRatio);
      }
      cs.cpus.push_back(c);
    }
    cs.freqHz = mean(clusterFreqs);
    cs.idleRatio = mean(clusterIdle);
    s.clusters.push_back(std::move(cs));
  }

  if (options.includeGpu && gpu.present()) {
    GpuSample g;
    g.freqMHz = gpuAfter.freqMHz;
    if (gpuAfter.busy) g.idleRatio = 1.0 - *gpuAfter.busy;
    g.energyMj = s.gpuEnergyMj;
    s.gpu = g;
  }
  return s;
}

}  // namespace sampler
