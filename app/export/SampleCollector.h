// The metric families of one scrape, built from the latest published snapshot. The exposer calls
// Collect() on its own worker threads at each scrape; the main loop publishes a new snapshot
// after each sample. Families are built at scrape time, so a figure that is not a number is
// simply left out rather than exported as NaN.
//
// Threads: publish() and Collect() may run on any threads at once.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <mutex>
#include <vector>

#include "app/export/MetricsSnapshot.h"

namespace fxexport {

class SampleCollector : public prometheus::Collectable {
 public:
  void publish(MetricsSnapshot snapshot);
  MetricsSnapshot snapshot() const;

  std::vector<prometheus::MetricFamily> Collect() const override;

  // The families of `snapshot`, in a fixed order; the text format of a scrape follows from them.
  static std::vector<prometheus::MetricFamily> families(const MetricsSnapshot& snapshot);

 private:
  mutable std::mutex mutex_;
  MetricsSnapshot snapshot_;
};

}  // namespace fxexport
