#include "tools/powermetrics/ProcStat.h"

#include <charconv>

namespace sampler {

namespace {

// Reads one "cpu..." line after its label. Fewer than four counters is malformed; kernels older
// than the steal column simply give fewer fields.
std::optional<CpuTicks> parseCounters(std::string_view rest) {
  uint64_t fields[8] = {};
  int count = 0;
  while (count < 8) {
    while (!rest.empty() && rest.front() == ' ')
      rest.remove_prefix(1);
    if (rest.empty()) break;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v);
    if (ec != std::errc()) return std::nullopt;
    fields[count++] = v;
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
  }
  if (count < 4) return std::nullopt;
  CpuTicks t;
  t.idle = fields[3] + fields[4];
  // guest and guest_nice are already counted in user and nice, so they stay out of the total.
  for (int i = 0; i < 8; ++i)
    t.total += fields[i];
  return t;
}

}  // namespace

ProcStat parseProcStat(std::string_view text) {
  ProcStat out;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.starts_with("cpu")) continue;
    line.remove_prefix(3);
    size_t sp = line.find(' ');
    if (sp == std::string_view::npos) continue;
    std::string_view label = line.substr(0, sp);
    auto ticks = parseCounters(line.substr(sp));
    if (!ticks) continue;
    if (label.empty()) {
      out.all = *ticks;
      continue;
    }
    int cpu = -1;
    auto [end, ec] = std::from_chars(label.data(), label.data() + label.size(), cpu);
    if (ec != std::errc() || end != label.data() + label.size() || cpu < 0) continue;
    out.perCpu[cpu] = *ticks;
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
