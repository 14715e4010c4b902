// The machine's temperature source, chosen once from its model identifier: the HID sensors
// ("PMU") on exactly the first-generation Apple Silicon models, the SMC everywhere else (an
// unknown or empty identifier included). For the SMC it builds the key reader, which discovers
// the keys at once. A platform that names its own sensors (Linux) is the source "sensors"
// instead, whatever the model: every sensor counts as its driver means it, however many there
// are, and the SMC keys among them count only where the Apple Silicon tables name them on an
// Apple Silicon processor (on an Intel Mac the same keys name other parts).
//
// Not thread-safe: built with the temperature model and read by it on the main thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/metrics/SGM1IOHIDSensors.h"
#include "app/metrics/smc/SGM1SMCSensorTemperature.h"
#include "platform/Platform.h"

class SGM1SensorTemperature {
 public:
  explicit SGM1SensorTemperature(platform::Platform& platform);

  // "PMU" or "SMC" for a model identifier; the match is exact.
  static std::string chooseSensorType(std::string_view machineModel);
  static constexpr std::string_view kOwnSensors = "sensors";

  const std::string& machineModel() const { return machineModel_; }
  const std::string& sensorType() const { return sensorType_; }
  // The SMC reader; null unless the source is "SMC".
  SGM1SMCSensorTemperature* smcTmp() const { return smcTmp_.get(); }

  struct Sample {
    TemperatureReadings cpu, gpu;
  };
  // One sample's CPU and GPU readings from the chosen source, already kept to their tables; each
  // source is read once for both.
  Sample readings();
  // The machine's own sensors as read, with the role each counts for (SMCKey resolved to CPU, GPU
  // or Other); empty unless the source is "sensors". What --sensors lists.
  std::vector<platform::TemperatureSensor> ownSensors();
  // Every HID sensor as read, unfiltered (what --sensors lists).
  TemperatureReadings allHIDReadings();

 private:
  platform::HIDEventSystem& hid_;
  platform::TemperatureSensors* own_;
  const bool appleSilicon_;
  const std::string machineModel_;
  const std::string sensorType_;
  std::unique_ptr<SGM1SMCSensorTemperature> smcTmp_;
};
