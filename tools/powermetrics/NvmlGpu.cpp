#include "tools/powermetrics/NvmlGpu.h"

#include <dlfcn.h>

namespace sampler {

namespace {

// The few declarations we need from the library's public C interface.
using NvmlReturn = int;
using NvmlDevice = struct NvmlDeviceOpaque*;
struct NvmlUtilization {
  unsigned int gpu;
  unsigned int memory;
};
constexpr NvmlReturn kNvmlSuccess = 0;
constexpr int kNvmlClockGraphics = 0;

using InitFn = NvmlReturn (*)();
using ShutdownFn = NvmlReturn (*)();
using HandleFn = NvmlReturn (*)(unsigned int, NvmlDevice*);
using ClockFn = NvmlReturn (*)(NvmlDevice, int, unsigned int*);
using EnergyFn = NvmlReturn (*)(NvmlDevice, unsigned long long*);
using PowerFn = NvmlReturn (*)(NvmlDevice, unsigned int*);
using UtilFn = NvmlReturn (*)(NvmlDevice, NvmlUtilization*);

template <typename F>
F symbol(void* lib, const char* name) {
  return reinterpret_cast<F>(::dlsym(lib, name));
}

}  // namespace

struct NvmlGpu::Impl {
  void* lib = nullptr;
  bool initialised = false;
  NvmlDevice device = nullptr;
  ShutdownFn shutdown = nullptr;
  ClockFn clock = nullptr;
  EnergyFn energy = nullptr;
  PowerFn power = nullptr;
  UtilFn util = nullptr;

  ~Impl() {
    if (initialised && shutdown) shutdown();
    if (lib) ::dlclose(lib);
  }
};

NvmlGpu::NvmlGpu(const std::string& library) : impl_(std::make_unique<Impl>()) {
  impl_->lib = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!impl_->lib) return;
  auto init = symbol<InitFn>(impl_->lib, "nvmlInit_v2");
  auto handle = symbol<HandleFn>(impl_->lib, "nvmlDeviceGetHandleByIndex_v2");
  impl_->shutdown = symbol<ShutdownFn>(impl_->lib, "nvmlShutdown");
  impl_->clock = symbol<ClockFn>(impl_->lib, "nvmlDeviceGetClockInfo");
  impl_->energy = symbol<EnergyFn>(impl_->lib, "nvmlDeviceGetTotalEnergyConsumption");
  impl_->power = symbol<PowerFn>(impl_->lib, "nvmlDeviceGetPowerUsage");
  impl_->util = symbol<UtilFn>(impl_->lib, "nvmlDeviceGetUtilizationRates");
  if (!init || !handle || !impl_->shutdown) return;
  if (init() != kNvmlSuccess) return;
  impl_->initialised = true;
  NvmlDevice dev = nullptr;
  if (handle(0, &dev) == kNvmlSuccess) impl_->device = dev;
}

NvmlGpu::~NvmlGpu() = default;

bool NvmlGpu::available() const {
  return impl_->initialised && impl_->device != nullptr;
}

GpuReading NvmlGpu::read() const {
  GpuReading r;
  if (!available()) return r;
  NvmlDevice d = impl_->device;
  unsigned int mhz = 0;
  if (impl_->clock && impl_->clock(d, kNvmlClockGraphics, &mhz) == kNvmlSuccess) r.freqMHz = mhz;
  NvmlUtilization u{};
  if (impl_->util && impl_->util(d, &u) == kNvmlSuccess && u.gpu <= 100) r.busy = u.gpu / 100.0;
  unsigned long long mj = 0;
  if (impl_->energy && impl_->energy(d, &mj) == kNvmlSuccess) r.energyUj = mj * 1000ULL;
  unsigned int mw = 0;
  if (impl_->power && impl_->power(d, &mw) == kNvmlSuccess) r.powerW = mw / 1000.0;
  return r;
}

}  // namespace sampler
