// The one command line the privileged helper runs the sampler with. The helper builds a fixed
// vector, so anything else is a caller we do not know and is refused rather than guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace sampler {

// The longest window we agree to sleep through. The application sends whatever interval its
// setting holds; a bound keeps a root process from being parked for days by a bad value.
inline constexpr int64_t kMaxIntervalMs = 3'600'000;

struct Request {
  int64_t intervalMs = 0;
  bool includeGpu = false;
};

// Parses the arguments after the program name:
//   -n 1 -i <ms> --samplers cpu_power[,gpu_power] -f plist
// <ms> is a plain decimal integer from 1 to kMaxIntervalMs, as the helper writes it (no sign,
// no leading zero, no fraction). Returns nullopt for anything else.
std::optional<Request> parseArguments(std::span<const std::string_view> args);

// What the program prints on standard error when parseArguments refuses.
std::string_view usageText();

// BSD sysexits' EX_USAGE: the status for a refused command line.
inline constexpr int kExitUsage = 64;

}  // namespace sampler
