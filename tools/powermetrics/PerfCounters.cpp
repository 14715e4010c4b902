#include "tools/powermetrics/PerfCounters.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace sampler {

namespace {

constexpr off_t kMperf = 0xE7;
constexpr off_t kAperf = 0xE8;

bool readRegister(int fd, off_t reg, uint64_t& value) {
  return ::pread(fd, &value, sizeof value, reg) == static_cast<ssize_t>(sizeof value);
}

}  // namespace

std::map<int, PerfCounters> readPerfCounters(const platform::linux_fs::Root& tree,
                                             const std::vector<int>& cpus) {
  std::map<int, PerfCounters> out;
  for (int cpu : cpus) {
    std::string path = tree.at("/dev/cpu/" + std::to_string(cpu) + "/msr").string();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      // Without the driver no CPU will have the file; stop at the first miss.
      if (out.empty()) return out;
      continue;
    }
    PerfCounters c;
    bool ok = readRegister(fd, kMperf, c.mperf) && readRegister(fd, kAperf, c.aperf);
    ::close(fd);
    if (ok) out[cpu] = c;
  }
  return out;
}

std::map<int, double> perfCounterFrequenciesHz(const platform::linux_fs::Root& tree,
                                               const std::map<int, PerfCounters>& before,
                                               const std::map<int, PerfCounters>& after) {
  std::map<int, double> out;
  for (const auto& [cpu, a] : after) {
    auto b = before.find(cpu);
    if (b == before.end() || a.mperf <= b->second.mperf || a.aperf < b->second.aperf) continue;
    auto baseKHz = tree.readUnsigned("/sys/devices/system/cpu/cpu" + std::to_string(cpu) +
                                     "/cpufreq/base_frequency");
    if (!baseKHz || *baseKHz == 0) continue;
    double ratio = static_cast<double>(a.aperf - b->second.aperf) /
                   static_cast<double>(a.mperf - b->second.mperf);
    out[cpu] = static_cast<double>(*baseKHz) * 1000.0 * ratio;
  }
  return out;
}

}  // namespace sampler
