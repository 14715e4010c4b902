#include "app/metrics/SGM1SensorTemperature.h"

#include <array>

#include "app/metrics/sysinfo/SGSystemInfo.h"

namespace {

// The first generation of Apple Silicon machines keeps its temperatures in HID sensors.
constexpr std::array<std::string_view, 5> kPMUModels = {"MacBookPro17,1", "MacBookAir10,1",
                                                        "Macmini9,1", "iMac21,1", "iMac21,2"};

}  // namespace

std::string SGM1SensorTemperature::chooseSensorType(std::string_view machineModel) {
  for (std::string_view m : kPMUModels) {
    if (machineModel == m) return "PMU";
  }
  return "SMC";
}

SGM1SensorTemperature::SGM1SensorTemperature(platform::Platform& platform)
    : hid_(platform.hid()),
      own_(platform.temperatureSensors()),
      appleSilicon_(SGSystemInfo::cpuType(platform.sysctl()) == "ARM"),
      machineModel_(SGSystemInfo::machineModel(platform.sysctl())),
      sensorType_(own_ ? std::string(kOwnSensors) : chooseSensorType(machineModel_)) {
  if (sensorType_ == "SMC")
    smcTmp_ = std::make_unique<SGM1SMCSensorTemperature>(platform.smc(), platform.sysctl());
}

TemperatureReadings SGM1SensorTemperature::allHIDReadings() {
  return SGM1IOHIDSensors::readTemperatureSensors(
      hid_, SGM1IOHIDSensors::kUsagePage, SGM1IOHIDSensors::kUsage, SGM1IOHIDSensors::kEventType);
}

std::vector<platform::TemperatureSensor> SGM1SensorTemperature::ownSensors() {
  using platform::SensorRole;
  if (!own_) return {};
  std::vector<platform::TemperatureSensor> sensors = own_->read();
  for (auto& s : sensors) {
    if (s.role != SensorRole::SMCKey) continue;
    s.role = !appleSilicon_                               ? SensorRole::Other
             : SGM1SMCSensorTemperature::isCPUKey(s.name) ? SensorRole::CPU
             : SGM1SMCSensorTemperature::isGPUKey(s.name) ? SensorRole::GPU
                                                          : SensorRole::Other;
  }
  return sensors;
}

SGM1SensorTemperature::Sample SGM1SensorTemperature::readings() {
  if (sensorType_ == "SMC") {
    if (!smcTmp_) return {};
    return {smcTmp_->readCPUTemperatures(), smcTmp_->readGPUTemperatures()};
  }
  if (!own_) {
    const TemperatureReadings all = allHIDReadings();
    return {SGM1IOHIDSensors::filterHIDCPU(all), SGM1IOHIDSensors::filterHIDGPU(all)};
  }
  Sample sample;
  for (const auto& s : ownSensors()) {
    // Not "> 0" but "!(> 0)", as on the SMC: a NaN is dropped too.
    if (!(s.celsius > 0.0)) continue;
    if (s.role == platform::SensorRole::CPU) sample.cpu[s.name] = s.celsius;
    if (s.role == platform::SensorRole::GPU) sample.gpu[s.name] = s.celsius;
  }
  return sample;
}
