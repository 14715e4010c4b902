#include "app/metrics/ModuleModelPower.h"

#include <algorithm>

#include "app/metrics/PowerAxis.h"
#include "app/metrics/SGPowerMetrics.h"

namespace {

double numberOrZero(const plist::Dict& values, const char* key) {
  auto it = values.find(key);
  if (it == values.end()) return 0;
  return it->second.number().value_or(0);
}

}  // namespace

ModuleModelPower::ModuleModelPower(const SGPowerMetrics& store, bool isOS13OrLater, QObject* parent)
    : QObject(parent), store_(store), isOS13OrLater_(isOS13OrLater), axisLabels_{"30", "25", "20",
                                                                                 "15", "10", "5",
                                                                                 "0"} {
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(notifications::kClearData, this, [this] { clearData(); });
  center.addObserver(notifications::kUpdateView, this, [this] { updateView(); });
  emit changed();
}

void ModuleModelPower::update() {
  const plist::Dict values = store_.powerValues();
  const double ms = store_.msSampling();
  // Energies over a window of `ms` milliseconds divided by it give watts; the combined figure is
  // already in milliwatts.
  CPUEnergy_ = numberOrZero(values, "cpu_energy") / ms;
  PKGEnergy_ = isOS13OrLater_ ? numberOrZero(values, "combined_power") / 1000
                              : numberOrZero(values, "package_energy") / ms;
  DRAMEnergy_ = numberOrZero(values, "dram_energy") / ms;
  GPUEnergy_ = numberOrZero(values, "gpu_energy") / ms;
  pushHistory(historicCPU_, CPUEnergy_);
  pushHistory(historicDRAM_, DRAMEnergy_);
  pushHistory(historicPKG_, PKGEnergy_);
  pushHistory(historicGPU_, GPUEnergy_);
  updateAxis();
}

void ModuleModelPower::updateAxis() {
  const double m =
      historicPKG_.empty() ? 0 : *std::max_element(historicPKG_.begin(), historicPKG_.end());
  axisLabels_ = powerAxisLabels(m);
  axisMaxValue_ = axisLabels_.front().toDouble();
}

void ModuleModelPower::clearData() {
  CPUEnergy_ = DRAMEnergy_ = GPUEnergy_ = PKGEnergy_ = 0;
  historicCPU_.clear();
  historicDRAM_.clear();
  historicPKG_.clear();
  historicGPU_.clear();
  emit changed();
}
