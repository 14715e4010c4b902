// How fast each CPU runs, from sources any process may read: the root sampler's unit denies it
// the msr devices, so counters such as APERF/MPERF are out of its reach by design.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/linux/SysfsReader.h"

namespace sampler {

struct CpuFrequencies {
  std::map<int, double> hz;  // CPUs without a reading are absent
  // Where the figures came from, for the document: kFreqSourceCpufreq, kFreqSourceCpuinfo, or
  // empty when no CPU had a reading.
  std::string source;
};

// cpufreq's scaling_cur_freq: the kernel's last look at each CPU, in kHz.
inline constexpr const char* kFreqSourceCpufreq = "cpufreq";
// The "cpu MHz" lines of /proc/cpuinfo (x86, virtual machines included).
inline constexpr const char* kFreqSourceCpuinfo = "cpuinfo";

// The current frequency of each of `cpus` in hertz: cpufreq when any CPU has it, else
// /proc/cpuinfo.
CpuFrequencies cpuFrequencies(const platform::linux_fs::Root& tree, const std::vector<int>& cpus);

}  // namespace sampler
