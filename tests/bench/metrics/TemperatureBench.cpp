// Cost of one temperature update: the SMC path reading 20 table keys (two connection cycles),
// and the HID path walking 40 services twice. The machine is a sim platform with no host load,
// so the figures are the readers' and the model's own work over the seam.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/metrics/ModuleModelTemperature.h"
#include "app/metrics/SGM1IOHIDSensors.h"
#include "app/metrics/smc/SGM1SMCSensorTemperature.h"
#include "platform/sim/SimPlatform.h"

namespace {

std::unique_ptr<platform::sim::SimPlatform> smcMachine() {
  platform::sim::Profile p;
  p.sysctl.set("hw.model", std::string("Mac14,10"));
  p.sysctl.set("machdep.cpu.brand_string", std::string("Apple M2 Pro"));
  for (size_t i = 0; i < 12; ++i)  // 12 CPU keys, 8 GPU keys, and the M2 substitute
    p.smc.push_back({std::string(SGM1SMCSensorTemperature::kCPUKeys[i]), "flt ",
                     platform::fltBytes(40.0f + static_cast<float>(i))});
  for (size_t i = 0; i < 8; ++i)
    p.smc.push_back({std::string(SGM1SMCSensorTemperature::kGPUKeys[i]), "flt ",
                     platform::fltBytes(35.0f + static_cast<float>(i))});
  p.smc.push_back({"Te05", "flt ", platform::fltBytes(38.0f)});
  return std::make_unique<platform::sim::SimPlatform>(std::move(p), "bench", nullptr);
}

std::unique_ptr<platform::sim::SimPlatform> hidMachine() {
  platform::sim::Profile p;
  p.sysctl.set("hw.model", std::string("Macmini9,1"));
  const char digits[] = "0123456789abcdef";
  for (int i = 0; i < 40; ++i) {
    // 16 P-core, 16 E-core and 8 GPU codes
    const char kind = i < 16 ? 'p' : i < 32 ? 'e' : 'g';
    const int64_t code =
        (int64_t{'T'} << 24) | (int64_t{kind} << 16) | (int64_t{digits[i % 16]} << 8) | 'i';
    p.hid.push_back({code, 40.0 + i % 7});
  }
  return std::make_unique<platform::sim::SimPlatform>(std::move(p), "bench", nullptr);
}

void runUpdates(benchmark::State& state, platform::Platform& machine) {
  ModuleModelTemperature model(machine);
  for (auto _ : state) {
    model.update();
    benchmark::DoNotOptimize(model.CPUAvg());
  }
}

void BM_TemperatureUpdateSMC20Keys(benchmark::State& state) {
  auto machine = smcMachine();
  runUpdates(state, *machine);
}
BENCHMARK(BM_TemperatureUpdateSMC20Keys);

void BM_TemperatureUpdateHID40Services(benchmark::State& state) {
  auto machine = hidMachine();
  runUpdates(state, *machine);
}
BENCHMARK(BM_TemperatureUpdateHID40Services);

}  // namespace
