// Turns the root model's values into the snapshot a scrape exports: after each sample it reads
// the module models (the same values the window shows), adds the sample's energy, and publishes;
// once a second it refreshes whether the helper still answers, so a helper that stops shows as
// down even though no sample comes to say so.
//
// Each module model has one reader below (readPower, readFrequency); a further model gets its
// own reader that fills its group of the snapshot, and its families appear from then on.
//
// Threads: main thread only; the collector it publishes to is read by the exposer's threads.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

#include "app/export/MetricsSnapshot.h"
#include "app/export/SampleCollector.h"
#include "app/headless/EnergyMeter.h"
#include "app/headless/HeadlessSession.h"

namespace fxexport {

class MetricsExporter : public QObject {
  Q_OBJECT

 public:
  // `identity` carries the build-info labels; the rest of it is ignored.
  MetricsExporter(headless::HeadlessSession& session, std::shared_ptr<SampleCollector> collector,
                  MetricsSnapshot identity, QObject* parent = nullptr);

  const MetricsSnapshot& current() const { return snapshot_; }

 private:
  void takeSample();
  void refreshHelperState();
  void publish();

  headless::HeadlessSession& session_;
  std::shared_ptr<SampleCollector> collector_;
  MetricsSnapshot snapshot_;
  headless::EnergyMeter energy_;
  QTimer liveness_;
};

}  // namespace fxexport
