#include "app/metrics/ModuleModelPower.h"

#include <algorithm>
#include <limits>

#include "app/metrics/PowerAxis.h"
#include "app/metrics/SGPowerMetrics.h"

namespace {

// The entry's number; 0, with `reported` false, when it is absent or not a number.
double numberOrZero(const plist::Dict& values, const char* key, bool& reported) {
  auto it = values.find(key);
  const std::optional<double> n = it == values.end() ? std::nullopt : it->second.number();
  reported = n.has_value();
  return n.value_or(0);
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
  auto reported = [this](Domain d) -> bool& { return reported_[static_cast<std::size_t>(d)]; };
  CPUEnergy_ = numberOrZero(values, "cpu_energy", reported(Domain::CPU)) / ms;
  PKGEnergy_ = isOS13OrLater_ ? numberOrZero(values, "combined_power", reported(Domain::PKG)) / 1000
                              : numberOrZero(values, "package_energy", reported(Domain::PKG)) / ms;
  DRAMEnergy_ = numberOrZero(values, "dram_energy", reported(Domain::DRAM)) / ms;
  GPUEnergy_ = numberOrZero(values, "gpu_energy", reported(Domain::GPU)) / ms;
  // The entries the sampler could not read, and why (only the Linux sampler lists them).
  const plist::Value& unread = store_.data()["processor"]["unread_energy"];
  const auto reason = [&unread](const char* entry) -> std::optional<std::string> {
    const plist::Value& why = unread[entry];
    if (why.isNone()) return std::nullopt;
    const std::string* text = why.string();
    return text ? *text : std::string();
  };
  const auto set = [this](Domain d, std::optional<std::string> why) {
    unreadReasons_[static_cast<std::size_t>(d)] = std::move(why);
  };
  set(Domain::CPU, reason("cpu_energy"));
  set(Domain::PKG, reason(isOS13OrLater_ ? "combined_power" : "package_energy"));
  set(Domain::DRAM, reason("dram_energy"));
  set(Domain::GPU, reason("gpu_energy"));
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

double ModuleModelPower::reportedWatts(Domain domain) const {
  if (!isReported(domain)) return std::numeric_limits<double>::quiet_NaN();
  switch (domain) {
    case Domain::CPU:
      return CPUEnergy_;
    case Domain::DRAM:
      return DRAMEnergy_;
    case Domain::GPU:
      return GPUEnergy_;
    case Domain::PKG:
      break;
  }
  return PKGEnergy_;
}

void ModuleModelPower::clearData() {
  CPUEnergy_ = DRAMEnergy_ = GPUEnergy_ = PKGEnergy_ = 0;
  reported_.fill(true);
  historicCPU_.clear();
  historicDRAM_.clear();
  historicPKG_.clear();
  historicGPU_.clear();
  emit changed();
}
