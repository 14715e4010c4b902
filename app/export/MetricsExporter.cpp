#include "app/export/MetricsExporter.h"

#include "app/model/GeneralModel.h"

namespace fxexport {

namespace {

constexpr double kGigahertz = 1e9;

std::vector<MetricsSnapshot::SensorTemperature> readSensors(const ModuleModelTemperature& t) {
  std::vector<MetricsSnapshot::SensorTemperature> out;
  for (const auto& [key, celsius] : t.lastCPUReadings())
    out.push_back({key, "cpu", celsius});
  for (const auto& [key, celsius] : t.lastGPUReadings())
    out.push_back({key, "gpu", celsius});
  return out;
}

}  // namespace

MetricsExporter::MetricsExporter(headless::HeadlessSession& session,
                                 std::shared_ptr<SampleCollector> collector,
                                 MetricsSnapshot identity, QObject* parent)
    : QObject(parent), session_(session), collector_(std::move(collector)) {
  snapshot_.version = std::move(identity.version);
  snapshot_.platform = std::move(identity.platform);
  snapshot_.chip = std::move(identity.chip);
  connect(&session_, &headless::HeadlessSession::sampled, this, &MetricsExporter::takeSample);
  connect(&session_, &headless::HeadlessSession::helperLost, this,
          &MetricsExporter::refreshHelperState);
  liveness_.setInterval(1000);
  connect(&liveness_, &QTimer::timeout, this, &MetricsExporter::refreshHelperState);
  liveness_.start();
  publish();
}

void MetricsExporter::takeSample() {
  GeneralModel& model = session_.model();
  const auto now = headless::HeadlessSession::Clock::now();
  // The figures the log's rows hold, in the exporter's orders.
  const LogRowValues v = model.logRowValues();
  // A domain the sampler did not report is NaN here, so its gauge is left out and its energy
  // does not grow, instead of claiming 0 W.
  const std::array<double, 4> watts = session_.reportedWatts();
  const double window = model.modelPowerMetrics().sampleWindowSeconds();
  energy_.add(now, watts, window);
  snapshot_.powerWatts = watts;
  snapshot_.frequencyHertz = {v.eCoreFrequency * kGigahertz, v.pCoreFrequency * kGigahertz,
                              v.gpuFrequency * kGigahertz};
  snapshot_.temperatureCelsius = {v.cpuMinTemperature, v.cpuAvgTemperature, v.cpuMaxTemperature,
                                  v.gpuAvgTemperature};
  snapshot_.sensorTemperatures = readSensors(model.modelTemperature());
  snapshot_.utilizationRatio = {v.utilization, v.eutilization, v.putilization, v.utilizationGPU};
  snapshot_.sampleDurationSeconds = window;
  snapshot_.energyJoules = energy_.joules();
  snapshot_.samples = session_.samples();
  snapshot_.helperUp = session_.isHelperAnswering(now);
  publish();
}

void MetricsExporter::refreshHelperState() {
  const bool up = session_.isHelperAnswering(headless::HeadlessSession::Clock::now());
  if (up == snapshot_.helperUp) return;
  snapshot_.helperUp = up;
  // Without an answering helper the last sample's figures are stale; a scrape leaves them out
  // rather than repeat them. The counters keep their totals.
  if (!up) {
    snapshot_.powerWatts.reset();
    snapshot_.frequencyHertz.reset();
    snapshot_.temperatureCelsius.reset();
    snapshot_.sensorTemperatures.clear();
    snapshot_.utilizationRatio.reset();
    snapshot_.sampleDurationSeconds = kNaN;
  }
  publish();
}

void MetricsExporter::publish() {
  collector_->publish(snapshot_);
}

}  // namespace fxexport
