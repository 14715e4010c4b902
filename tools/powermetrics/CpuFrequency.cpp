#include "tools/powermetrics/CpuFrequency.h"

#include <charconv>
#include <set>
#include <string_view>

namespace sampler {

CpuFrequencies cpuFrequencies(const platform::linux_fs::Root& tree, const std::vector<int>& cpus) {
  CpuFrequencies result;
  std::map<int, double>& out = result.hz;
  for (int c : cpus) {
    auto khz = tree.readUnsigned("/sys/devices/system/cpu/cpu" + std::to_string(c) +
                                 "/cpufreq/scaling_cur_freq");
    if (khz && *khz > 0) out[c] = static_cast<double>(*khz) * 1000.0;
  }
  if (!out.empty()) {
    result.source = kFreqSourceCpufreq;
    return result;
  }

  auto info = tree.read("/proc/cpuinfo");
  if (!info) return result;
  std::set<int> wanted(cpus.begin(), cpus.end());
  std::string_view text(*info);
  int current = -1;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ')
      value.remove_prefix(1);
    if (key.starts_with("processor")) {
      current = -1;
      std::from_chars(value.data(), value.data() + value.size(), current);
    } else if (key.starts_with("cpu MHz") && wanted.count(current)) {
      double mhz = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mhz);
      if (ec == std::errc() && end != value.data() && mhz > 0) out[current] = mhz * 1e6;
    }
  }
  if (!out.empty()) result.source = kFreqSourceCpuinfo;
  return result;
}

}  // namespace sampler
