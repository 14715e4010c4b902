#include "platform/linux/Nvml.h"

#include <dlfcn.h>

namespace platform {
namespace {
constexpr int kNvmlSuccess = 0;
constexpr unsigned kNameBufferSize = 96;  // NVML_DEVICE_NAME_V2_BUFFER_SIZE

struct NvmlUtilization {  // nvmlUtilization_t
  unsigned gpu;
  unsigned memory;
};

template <typename F>
void bind(void* handle, const char* symbol, F& fn) {
  fn = reinterpret_cast<F>(dlsym(handle, symbol));
}
}  // namespace

Nvml::~Nvml() {
  if (initialised_ && shutdown_) shutdown_();
  if (handle_) dlclose(handle_);
}

bool Nvml::load() {
  if (tried_) return initialised_;
  tried_ = true;
  handle_ = dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) return false;
  bind(handle_, "nvmlInit_v2", init_);
  bind(handle_, "nvmlShutdown", shutdown_);
  bind(handle_, "nvmlDeviceGetHandleByIndex_v2", handleByIndex_);
  bind(handle_, "nvmlDeviceGetName", name_);
  bind(handle_, "nvmlDeviceGetUtilizationRates", utilization_);
  bind(handle_, "nvmlDeviceGetNumGpuCores", numCores_);  // newer drivers only
  if (!init_ || !handleByIndex_ || !name_ || !utilization_) return false;
  initialised_ = init_() == kNvmlSuccess;
  return initialised_;
}

std::optional<GPUReading> Nvml::readFirstGPU() {
  if (!load()) return std::nullopt;
  void* device = nullptr;
  if (handleByIndex_(0, &device) != kNvmlSuccess) return std::nullopt;

  GPUReading reading;
  char name[kNameBufferSize] = {};
  if (name_(device, name, kNameBufferSize) == kNvmlSuccess) {
    name[kNameBufferSize - 1] = '\0';
    reading.name = std::string(name);
  } else {
    reading.name = "NVIDIA GPU";
  }
  NvmlUtilization util{};
  if (utilization_(device, &util) == kNvmlSuccess && util.gpu <= 100) {
    reading.utilization = util.gpu / 100.0;
  }
  unsigned cores = 0;
  if (numCores_ && numCores_(device, &cores) == kNvmlSuccess && cores > 0) reading.cores = cores;
  return reading;
}

}  // namespace platform
