#include "app/metrics/ModuleModelTemperature.h"

#include <algorithm>

namespace {

// The mean without a guard: no readings give 0/0, a NaN that is stored like any value.
double mean(const TemperatureReadings& readings) {
  double sum = 0;
  for (const auto& [name, value] : readings)
    sum += value;
  return sum / static_cast<double>(readings.size());
}

}  // namespace

ModuleModelTemperature::ModuleModelTemperature(platform::Platform& platform, QObject* parent)
    : QObject(parent), sensorTmp_(platform) {
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(notifications::kClearData, this, [this] { clearData(); });
  center.addObserver(notifications::kUpdateView, this, [this] { updateView(); });
}

void ModuleModelTemperature::update() {
  // CPU first, then GPU: on the SMC these are two separate connection cycles; the machine's own
  // sensors are read once for both.
  const auto sample = sensorTmp_.readings();
  record(sample.cpu, sample.gpu);
}

void ModuleModelTemperature::record(const TemperatureReadings& cpu,
                                    const TemperatureReadings& gpu) {
  lastCPU_ = cpu;
  lastGPU_ = gpu;
  auto byValue = [](const auto& a, const auto& b) { return a.second < b.second; };
  CPUMin_ = cpu.empty() ? -1.0 : std::min_element(cpu.begin(), cpu.end(), byValue)->second;
  CPUMax_ = cpu.empty() ? -1.0 : std::max_element(cpu.begin(), cpu.end(), byValue)->second;
  CPUAvg_ = mean(cpu);
  GPUAvg_ = mean(gpu);
  if (GPUAvg_ > kGlitchAbove && GPUAvg_ < kGlitchBelow && !historicGPUAvg_.empty())
    GPUAvg_ = historicGPUAvg_.front();
  pushHistory(historicCPUMin_, CPUMin_);
  pushHistory(historicCPUMax_, CPUMax_);
  pushHistory(historicCPUAvg_, CPUAvg_);
  pushHistory(historicGPUAvg_, GPUAvg_);
}

void ModuleModelTemperature::clearData() {
  CPUMin_ = CPUMax_ = CPUAvg_ = GPUAvg_ = 0;
  historicCPUMin_.clear();
  historicCPUMax_.clear();
  historicCPUAvg_.clear();
  historicGPUAvg_.clear();
  emit changed();
}
