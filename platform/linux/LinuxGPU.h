// The GPU of a Linux machine: NVML for NVIDIA cards, else the DRM devices of sysfs (amdgpu
// reports how busy it is; other drivers give a name only).
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/Platform.h"
#include "platform/linux/Nvml.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

// A DRM card's directory name ("card1"), as opposed to its connectors ("card1-DP-2").
bool isDrmCardName(std::string_view name);

// The first DRM card's name and busy fraction; a card that reports gpu_busy_percent is preferred
// over one that does not. nullopt when there is no card.
std::optional<GPUReading> readDRM(const linux_fs::Root& root);

class LinuxGPUStatistics : public GPUStatistics {
 public:
  // `nvml` may be null (tests on captured trees, or no NVIDIA support wanted).
  LinuxGPUStatistics(linux_fs::Root root, std::unique_ptr<Nvml> nvml)
      : root_(std::move(root)), nvml_(std::move(nvml)) {}
  GPUReading read() override;

 private:
  linux_fs::Root root_;
  std::unique_ptr<Nvml> nvml_;
};

}  // namespace platform
