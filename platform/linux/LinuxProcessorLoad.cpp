#include "platform/linux/LinuxProcessorLoad.h"

#include <charconv>
#include <optional>

namespace platform {
namespace {

// Counters past this are malformed; the bound also keeps the sums below from overflowing.
constexpr uint64_t kMaxTicks = uint64_t{1} << 59;

std::optional<CPUTicks> parseLine(std::string_view line) {
  if (!line.starts_with("cpu")) return std::nullopt;
  line.remove_prefix(3);
  size_t space = line.find_first_of(" \t");
  if (space == std::string_view::npos) return std::nullopt;
  std::string_view label = line.substr(0, space);
  std::string_view rest = line.substr(space);
  CPUTicks t;
  t.cpuNum = kAllCPUs;
  if (!label.empty()) {
    unsigned cpu = 0;
    auto [end, ec] = std::from_chars(label.data(), label.data() + label.size(), cpu);
    if (ec != std::errc() || end != label.data() + label.size() || cpu > 65535) {
      return std::nullopt;
    }
    t.cpuNum = cpu;
  }
  // user nice system idle iowait irq softirq steal; older kernels stop after idle or iowait.
  // guest and guest_nice follow but are already inside user and nice.
  int64_t f[8] = {};
  int fields = 0;
  while (fields < 8) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
      rest.remove_prefix(1);
    if (rest.empty()) break;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v);
    if (ec != std::errc() || v > kMaxTicks) return std::nullopt;
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t') return std::nullopt;
    f[fields++] = static_cast<int64_t>(v);
  }
  if (fields < 4) return std::nullopt;
  t.user = f[0];
  t.nice = f[1];
  t.system = f[2] + f[5] + f[6] + f[7];
  t.idle = f[3] + f[4];
  return t;
}

}  // namespace

std::vector<CPUTicks> parseProcStat(std::string_view text, bool withAggregate) {
  std::vector<CPUTicks> result;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    auto ticks = parseLine(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (ticks && (withAggregate || ticks->cpuNum != kAllCPUs)) result.push_back(*ticks);
  }
  return result;
}

std::vector<CPUTicks> LinuxProcessorLoad::read() {
  auto text = root_.read("/proc/stat");
  return text ? parseProcStat(*text) : std::vector<CPUTicks>{};
}

}  // namespace platform
