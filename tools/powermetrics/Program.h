// The whole run of the sampler behind a testable call: arguments in, one document out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/powermetrics/LinuxSampler.h"

namespace sampler {

// Settings that cannot travel on the fixed command line, taken from the environment:
// FERROLUX_SYSFS_ROOT (the tree to read instead of "/"), FERROLUX_SIM_PROFILE (a profile file:
// report that virtual Mac), FERROLUX_SIM_SEED (a decimal seed: repeatable sim figures).
struct Environment {
  std::string sysfsRoot = "/";
  std::optional<std::string> simProfile;
  std::optional<uint64_t> simSeed;
  std::string nvmlLibrary = platform::kNvmlLibrary;
};

// Reads the process environment. A seed that is not a decimal number is an error in `error`.
std::optional<Environment> environmentFromProcess(std::string& error);

// Exit statuses besides 0 and the usage status 64 (BSD sysexits).
inline constexpr int kExitNoInput = 66;  // the sim profile cannot be read or is malformed
inline constexpr int kExitIoError = 74;  // standard output could not take the document
inline constexpr int kExitConfig = 78;   // an environment setting is malformed

// Runs one sample. On success `out` holds the document and its NUL separator and the result
// is 0; otherwise `err` says why and the result is the exit status.
int runSampler(std::span<const std::string_view> args, const Environment& env,
               const WindowFn& window, std::string& out, std::string& err);

}  // namespace sampler
