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
      machineModel_(SGSystemInfo::machineModel(platform.sysctl())),
      sensorType_(chooseSensorType(machineModel_)) {
  if (sensorType_ == "SMC")
    smcTmp_ = std::make_unique<SGM1SMCSensorTemperature>(platform.smc(), platform.sysctl());
}

TemperatureReadings SGM1SensorTemperature::allHIDReadings() {
  return SGM1IOHIDSensors::readTemperatureSensors(
      hid_, SGM1IOHIDSensors::kUsagePage, SGM1IOHIDSensors::kUsage, SGM1IOHIDSensors::kEventType);
}

TemperatureReadings SGM1SensorTemperature::cpuReadings() {
  if (sensorType_ == "SMC") return smcTmp_ ? smcTmp_->readCPUTemperatures() : TemperatureReadings{};
  return SGM1IOHIDSensors::filterHIDCPU(allHIDReadings());
}

TemperatureReadings SGM1SensorTemperature::gpuReadings() {
  if (sensorType_ == "SMC") return smcTmp_ ? smcTmp_->readGPUTemperatures() : TemperatureReadings{};
  return SGM1IOHIDSensors::filterHIDGPU(allHIDReadings());
}
