#include "app/metrics/sysinfo/ModuleModelMainTitle.h"

#include "app/metrics/sysinfo/SGSystemGPUInfo.h"
#include "app/metrics/sysinfo/SGSystemInfo.h"
#include "app/metrics/sysinfo/SGSystemProfiler.h"

ModuleModelMainTitle::ModuleModelMainTitle(platform::Platform& platform, QObject* parent)
    : QObject(parent) {
  // Read in the order of the fields; system_profiler, the slow one, comes last.
  appleSiliconName_ = QString::fromStdString(SGSystemInfo::cpuBrand(platform.sysctl()));
  auto gpu = SGSystemGPUInfo::readGPUInfo(platform).first;
  gpuName_ = gpu ? QString::fromStdString(*gpu) : QStringLiteral("Unknown");
  // Only a platform's own GPU statistics can tell that there is no GPU; the registry's silence
  // means only that no Apple GPU answered (an Intel Mac's GPU is not one).
  hasGPU_ = gpu.has_value() || platform.gpuStatistics() == nullptr;
  numberOfECore_ = SGSystemInfo::efficiencyCoreCount(platform.sysctl());
  numberOfPCore_ = SGSystemInfo::performanceCoreCount(platform.sysctl());
  numberOfGPUCore_ = SGSystemProfiler::numberOfGPUCores(platform);
  emit changed();
}

ModuleModelMainTitle::ModuleModelMainTitle(QObject* parent)
    : ModuleModelMainTitle(platform::current(), parent) {}
