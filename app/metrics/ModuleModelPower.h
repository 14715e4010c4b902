// What the power module shows: package, CPU, GPU and DRAM power in watts, their histories, and
#include "app/core/NotificationCenter.h"
// the graph's scale. Values change in update() without a signal; changed() follows on
// "UpdateView" and "ClearData". Lives and is used on the main thread.
#pragma once

#include <QObject>
#include <QStringList>

#include "app/metrics/History.h"

class SGPowerMetrics;

class ModuleModelPower : public QObject {
  Q_OBJECT

 public:
  ModuleModelPower(const SGPowerMetrics& store, bool isOS13OrLater, QObject* parent = nullptr);

  // Takes the latest sample's figures from the store and adds them to the histories.
  void update();
  // Zeroes the values and empties the histories; the scale stays until the next sample.
  void clearData();
  void updateView() { emit changed(); }

  const QStringList& axisLabels() const { return axisLabels_; }
  double axisMaxValue() const { return axisMaxValue_; }
  // Despite the names these are powers, in watts.
  double CPUEnergy() const { return CPUEnergy_; }
  double DRAMEnergy() const { return DRAMEnergy_; }
  double GPUEnergy() const { return GPUEnergy_; }
  double PKGEnergy() const { return PKGEnergy_; }
  const History& historicCPU() const { return historicCPU_; }
  const History& historicDRAM() const { return historicDRAM_; }
  const History& historicPKG() const { return historicPKG_; }
  const History& historicGPU() const { return historicGPU_; }

 signals:
  void changed();

 private:
  void updateAxis();

  const SGPowerMetrics& store_;
  const bool isOS13OrLater_;
  QStringList axisLabels_;
  double axisMaxValue_ = 0;
  double CPUEnergy_ = 0;
  double DRAMEnergy_ = 0;
  double GPUEnergy_ = 0;
  double PKGEnergy_ = 0;
  History historicCPU_;
  History historicDRAM_;
  History historicPKG_;
  History historicGPU_;
};
