// The text of --machine-info: the title lines of the monitor window, the processor type, the
// gate's verdict and the platform's name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

struct MachineFacts {
  std::string chip;
  int64_t eCores = 0;
  int64_t pCores = 0;
  std::string gpu;
  int64_t gpuCores = -1;
  std::string processorType;
  bool refused = false;
  std::string platform;
  bool hasGPU = true;  // false where the platform found no GPU at all
};

// "Apple M1 · 4 E-cores + 4 P-cores"; without efficiency cores "AMD EPYC · 2 cores".
std::string chipLine(const MachineFacts& facts);
// "Apple M1 · 8 GPU cores", or "... · GPU core count unknown"; "No GPU" on a machine without one.
std::string gpuLine(const MachineFacts& facts);
std::string formatMachineInfo(const MachineFacts& facts);

class ModuleModelMainTitle;

// Gathers the facts from a platform (runs system_profiler once).
MachineFacts readMachineFacts(platform::Platform& platform);
// The same from a title model that has already read them.
MachineFacts machineFacts(platform::Platform& platform, const ModuleModelMainTitle& title);
