// Per-CPU tick counters from /proc/stat. The kernel's finer states fold into the four kept:
// user; system + irq + softirq + steal; idle + iowait; nice. (user already holds guest time.)
#pragma once

#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

// The cpuNum of the aggregate "cpu" line when it is asked for.
inline constexpr int64_t kAllCPUs = -1;

// The "cpuN" lines of a /proc/stat text, in file order, and the aggregate "cpu" line as
// kAllCPUs when `withAggregate`. A line with fewer than four counters, or any field that is not
// a decimal count, is left out.
std::vector<CPUTicks> parseProcStat(std::string_view text, bool withAggregate = false);

class LinuxProcessorLoad : public ProcessorLoad {
 public:
  explicit LinuxProcessorLoad(linux_fs::Root root = linux_fs::Root()) : root_(std::move(root)) {}
  std::vector<CPUTicks> read() override;

 private:
  linux_fs::Root root_;
};

}  // namespace platform
