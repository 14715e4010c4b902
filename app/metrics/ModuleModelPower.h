// What the power module shows: package, CPU, GPU and DRAM power in watts, their histories, and
// the graph's scale. Values change in update() without a signal; changed() follows on
// "UpdateView" and "ClearData". Lives and is used on the main thread.
//
// A domain the sampler leaves out (no DRAM figure from OS 13 on, no RAPL on a Linux machine)
// reads 0 W in the values, the histories and the log's columns, so graphs and files keep their
// shape; isReported() keeps "not reported" apart from a real 0 W for whoever shows a figure.
#pragma once

#include <QObject>
#include <QStringList>

#include <array>
#include <optional>
#include <string>

#include "app/core/NotificationCenter.h"

#include "app/metrics/History.h"

class SGPowerMetrics;

class ModuleModelPower : public QObject {
  Q_OBJECT

 public:
  ModuleModelPower(const SGPowerMetrics& store, bool isOS13OrLater, QObject* parent = nullptr);

  // The four power domains, in the order of the fields below.
  enum class Domain { CPU, DRAM, GPU, PKG };

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
  // Whether the latest sample had `domain`'s entry as a number. Every domain counts as reported
  // before the first sample and after "ClearData", when the values are 0 for want of a sample.
  bool isReported(Domain domain) const { return reported_[static_cast<std::size_t>(domain)]; }
  // Why the sampler could not read `domain`'s counter, when the latest document says ("no zone",
  // "permission"; "" for an entry without a text); nullopt when it gives no reason, as a Mac's
  // sampler never does.
  const std::optional<std::string>& unreadReason(Domain domain) const {
    return unreadReasons_[static_cast<std::size_t>(domain)];
  }
  // The latest power of `domain` in watts, or NaN when the latest sample did not report it.
  double reportedWatts(Domain domain) const;
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
  std::array<bool, 4> reported_{true, true, true, true};
  std::array<std::optional<std::string>, 4> unreadReasons_;
  History historicCPU_;
  History historicDRAM_;
  History historicPKG_;
  History historicGPU_;
};
