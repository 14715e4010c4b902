// The real machine. Facts are read once at construction; loads, GPU statistics and temperatures
// are read afresh on every call. There is no I/O registry on Linux: the GPU question is answered
// by LinuxGPUStatistics instead. Temperatures come from the machine's own sensors
// (LinuxTemperatureSensors); the SMC seam answers with an Intel Mac's real SMC keys only.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/SysctlTable.h"
#include "platform/linux/LinuxGPU.h"
#include "platform/linux/LinuxProcessorLoad.h"
#include "platform/linux/LinuxSensors.h"
#include "platform/linux/Nvml.h"

namespace platform {

struct LinuxOptions {
  std::string root = "/";
  std::string machine;  // uname's machine string; empty: the running kernel's
  bool useNvml = true;  // tests on captured trees turn NVML off
};

class LinuxPlatform : public Platform {
 public:
  explicit LinuxPlatform(LinuxOptions options = {});
  // The SMC snapshot refers to this object.
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  std::string name() const override { return "linux"; }
  Sysctl& sysctl() override { return sysctl_; }
  SMCUserClient& smc() override { return smc_; }
  HIDEventSystem& hid() override { return hid_; }
  IORegistry& ioRegistry() override { return registry_; }
  ProcessorLoad& processorLoad() override { return load_; }
  GPUStatistics* gpuStatistics() override { return &gpu_; }
  TemperatureSensors* temperatureSensors() override { return &sensors_; }
  const ToolPaths& toolPaths() const override { return tools_; }
  OSVersion osVersion() const override { return {}; }
  bool samplerNeedsAppleSilicon() const override { return false; }
  std::vector<std::pair<std::string, std::string>> toolEnvironment() const override { return {}; }

 private:
  // Linux has no HID event system for temperatures: the hwmon sensors reach the application
  // through temperatureSensors(), so the HID side lists no services.
  class NoHID : public HIDEventSystem {
   public:
    std::optional<std::vector<std::unique_ptr<HIDServiceClient>>> copyServices(int32_t,
                                                                               int32_t) override {
      return std::vector<std::unique_ptr<HIDServiceClient>>{};
    }
  };
  class NoRegistry : public IORegistry {
   public:
    std::optional<std::vector<std::optional<plist::Value>>> servicesMatching(
        std::string_view) override {
      return std::nullopt;
    }
  };

  linux_fs::Root root_;
  SysctlTable sysctl_;
  SMCEmulator smc_;
  NoHID hid_;
  NoRegistry registry_;
  LinuxProcessorLoad load_;
  LinuxGPUStatistics gpu_;
  ToolPaths tools_;
  // The NVIDIA GPU's temperature, read with the hwmon sensors; the GPU statistics keep their own
  // handle, so neither reader shares lazily loaded state.
  std::unique_ptr<Nvml> nvmlTemperature_;
  LinuxTemperatureSensors sensors_;
};

}  // namespace platform
