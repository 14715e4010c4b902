// What the utilization module shows: whole-CPU, E-core, P-core and GPU busy fractions (0 to 1)
#include "app/core/NotificationCenter.h"
// and their histories. Each update() takes one tick snapshot of every CPU and compares it with
// the previous one, so the values cover the interval between two samples (the first covers the
// time since the system started). Which CPUs are E- and P-cores comes from the first sample that
// lists clusters and is kept for the whole run.
//
// Values change in update() without a signal; changed() follows on "UpdateView" and
// "ClearData". "ClearData" keeps the snapshot and the cluster lists, so the sample after it
// still reports one interval. Lives and is used on the main thread.
#pragma once

#include <QObject>

#include <optional>

#include "app/metrics/History.h"
#include "app/metrics/sysinfo/CPUSnapshot.h"

class SGPowerMetrics;
namespace platform {
class Platform;
}

class ModuleModelUtilization : public QObject {
  Q_OBJECT

 public:
  // `platform` gives the tick counters and the GPU; both must outlive the model.
  ModuleModelUtilization(const SGPowerMetrics& store, platform::Platform& platform,
                         QObject* parent = nullptr);

  void update();
  void clearData();
  void updateView() { emit changed(); }

  double utilization() const { return utilization_; }
  double eutilization() const { return eutilization_; }
  double putilization() const { return putilization_; }
  double utilizationGPU() const { return utilizationGPU_; }
  const History& historic() const { return historic_; }
  const History& historice() const { return historice_; }
  const History& historicp() const { return historicp_; }
  const History& historicGPU() const { return historicGPU_; }
  const ClusterCPUs& cpuE_P() const { return cpuE_P_; }

 signals:
  void changed();

 private:
  const SGPowerMetrics& store_;
  platform::Platform& platform_;
  std::optional<CPUSnapshot> prevSnapShot_;
  double utilization_ = 0;
  double eutilization_ = 0;
  double putilization_ = 0;
  double utilizationGPU_ = 0;
  History historic_;
  History historice_;
  History historicp_;
  History historicGPU_;
  ClusterCPUs cpuE_P_;
};
