#include "app/MachineInfo.h"

#include "app/metrics/sysinfo/ModuleModelMainTitle.h"
#include "app/metrics/sysinfo/SGSystemInfo.h"

namespace {
const char* const kDot = " \u00B7 ";

std::string plural(int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}
}  // namespace

std::string chipLine(const MachineFacts& f) {
  const std::string chip = f.chip.empty() ? "Unknown processor" : f.chip;
  if (f.eCores == 0) return chip + kDot + plural(f.pCores, "core");
  return chip + kDot + plural(f.eCores, "E-core") + " + " + plural(f.pCores, "P-core");
}

std::string gpuLine(const MachineFacts& f) {
  if (!f.hasGPU) return "No GPU";
  return f.gpu + kDot +
         (f.gpuCores >= 0 ? plural(f.gpuCores, "GPU core") : "GPU core count unknown");
}

std::string formatMachineInfo(const MachineFacts& f) {
  return chipLine(f) + "\n" + gpuLine(f) + "\nProcessor type: " + f.processorType +
         "\nMonitoring: " + (f.refused ? "refused, the sampler needs Apple Silicon" : "available") +
         "\nPlatform: " + f.platform + "\n";
}

MachineFacts readMachineFacts(platform::Platform& platform) {
  ModuleModelMainTitle title(platform);
  return machineFacts(platform, title);
}

MachineFacts machineFacts(platform::Platform& platform, const ModuleModelMainTitle& title) {
  MachineFacts f;
  f.chip = title.appleSiliconName().toStdString();
  f.eCores = title.numberOfECore();
  f.pCores = title.numberOfPCore();
  f.gpu = title.gpuName().toStdString();
  f.hasGPU = title.hasGPU();
  f.gpuCores = title.numberOfGPUCore();
  f.processorType = SGSystemInfo::cpuType(platform.sysctl());
  f.refused = SGSystemInfo::processorRefused(platform);
  f.platform = platform.name();
  return f;
}
