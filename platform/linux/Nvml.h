// NVIDIA's management library, bound at run time so that machines without the driver need
// neither the library nor any error: a missing library simply reads as "no NVIDIA GPU". One
// loader serves the platform back end (name, load, cores) and the sampler (clock, load, energy).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace platform {

// The driver's library. Callers never take a path from the environment: the sampler runs as
// root, and whatever it loads runs as root with it. Tests hand in a stand-in explicitly.
inline constexpr const char* kNvmlLibrary = "libnvidia-ml.so.1";

// The library, initialised, with its first GPU. Only init, shutdown and the device look-up are
// required; each reading is nullopt when the library lacks the call (older drivers) or the
// call fails.
class NvmlLibrary {
 public:
  explicit NvmlLibrary(const std::string& library = kNvmlLibrary);
  ~NvmlLibrary();
  NvmlLibrary(const NvmlLibrary&) = delete;
  NvmlLibrary& operator=(const NvmlLibrary&) = delete;

  // Loaded, initialised and GPU 0 found.
  bool available() const;
  std::optional<std::string> name() const;
  std::optional<double> utilization() const;  // 0..1
  std::optional<int64_t> cores() const;
  std::optional<unsigned> graphicsClockMHz() const;
  // The GPU's running energy counter.
  std::optional<uint64_t> energyMillijoules() const;
  std::optional<unsigned> powerMilliwatts() const;
  // The GPU die's temperature in whole degrees Celsius.
  std::optional<unsigned> temperatureCelsius() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The first GPU as the platform seam reports it. The library is loaded on the first read, not
// when the platform is built, and only once.
class Nvml {
 public:
  explicit Nvml(std::string library = kNvmlLibrary) : library_(std::move(library)) {}

  // The first GPU's name, busy fraction and core count; nullopt without a usable library or GPU.
  std::optional<GPUReading> readFirstGPU();
  // The first GPU's temperature in degrees Celsius; nullopt without one.
  std::optional<float> readGPUTemperature();

 private:
  NvmlLibrary& library();

  std::string library_;
  std::unique_ptr<NvmlLibrary> loaded_;
};

}  // namespace platform
