#include "platform/linux/LinuxPlatform.h"

#include "platform/ToolLocator.h"
#include "platform/linux/LinuxSensors.h"
#include "platform/linux/LinuxSysctl.h"

namespace platform {

LinuxPlatform::LinuxPlatform(LinuxOptions options)
    : root_(options.root),
      sysctl_(linux_sysctl::read(
          root_, options.machine.empty() ? linux_sysctl::hostArch() : options.machine)),
      smc_([this] { return readAppleSMCKeys(root_); }),
      load_(root_),
      gpu_(root_, options.useNvml ? std::make_unique<Nvml>() : nullptr),
      tools_(standInToolPaths()),
      nvmlTemperature_(options.useNvml ? std::make_unique<Nvml>() : nullptr),
      sensors_(root_, [this]() -> std::optional<float> {
        return nvmlTemperature_ ? nvmlTemperature_->readGPUTemperature() : std::nullopt;
      }) {}

}  // namespace platform
