// Average running frequency over the window from each CPU's APERF/MPERF counters, read
// through the msr driver (root only, and only when the module is loaded).
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/linux/SysfsReader.h"

namespace sampler {

struct PerfCounters {
  uint64_t mperf = 0;  // counts at the base frequency while the CPU runs
  uint64_t aperf = 0;  // counts at the actual frequency while the CPU runs
};

// The counters of each CPU whose msr file can be read; others are absent.
std::map<int, PerfCounters> readPerfCounters(const platform::linux_fs::Root& tree,
                                             const std::vector<int>& cpus);

// base × ΔAPERF / ΔMPERF for each CPU that ran during the window and whose base frequency
// cpufreq reports (base_frequency, kHz). A CPU that slept through the window, or whose counters
// went backwards, is absent, so the caller falls back to another reading.
std::map<int, double> perfCounterFrequenciesHz(const platform::linux_fs::Root& tree,
                                               const std::map<int, PerfCounters>& before,
                                               const std::map<int, PerfCounters>& after);

}  // namespace sampler
