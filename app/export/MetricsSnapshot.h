// What one scrape exports: the figures of the latest sample and the counters since start, as
// plain values in base units. A figure that is not a number is left out of the scrape; an
// absent group (a model this machine does not have) leaves its whole family out.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace fxexport {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct MetricsSnapshot {
  // Label values of the families below, in the order of their arrays.
  static constexpr std::array<const char*, 4> kPowerDomains{"package", "cpu", "gpu", "dram"};
  static constexpr std::array<const char*, 3> kFrequencyDomains{"ecore", "pcore", "gpu"};
  static constexpr std::array<const char*, 4> kTemperatureReadings{"cpu_min", "cpu_avg", "cpu_max",
                                                                   "gpu_avg"};
  static constexpr std::array<const char*, 4> kUtilizationDomains{"cpu", "ecore", "pcore", "gpu"};

  struct SensorTemperature {
    std::string key;   // four-character sensor key, "Tp01"
    std::string kind;  // "cpu" or "gpu"
    double celsius = kNaN;
  };

  // Latest sample; absent until the first one.
  std::optional<std::array<double, 4>> powerWatts;
  std::optional<std::array<double, 3>> frequencyHertz;
  std::optional<std::array<double, 4>> temperatureCelsius;
  std::vector<SensorTemperature> sensorTemperatures;
  std::optional<std::array<double, 4>> utilizationRatio;
  double sampleDurationSeconds = kNaN;  // the sampler's window behind the latest sample

  // Since start, monotonic.
  std::array<double, 4> energyJoules{};
  uint64_t samples = 0;

  bool helperUp = false;

  // ferrolux_build_info labels.
  std::string version;
  std::string platform;
  std::string chip;
};

}  // namespace fxexport
