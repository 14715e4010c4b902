// A platform assembled from parts a test sets directly.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/SysctlTable.h"
#include "platform/linux/LinuxProcessorLoad.h"

class FakeRegistry : public platform::IORegistry {
 public:
  std::optional<std::vector<std::optional<plist::Value>>> services;
  int calls = 0;
  std::optional<std::vector<std::optional<plist::Value>>> servicesMatching(
      std::string_view) override {
    ++calls;
    return services;
  }
};

class FakeGPU : public platform::GPUStatistics {
 public:
  platform::GPUReading reading;
  platform::GPUReading read() override { return reading; }
};

class FakePlatform : public platform::Platform {
 public:
  platform::SysctlTable table;
  FakeRegistry registry;
  std::unique_ptr<FakeGPU> gpu;
  platform::ToolPaths tools{"/usr/bin/nice", "/nonexistent/powermetrics",
                            "/nonexistent/system_profiler", "/bin/true"};
  std::vector<std::pair<std::string, std::string>> env;
  bool needsAppleSilicon = true;

  std::string name() const override { return "fake"; }
  platform::Sysctl& sysctl() override { return table; }
  platform::SMCUserClient& smc() override { return smc_; }
  platform::HIDEventSystem& hid() override { return hid_; }
  platform::IORegistry& ioRegistry() override { return registry; }
  platform::ProcessorLoad& processorLoad() override { return load_; }
  platform::GPUStatistics* gpuStatistics() override { return gpu.get(); }
  const platform::ToolPaths& toolPaths() const override { return tools; }
  platform::OSVersion osVersion() const override { return {13, 0, 0}; }
  bool samplerNeedsAppleSilicon() const override { return needsAppleSilicon; }
  std::vector<std::pair<std::string, std::string>> toolEnvironment() const override { return env; }

 private:
  class NoHID : public platform::HIDEventSystem {
   public:
    std::optional<std::vector<std::unique_ptr<platform::HIDServiceClient>>> copyServices(
        int32_t, int32_t) override {
      return std::nullopt;
    }
  };
  class NoLoad : public platform::ProcessorLoad {
   public:
    std::vector<platform::CPUTicks> read() override { return {}; }
  };
  platform::SMCEmulator smc_{nullptr};
  NoHID hid_;
  NoLoad load_;
};

// Hands out one /proc/stat text per read, the last one again when the script runs out.
class ScriptedLoad : public platform::ProcessorLoad {
 public:
  std::deque<std::string> texts;
  std::vector<platform::CPUTicks> read() override {
    if (texts.empty()) return {};
    std::string t = texts.front();
    if (texts.size() > 1) texts.pop_front();
    return platform::parseProcStat(t);
  }
};

class ScriptedPlatform : public FakePlatform {
 public:
  ScriptedLoad load;
  platform::ProcessorLoad& processorLoad() override { return load; }
};
