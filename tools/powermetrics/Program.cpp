#include "tools/powermetrics/Program.h"

#include <charconv>
#include <cstdlib>

#include "tools/powermetrics/Arguments.h"
#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/SimSampler.h"

namespace sampler {

std::optional<Environment> environmentFromProcess(std::string& error) {
  Environment env;
  if (const char* root = std::getenv("FERROLUX_SYSFS_ROOT"); root && *root) env.sysfsRoot = root;
  if (const char* profile = std::getenv("FERROLUX_SIM_PROFILE"); profile && *profile) {
    env.simProfile = profile;
  }
  if (const char* seed = std::getenv("FERROLUX_SIM_SEED"); seed && *seed) {
    std::string_view s(seed);
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) {
      error = "FERROLUX_SIM_SEED is not a decimal number: " + std::string(s) + "\n";
      return std::nullopt;
    }
    env.simSeed = v;
  }
  return env;
}

int runSampler(std::span<const std::string_view> args, const Environment& env,
               const WindowFn& window, std::string& out, std::string& err) {
  auto request = parseArguments(args);
  if (!request) {
    err = usageText();
    return kExitUsage;
  }

  Sample sample;
  if (env.simProfile) {
    // Load before the window so a bad profile fails at once instead of after a sleep.
    std::string why;
    auto profile = loadSimProfile(*env.simProfile, why);
    if (!profile) {
      err = why + "\n";
      return kExitNoInput;
    }
    SimOptions options{env.sysfsRoot, request->includeGpu, env.simSeed};
    sample = sampleSim(*profile, options, request->intervalMs, window);
  } else {
    LinuxOptions options{env.sysfsRoot, request->includeGpu, env.nvmlLibrary};
    sample = sampleLinux(options, request->intervalMs, window);
  }

  out = writeDocument(sample, currentDate());
  if (out.empty()) {
    err = "could not write the sample document\n";
    return kExitIoError;
  }
  return 0;
}

}  // namespace sampler
