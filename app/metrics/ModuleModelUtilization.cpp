#include "app/metrics/ModuleModelUtilization.h"

#include "app/metrics/SGPowerMetrics.h"
#include "app/metrics/SampleReaders.h"
#include "app/metrics/sysinfo/SGSystemGPUInfo.h"
#include "platform/Platform.h"

ModuleModelUtilization::ModuleModelUtilization(const SGPowerMetrics& store,
                                               platform::Platform& platform, QObject* parent)
    : QObject(parent), store_(store), platform_(platform) {
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(notifications::kClearData, this, [this] { clearData(); });
  center.addObserver(notifications::kUpdateView, this, [this] { updateView(); });
}

void ModuleModelUtilization::update() {
  if (cpuE_P_.empty()) cpuE_P_ = store_.clusterCPUs();

  CPUSnapshot snapshot = readCPUSnapshot(platform_.processorLoad());
  const CPUSnapshot deltas = tickDeltas(prevSnapShot_ ? &*prevSnapShot_ : nullptr, snapshot);
  prevSnapShot_ = std::move(snapshot);

  utilization_ = averageTicks(deltas).busyFraction();
  pushHistory(historic_, utilization_);

  if (cpuE_P_.empty()) {
    eutilization_ = putilization_ = 0;
  } else {
    const auto clusters = clusterTicks(deltas, cpuE_P_);
    // A kind the lists lack counts as never idle.
    auto busy = [&](const char* name) {
      auto it = clusters.find(name);
      return it == clusters.end() ? 1.0 : it->second.busyFraction();
    };
    eutilization_ = busy(sample::kECluster);
    putilization_ = busy(sample::kPCluster);
  }
  pushHistory(historice_, eutilization_);
  pushHistory(historicp_, putilization_);

  const SGSystemGPUInfo::Reading gpu = SGSystemGPUInfo::readGPUInfo(platform_);
  utilizationGPU_ = gpu.first ? gpu.second : 0;
  pushHistory(historicGPU_, utilizationGPU_);
}

void ModuleModelUtilization::clearData() {
  utilization_ = eutilization_ = putilization_ = utilizationGPU_ = 0;
  historic_.clear();
  historice_.clear();
  historicp_.clear();
  historicGPU_.clear();
  emit changed();
}
