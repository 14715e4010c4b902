// One sampler run per request: "/usr/bin/nice" running `powermetrics` for one sample.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "shared/plist/Plist.h"

namespace helper {

struct SamplerConfig {
  std::string nicePath = "/usr/bin/nice";
  // The search path handed to the run, through which `powermetrics` is found.
  std::string searchPath;
  // Added to the sample interval to give the run's time limit.
  std::chrono::milliseconds grace{5000};
  size_t outputCap = 4u << 20;
};

// The search path of an installed helper: the directory the installer put the sampler in
// (beside the helper), then the system's binary directories.
std::string defaultSearchPath();
// The same with `toolsDir` in place of the install's tool directory.
std::string searchPathWith(const std::string& toolsDir);

// The eleven arguments after "/usr/bin/nice". nullopt when `msSampling` is not a finite number
// within the 64-bit signed range, which no well-behaved client sends.
std::optional<std::vector<std::string>> samplerArguments(double msSampling, bool includeGPU);

// Runs the sampler once and returns its standard output: nullopt when it could not be launched
// (or the request was unusable), otherwise what it wrote, possibly nothing. A run the helper
// had to kill (past the output cap or the time limit) yields empty data: its cut-off bytes are
// not a usable document. When the run could not be launched, `launchErrno` (if given) receives
// why; it stays 0 for a refused request.
std::optional<plist::Bytes> runSampler(const SamplerConfig& config, double msSampling,
                                       bool includeGPU, int* launchErrno = nullptr);

}  // namespace helper
