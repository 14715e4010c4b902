// NVIDIA GPUs through the management library, loaded at run time so the sampler neither needs
// the driver to build nor fails where it is missing.
#pragma once

#include <memory>
#include <string>

#include "tools/powermetrics/DrmGpu.h"

namespace sampler {

class NvmlGpu {
 public:
  // Loads `library` (the driver's "libnvidia-ml.so.1" by default; tests pass a stand-in),
  // initialises it and takes device 0. available() says whether all of that worked.
  explicit NvmlGpu(const std::string& library = "libnvidia-ml.so.1");
  ~NvmlGpu();
  NvmlGpu(const NvmlGpu&) = delete;
  NvmlGpu& operator=(const NvmlGpu&) = delete;

  bool available() const;
  // Graphics clock, utilisation, total energy (converted to microjoules) and power.
  GpuReading read() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sampler
