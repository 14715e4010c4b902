// The GPU of a Linux machine: NVML for NVIDIA cards, else the DRM devices of sysfs (amdgpu
// reports how busy it is; other drivers give a name only). A DRM card is named by its driver's
// product name where it has one, else by the system's PCI id list, else by its PCI ids.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/Platform.h"
#include "platform/linux/Nvml.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

// A DRM card's directory name ("card1"), as opposed to its connectors ("card1-DP-2").
bool isDrmCardName(std::string_view name);

// Device names from the system's PCI id list (pciutils' or hwdata's pci.ids below the root),
// each looked up once: the list is over a megabyte, and a GPU's name is asked for every sample.
class PciIdNames {
 public:
  explicit PciIdNames(linux_fs::Root root) : root_(std::move(root)) {}
  // "AMD Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]": the vendor's short name where we know
  // it (else the list's), then the device's; nullopt when the list lacks the device or there is
  // no list.
  std::optional<std::string> name(int64_t vendor, int64_t device);

 private:
  linux_fs::Root root_;
  std::map<std::pair<int64_t, int64_t>, std::optional<std::string>> cache_;
};

// The first DRM card's name and busy fraction; a card that reports gpu_busy_percent is preferred
// over one that does not. nullopt when there is no card. Without `names` a card without a
// product name is named by its PCI ids.
std::optional<GPUReading> readDRM(const linux_fs::Root& root, PciIdNames* names = nullptr);

class LinuxGPUStatistics : public GPUStatistics {
 public:
  // `nvml` may be null (tests on captured trees, or no NVIDIA support wanted).
  LinuxGPUStatistics(linux_fs::Root root, std::unique_ptr<Nvml> nvml)
      : root_(root), nvml_(std::move(nvml)), names_(std::move(root)) {}
  GPUReading read() override;

 private:
  linux_fs::Root root_;
  std::unique_ptr<Nvml> nvml_;
  PciIdNames names_;
};

}  // namespace platform
