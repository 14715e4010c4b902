// CPU and GPU temperatures from the SMC. The keys this machine's SMC has are discovered once, at
// construction, and kept only where they are in one of the two fixed tables; every read then
// asks for exactly those keys, decodes them and keeps the positive readings. The same tables
// serve every machine: its SMC decides which of their keys exist.
//
// On a chip whose brand names "M2", CPU readings below 20 °C are replaced by the "Te05" reading;
// when that key gives no positive reading, those CPU readings are left out rather than reported
// as 0 °C.
//
// Not thread-safe: built and read by the temperature model on the main thread.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>

#include "app/metrics/TemperatureReadings.h"
#include "app/metrics/smc/SGM1SMCSensors.h"

class SGM1SMCSensorTemperature : public SGM1SMCSensors {
 public:
  static const std::array<std::string_view, 22> kCPUKeys;
  static const std::array<std::string_view, 17> kGPUKeys;
  static constexpr std::string_view kM2SubstituteKey = "Te05";
  static constexpr double kM2SubstituteBelow = 20.0;

  static bool isCPUKey(std::string_view key);
  static bool isGPUKey(std::string_view key);

  // Runs discoverTemperatureKeys. `sysctl` gives the brand string on every CPU read.
  SGM1SMCSensorTemperature(platform::SMCUserClient& client, platform::Sysctl& sysctl);

  void discoverTemperatureKeys();
  TemperatureReadings readCPUTemperatures();
  TemperatureReadings readGPUTemperatures();

  // Key → data type, table keys only; empty when the SMC cannot be reached.
  const std::map<std::string, std::string>& availableTemperatureKeys() const {
    return availableTemperatureKeys_;
  }

 private:
  // Reads every available key that `inTable` accepts, with the connection already open.
  TemperatureReadings readKeys(bool (*inTable)(std::string_view));
  bool isM2() const;

  platform::Sysctl& sysctl_;
  std::map<std::string, std::string> availableTemperatureKeys_;
};
