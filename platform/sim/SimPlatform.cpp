#include "platform/sim/SimPlatform.h"

#include "platform/ToolLocator.h"

namespace platform::sim {
namespace {

constexpr int32_t kVendorUsagePage = 0xFF00;
constexpr int32_t kTemperatureSensorUsage = 5;
constexpr int64_t kTemperatureEvent = 15;

class SimHIDService : public HIDServiceClient {
 public:
  explicit SimHIDService(HIDSensor sensor) : sensor_(std::move(sensor)) {}
  plist::Value copyProperty(std::string_view key) const override {
    return key == "LocationID" ? sensor_.locationID : plist::Value();
  }
  std::optional<double> copyEventFloatValue(int64_t eventType, int64_t field) const override {
    if (eventType != kTemperatureEvent || field != (kTemperatureEvent << 16)) return std::nullopt;
    return sensor_.temperature;
  }

 private:
  HIDSensor sensor_;
};

}  // namespace

std::vector<CPUTicks> SimProcessorLoad::read() {
  std::vector<CPUTicks> host = host_ ? host_->read() : std::vector<CPUTicks>{};
  if (host.empty()) return {};
  std::vector<CPUTicks> ticks;
  ticks.reserve(static_cast<size_t>(cpuCount_));
  for (int i = 0; i < cpuCount_; ++i) {
    CPUTicks t = host[static_cast<size_t>(i) % host.size()];
    t.cpuNum = i;
    ticks.push_back(t);
  }
  return ticks;
}

std::optional<std::vector<std::unique_ptr<HIDServiceClient>>> SimHIDEventSystem::copyServices(
    int32_t usagePage, int32_t usage) {
  std::vector<std::unique_ptr<HIDServiceClient>> services;
  if (usagePage == kVendorUsagePage && usage == kTemperatureSensorUsage) {
    const double load = thermal_ ? thermal_->sampleLoad() : 0.0;
    for (HIDSensor s : sensors_) {
      if (s.temperature && *s.temperature > 0)
        s.temperature = SimThermal::warmed(*s.temperature, load);
      services.push_back(std::make_unique<SimHIDService>(std::move(s)));
    }
  }
  return services;
}

std::optional<std::vector<std::optional<plist::Value>>> SimIORegistry::servicesMatching(
    std::string_view className) {
  if (className != "IOAccelerator") return std::vector<std::optional<plist::Value>>{};
  return accelerators_;
}

SimPlatform::SimPlatform(Profile profile, std::string label, std::unique_ptr<ProcessorLoad> host)
    : profile_(std::move(profile)),
      label_(std::move(label)),
      smc_([this] { return SimThermal::warmedKeys(profile_.smc, thermal_.sampleLoad()); }),
      hid_(profile_.hid, &thermal_),
      registry_(profile_.ioAccelerators),
      load_(profile_.cpuCount, std::move(host)),
      tools_(standInToolPaths()) {}

std::vector<std::pair<std::string, std::string>> SimPlatform::toolEnvironment() const {
  return {{"FERROLUX_SIM_PROFILE", profile_.path}};
}

}  // namespace platform::sim
