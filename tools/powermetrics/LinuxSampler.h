// One sample of the real machine: every source read before and after the window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/Nvml.h"
#include "platform/linux/SysfsReader.h"
#include "tools/powermetrics/Sample.h"

namespace sampler {

struct LinuxOptions {
  std::filesystem::path root = "/";
  bool includeGpu = false;
  // The NVIDIA management library to try; empty to skip it.
  std::string nvmlLibrary = platform::kNvmlLibrary;
};

// Waits out the window between the two readings and returns its real length in nanoseconds.
// The program sleeps; tests change the tree instead and return the length they pretend passed.
using WindowFn = std::function<int64_t(int64_t intervalMs)>;

// Sleeps for intervalMs (resuming after signals) and measures the time that really passed.
int64_t sleepWindow(int64_t intervalMs);

Sample sampleLinux(const LinuxOptions& options, int64_t intervalMs, const WindowFn& window);

// The machine's model as the window's title gives it, else "Linux".
std::string linuxHardwareModel(const platform::linux_fs::Root& tree);

}  // namespace sampler
