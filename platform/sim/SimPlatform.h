// A virtual Mac described by a profile. Its fixed facts, SMC keys, HID sensors and accelerator
// properties come from the profile; its CPU load follows the host's, mapped onto the virtual
// CPUs, so utilization moves as the host works, and its temperatures rise with that load.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/sim/Profile.h"
#include "platform/sim/SimThermal.h"

namespace platform::sim {

// Virtual CPU i takes the ticks of host CPU i modulo the host's count.
class SimProcessorLoad : public ProcessorLoad {
 public:
  SimProcessorLoad(int cpuCount, std::unique_ptr<ProcessorLoad> host)
      : cpuCount_(cpuCount), host_(std::move(host)) {}
  std::vector<CPUTicks> read() override;

 private:
  int cpuCount_;
  std::unique_ptr<ProcessorLoad> host_;
};

class SimHIDEventSystem : public HIDEventSystem {
 public:
  // `thermal` (may be null) warms the sensors with the virtual chip's load.
  SimHIDEventSystem(std::vector<HIDSensor> sensors, SimThermal* thermal = nullptr)
      : sensors_(std::move(sensors)), thermal_(thermal) {}
  // The profile's sensors answer the temperature-sensor usage of the vendor page only.
  std::optional<std::vector<std::unique_ptr<HIDServiceClient>>> copyServices(
      int32_t usagePage, int32_t usage) override;

 private:
  std::vector<HIDSensor> sensors_;
  SimThermal* thermal_;
};

class SimIORegistry : public IORegistry {
 public:
  explicit SimIORegistry(std::vector<std::optional<plist::Value>> accelerators)
      : accelerators_(std::move(accelerators)) {}
  std::optional<std::vector<std::optional<plist::Value>>> servicesMatching(
      std::string_view className) override;

 private:
  std::vector<std::optional<plist::Value>> accelerators_;
};

class SimPlatform : public Platform {
 public:
  // `label` is what follows "sim:" in the platform's name; `hostLoad` feeds the CPU load.
  SimPlatform(Profile profile, std::string label, std::unique_ptr<ProcessorLoad> hostLoad);
  // The SMC snapshot refers to this object.
  SimPlatform(const SimPlatform&) = delete;
  SimPlatform& operator=(const SimPlatform&) = delete;

  std::string name() const override { return "sim:" + label_; }
  Sysctl& sysctl() override { return profile_.sysctl; }
  SMCUserClient& smc() override { return smc_; }
  HIDEventSystem& hid() override { return hid_; }
  IORegistry& ioRegistry() override { return registry_; }
  ProcessorLoad& processorLoad() override { return load_; }
  GPUStatistics* gpuStatistics() override { return nullptr; }
  const ToolPaths& toolPaths() const override { return tools_; }
  OSVersion osVersion() const override { return profile_.osVersion; }
  bool samplerNeedsAppleSilicon() const override { return true; }
  std::vector<std::pair<std::string, std::string>> toolEnvironment() const override;

  const Profile& profile() const { return profile_; }

 private:
  Profile profile_;
  std::string label_;
  SMCEmulator smc_;
  SimHIDEventSystem hid_;
  SimIORegistry registry_;
  SimProcessorLoad load_;
  SimThermal thermal_{load_};
  ToolPaths tools_;
};

}  // namespace platform::sim
