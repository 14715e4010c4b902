// What the frequency module shows: E-core, P-core and GPU frequency in GHz and their histories.
#include "app/core/NotificationCenter.h"
// Values change in update() without a signal; changed() follows on "UpdateView" and
// "ClearData". Lives and is used on the main thread.
#pragma once

#include <QObject>

#include "app/metrics/History.h"

class SGPowerMetrics;

class ModuleModelFrequency : public QObject {
  Q_OBJECT

 public:
  explicit ModuleModelFrequency(const SGPowerMetrics& store, QObject* parent = nullptr);

  void update();
  void clearData();
  void updateView() { emit changed(); }

  double ECore() const { return ECore_; }
  double PCore() const { return PCore_; }
  double GPU() const { return GPU_; }
  const History& historicECore() const { return historicECore_; }
  const History& historicPCore() const { return historicPCore_; }
  const History& historicGPU() const { return historicGPU_; }

 signals:
  void changed();

 private:
  const SGPowerMetrics& store_;
  double ECore_ = 0;
  double PCore_ = 0;
  double GPU_ = 0;
  History historicECore_;
  History historicPCore_;
  History historicGPU_;
};
