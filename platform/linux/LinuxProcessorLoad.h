// Per-CPU tick counters from /proc/stat. The kernel's finer states fold into the four kept:
// user; system + irq + softirq + steal; idle + iowait; nice. (user already holds guest time.)
#pragma once

#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

// The "cpuN" lines of a /proc/stat text, in file order; the aggregate "cpu" line is skipped and
// a malformed line is left out.
std::vector<CPUTicks> parseProcStat(std::string_view text);

class LinuxProcessorLoad : public ProcessorLoad {
 public:
  explicit LinuxProcessorLoad(linux_fs::Root root = linux_fs::Root()) : root_(std::move(root)) {}
  std::vector<CPUTicks> read() override;

 private:
  linux_fs::Root root_;
};

}  // namespace platform
