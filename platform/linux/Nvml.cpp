#include "platform/linux/Nvml.h"

#include <dlfcn.h>

namespace platform {
namespace {

// The few declarations needed from the library's public C interface.
using NvmlReturn = int;
using NvmlDevice = struct NvmlDeviceOpaque*;
struct NvmlUtilization {  // nvmlUtilization_t
  unsigned gpu;
  unsigned memory;
};
constexpr NvmlReturn kNvmlSuccess = 0;
constexpr int kNvmlClockGraphics = 0;
constexpr int kNvmlTemperatureGPU = 0;    // NVML_TEMPERATURE_GPU: the die
constexpr unsigned kNameBufferSize = 96;  // NVML_DEVICE_NAME_V2_BUFFER_SIZE

template <typename F>
void bind(void* handle, const char* symbol, F& fn) {
  fn = reinterpret_cast<F>(::dlsym(handle, symbol));
}

}  // namespace

struct NvmlLibrary::Impl {
  void* handle = nullptr;
  bool initialised = false;
  NvmlDevice device = nullptr;
  NvmlReturn (*shutdown)() = nullptr;
  NvmlReturn (*name)(NvmlDevice, char*, unsigned) = nullptr;
  NvmlReturn (*utilization)(NvmlDevice, NvmlUtilization*) = nullptr;
  NvmlReturn (*numCores)(NvmlDevice, unsigned*) = nullptr;  // newer drivers only
  NvmlReturn (*clock)(NvmlDevice, int, unsigned*) = nullptr;
  NvmlReturn (*energy)(NvmlDevice, unsigned long long*) = nullptr;
  NvmlReturn (*power)(NvmlDevice, unsigned*) = nullptr;
  NvmlReturn (*temperature)(NvmlDevice, int, unsigned*) = nullptr;

  ~Impl() {
    if (initialised) shutdown();
    if (handle) ::dlclose(handle);
  }
};

NvmlLibrary::NvmlLibrary(const std::string& library) : impl_(std::make_unique<Impl>()) {
  impl_->handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!impl_->handle) return;
  NvmlReturn (*init)() = nullptr;
  NvmlReturn (*handleByIndex)(unsigned, NvmlDevice*) = nullptr;
  bind(impl_->handle, "nvmlInit_v2", init);
  bind(impl_->handle, "nvmlDeviceGetHandleByIndex_v2", handleByIndex);
  bind(impl_->handle, "nvmlShutdown", impl_->shutdown);
  bind(impl_->handle, "nvmlDeviceGetName", impl_->name);
  bind(impl_->handle, "nvmlDeviceGetUtilizationRates", impl_->utilization);
  bind(impl_->handle, "nvmlDeviceGetNumGpuCores", impl_->numCores);
  bind(impl_->handle, "nvmlDeviceGetClockInfo", impl_->clock);
  bind(impl_->handle, "nvmlDeviceGetTotalEnergyConsumption", impl_->energy);
  bind(impl_->handle, "nvmlDeviceGetPowerUsage", impl_->power);
  bind(impl_->handle, "nvmlDeviceGetTemperature", impl_->temperature);
  // Without shutdown an init could not be undone; such a library is not used at all.
  if (!init || !handleByIndex || !impl_->shutdown) return;
  if (init() != kNvmlSuccess) return;
  impl_->initialised = true;
  NvmlDevice device = nullptr;
  if (handleByIndex(0, &device) == kNvmlSuccess) impl_->device = device;
}

NvmlLibrary::~NvmlLibrary() = default;

bool NvmlLibrary::available() const {
  return impl_->initialised && impl_->device != nullptr;
}

std::optional<std::string> NvmlLibrary::name() const {
  char name[kNameBufferSize] = {};
  if (!available() || !impl_->name ||
      impl_->name(impl_->device, name, kNameBufferSize) != kNvmlSuccess) {
    return std::nullopt;
  }
  name[kNameBufferSize - 1] = '\0';
  return std::string(name);
}

std::optional<double> NvmlLibrary::utilization() const {
  NvmlUtilization util{};
  if (!available() || !impl_->utilization ||
      impl_->utilization(impl_->device, &util) != kNvmlSuccess || util.gpu > 100) {
    return std::nullopt;
  }
  return util.gpu / 100.0;
}

std::optional<int64_t> NvmlLibrary::cores() const {
  unsigned cores = 0;
  if (!available() || !impl_->numCores || impl_->numCores(impl_->device, &cores) != kNvmlSuccess ||
      cores == 0) {
    return std::nullopt;
  }
  return cores;
}

std::optional<unsigned> NvmlLibrary::graphicsClockMHz() const {
  unsigned mhz = 0;
  if (!available() || !impl_->clock ||
      impl_->clock(impl_->device, kNvmlClockGraphics, &mhz) != kNvmlSuccess) {
    return std::nullopt;
  }
  return mhz;
}

std::optional<uint64_t> NvmlLibrary::energyMillijoules() const {
  unsigned long long mj = 0;
  if (!available() || !impl_->energy || impl_->energy(impl_->device, &mj) != kNvmlSuccess) {
    return std::nullopt;
  }
  return mj;
}

std::optional<unsigned> NvmlLibrary::powerMilliwatts() const {
  unsigned mw = 0;
  if (!available() || !impl_->power || impl_->power(impl_->device, &mw) != kNvmlSuccess) {
    return std::nullopt;
  }
  return mw;
}

std::optional<unsigned> NvmlLibrary::temperatureCelsius() const {
  unsigned celsius = 0;
  if (!available() || !impl_->temperature ||
      impl_->temperature(impl_->device, kNvmlTemperatureGPU, &celsius) != kNvmlSuccess) {
    return std::nullopt;
  }
  return celsius;
}

NvmlLibrary& Nvml::library() {
  if (!loaded_) loaded_ = std::make_unique<NvmlLibrary>(library_);
  return *loaded_;
}

std::optional<float> Nvml::readGPUTemperature() {
  auto celsius = library().temperatureCelsius();
  if (!celsius || *celsius == 0) return std::nullopt;
  return static_cast<float>(*celsius);
}

std::optional<GPUReading> Nvml::readFirstGPU() {
  library();
  if (!loaded_->available()) return std::nullopt;
  GPUReading reading;
  reading.name = loaded_->name().value_or("NVIDIA GPU");
  reading.utilization = loaded_->utilization().value_or(0.0);
  reading.cores = loaded_->cores();
  return reading;
}

}  // namespace platform
