#include "app/metrics/ModuleModelFrequency.h"

#include "app/metrics/SGPowerMetrics.h"
#include "app/metrics/SampleReaders.h"

ModuleModelFrequency::ModuleModelFrequency(const SGPowerMetrics& store, QObject* parent)
    : QObject(parent), store_(store) {
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(notifications::kClearData, this, [this] { clearData(); });
  center.addObserver(notifications::kUpdateView, this, [this] { updateView(); });
}

void ModuleModelFrequency::update() {
  // Clusters arrive in MHz from the store; the GPU entry is in MHz as the sampler prints it.
  const auto clusters = store_.clusterFrequencies();
  auto mhz = [&](const char* key) {
    auto it = clusters.find(key);
    return it == clusters.end() ? 0.0 : it->second;
  };
  ECore_ = mhz(sample::kECluster) / 1000;
  PCore_ = mhz(sample::kPCluster) / 1000;
  pushHistory(historicECore_, ECore_);
  pushHistory(historicPCore_, PCore_);

  const plist::Dict gpu = store_.gpuFrequencyValues();
  auto it = gpu.find("freq_hz");
  GPU_ = it == gpu.end() ? 0 : it->second.number().value_or(0) / 1000;
  pushHistory(historicGPU_, GPU_);
}

void ModuleModelFrequency::clearData() {
  ECore_ = PCore_ = GPU_ = 0;
  historicECore_.clear();
  historicPCore_.clear();
  historicGPU_.clear();
  emit changed();
}
