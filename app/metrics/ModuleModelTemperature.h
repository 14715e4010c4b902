// What the temperature module shows: CPU minimum, maximum and average and GPU average in degrees
#include "app/core/NotificationCenter.h"
// Celsius, and their histories. update() reads one sample from the machine's temperature source;
// values change there without a signal, and changed() follows on "UpdateView" and "ClearData".
//
// With no CPU reading the minimum and maximum are -1.0 and the average is not a number; with no
// GPU reading the GPU average is not a number. Those values are stored like any other: the views
// and the log decide how to show them.
//
// Lives and is used on the main thread.
#pragma once

#include <QObject>

#include "app/metrics/History.h"
#include "app/metrics/SGM1SensorTemperature.h"
#include "app/metrics/TemperatureReadings.h"

class ModuleModelTemperature : public QObject {
  Q_OBJECT

 public:
  // Chooses the source (for the SMC, discovering its keys) at once.
  explicit ModuleModelTemperature(platform::Platform& platform, QObject* parent = nullptr);

  // One sample: reads the source, reduces and records.
  void update();
  // Records one sample's readings: what update() does after reading the source.
  void record(const TemperatureReadings& cpu, const TemperatureReadings& gpu);
  void clearData();
  void updateView() { emit changed(); }

  // An average of 5 to 10 °C, both excluded, is a glitch of the GPU sensors: the previous
  // average stands in for it.
  static constexpr double kGlitchAbove = 5.0;
  static constexpr double kGlitchBelow = 10.0;

  double CPUMin() const { return CPUMin_; }
  double CPUMax() const { return CPUMax_; }
  double CPUAvg() const { return CPUAvg_; }
  double GPUAvg() const { return GPUAvg_; }
  const History& historicCPUMin() const { return historicCPUMin_; }
  const History& historicCPUMax() const { return historicCPUMax_; }
  const History& historicCPUAvg() const { return historicCPUAvg_; }
  const History& historicGPUAvg() const { return historicGPUAvg_; }

  // The readings behind the latest sample, sensor by sensor (what the metrics exporter lists).
  const TemperatureReadings& lastCPUReadings() const { return lastCPU_; }
  const TemperatureReadings& lastGPUReadings() const { return lastGPU_; }

  SGM1SensorTemperature& sensorTmp() { return sensorTmp_; }

 signals:
  void changed();

 private:
  SGM1SensorTemperature sensorTmp_;
  double CPUMin_ = 0;
  double CPUMax_ = 0;
  double CPUAvg_ = 0;
  double GPUAvg_ = 0;
  History historicCPUMin_;
  History historicCPUMax_;
  History historicCPUAvg_;
  History historicGPUAvg_;
  TemperatureReadings lastCPU_;
  TemperatureReadings lastGPU_;
};
