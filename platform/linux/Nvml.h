// NVIDIA's management library, loaded when first needed so that machines without the driver
// need neither the library nor any error: a missing library simply reads as "no NVIDIA GPU".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace platform {

class Nvml {
 public:
  // `library` is the file handed to dlopen.
  explicit Nvml(std::string library = "libnvidia-ml.so.1") : library_(std::move(library)) {}
  ~Nvml();
  Nvml(const Nvml&) = delete;
  Nvml& operator=(const Nvml&) = delete;

  // The first GPU's name, busy fraction and core count; nullopt without a usable library or GPU.
  std::optional<GPUReading> readFirstGPU();

 private:
  bool load();

  std::string library_;
  void* handle_ = nullptr;
  bool tried_ = false;
  bool initialised_ = false;
  // Entry points, bound once the library is open.
  int (*init_)() = nullptr;
  int (*shutdown_)() = nullptr;
  int (*handleByIndex_)(unsigned, void**) = nullptr;
  int (*name_)(void*, char*, unsigned) = nullptr;
  int (*utilization_)(void*, void*) = nullptr;
  int (*numCores_)(void*, unsigned*) = nullptr;
};

}  // namespace platform
