#include "tools/powermetrics/Arguments.h"

#include <charconv>

namespace sampler {

namespace {

std::optional<int64_t> parseInterval(std::string_view s) {
  // Canonical decimal only: the helper prints an integer with no sign or padding, so any other
  // spelling did not come from it.
  if (s.empty() || s.size() > 19 || s.front() == '0') return std::nullopt;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (v < 1 || v > kMaxIntervalMs) return std::nullopt;
  return v;
}

}  // namespace

std::optional<Request> parseArguments(std::span<const std::string_view> args) {
  if (args.size() != 8) return std::nullopt;
  if (args[0] != "-n" || args[1] != "1" || args[2] != "-i" || args[4] != "--samplers" ||
      args[6] != "-f" || args[7] != "plist") {
    return std::nullopt;
  }
  Request r;
  auto interval = parseInterval(args[3]);
  if (!interval) return std::nullopt;
  r.intervalMs = *interval;
  if (args[5] == "cpu_power") {
    r.includeGpu = false;
  } else if (args[5] == "cpu_power,gpu_power") {
    r.includeGpu = true;
  } else {
    return std::nullopt;
  }
  return r;
}

std::string_view usageText() {
  return "usage: powermetrics -n 1 -i <milliseconds> --samplers cpu_power[,gpu_power] -f plist\n"
         "  <milliseconds>: a whole number from 1 to 3600000\n";
}

}  // namespace sampler
