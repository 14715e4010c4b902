// Per-CPU tick counters from /proc/stat, and the idle share between two readings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "platform/linux/SysfsReader.h"

namespace sampler {

struct CpuTicks {
  uint64_t idle = 0;   // idle + iowait
  uint64_t total = 0;  // user nice system idle iowait irq softirq steal
};

struct ProcStat {
  std::optional<CpuTicks> all;     // the aggregate "cpu" line
  std::map<int, CpuTicks> perCpu;  // "cpuN" lines: the online CPUs
};

ProcStat parseProcStat(std::string_view text);
ProcStat readProcStat(const platform::linux_fs::Root& tree);

// Idle share of the ticks between two readings; nullopt when no tick passed or a counter went
// backwards (a CPU went offline and came back).
std::optional<double> idleRatio(const CpuTicks& before, const CpuTicks& after);

}  // namespace sampler
