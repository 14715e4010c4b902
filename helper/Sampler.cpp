#include "helper/Sampler.h"

#include <algorithm>
#include <cmath>

#include "shared/process/Process.h"
#include "shared/xpc/Protocol.h"

namespace helper {

std::string searchPathWith(const std::string& toolsDir) {
  return toolsDir + ":/usr/sbin:/usr/bin:/sbin:/bin";
}

std::string defaultSearchPath() {
  // The root-owned directory the installer put the sampler in, beside the helper.
  return searchPathWith(std::string(xpc::kInstalledToolsDirectory));
}

std::optional<std::vector<std::string>> samplerArguments(double msSampling, bool includeGPU) {
  // 2^63 is exactly representable; anything at or above it (or NaN) has no int64 value.
  if (!std::isfinite(msSampling) || msSampling >= 9223372036854775808.0 ||
      msSampling < -9223372036854775808.0)
    return std::nullopt;
  const auto interval = static_cast<int64_t>(msSampling);  // truncates toward zero
  return std::vector<std::string>{"-n",
                                  "-10",
                                  "powermetrics",
                                  "-n",
                                  "1",
                                  "-i",
                                  std::to_string(interval),
                                  "--samplers",
                                  includeGPU ? "cpu_power,gpu_power" : "cpu_power",
                                  "-f",
                                  "plist"};
}

std::optional<plist::Bytes> runSampler(const SamplerConfig& config, double msSampling,
                                       bool includeGPU, int* launchErrno) {
  auto args = samplerArguments(msSampling, includeGPU);
  if (!args) return std::nullopt;
  proc::Spec spec;
  spec.path = config.nicePath;
  spec.args = std::move(*args);
  // The sampler runs as root: nothing of the helper's own environment reaches it.
  spec.env = {"PATH=" + config.searchPath, "LC_ALL=C"};
  spec.outputCap = config.outputCap;
  const double ms = std::clamp(msSampling, 0.0, 86400000.0);
  spec.timeLimit = std::chrono::milliseconds(static_cast<int64_t>(ms)) + config.grace;
  const proc::Result r = proc::run(spec);
  if (!r.launched) {
    if (launchErrno) *launchErrno = r.launchErrno;
    return std::nullopt;
  }
  if (r.truncated || r.timedOut) return plist::Bytes{};
  return plist::Bytes(r.output.begin(), r.output.end());
}

}  // namespace helper
