#include "platform/linux/LinuxProcessorLoad.h"

#include <cctype>
#include <sstream>

namespace platform {

std::vector<CPUTicks> parseProcStat(std::string_view text) {
  std::vector<CPUTicks> result;
  for (const std::string& line : linux_fs::split(text, '\n')) {
    if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 ||
        !std::isdigit(static_cast<unsigned char>(line[3]))) {
      continue;
    }
    std::istringstream in(line.substr(3));
    int64_t cpu = 0;
    // user nice system idle iowait irq softirq steal; older kernels stop after idle or iowait.
    int64_t f[8] = {};
    in >> cpu;
    int fields = 0;
    while (fields < 8 && in >> f[fields])
      ++fields;
    if (!in.eof() && in.fail() && fields < 8) continue;  // a field that is not a number
    if (fields < 4) continue;
    CPUTicks t;
    t.cpuNum = cpu;
    t.user = f[0];
    t.nice = f[1];
    t.system = f[2] + f[5] + f[6] + f[7];
    t.idle = f[3] + f[4];
    result.push_back(t);
  }
  return result;
}

std::vector<CPUTicks> LinuxProcessorLoad::read() {
  auto text = root_.read("/proc/stat");
  return text ? parseProcStat(*text) : std::vector<CPUTicks>{};
}

}  // namespace platform
