#include "tools/powermetrics/ProcStat.h"

#include "platform/linux/LinuxProcessorLoad.h"

namespace sampler {

ProcStat parseProcStat(std::string_view text) {
  ProcStat out;
  for (const platform::CPUTicks& t : platform::parseProcStat(text, true)) {
    // The shared parser keeps every field non-negative and small enough to add.
    CpuTicks ticks{static_cast<uint64_t>(t.idle),
                   static_cast<uint64_t>(t.user + t.nice + t.system + t.idle)};
    if (t.cpuNum == platform::kAllCPUs) {
      out.all = ticks;
    } else {
      out.perCpu[static_cast<int>(t.cpuNum)] = ticks;
    }
  }
  return out;
}

ProcStat readProcStat(const platform::linux_fs::Root& tree) {
  auto text = tree.read("/proc/stat");
  return text ? parseProcStat(*text) : ProcStat{};
}

std::optional<double> idleRatio(const CpuTicks& before, const CpuTicks& after) {
  if (after.total <= before.total || after.idle < before.idle) return std::nullopt;
  uint64_t dt = after.total - before.total;
  uint64_t di = after.idle - before.idle;
  if (di > dt) return std::nullopt;
  return static_cast<double>(di) / static_cast<double>(dt);
}

}  // namespace sampler
