#include "app/export/MetricsExporter.h"

#include "app/model/GeneralModel.h"

namespace fxexport {

namespace {

constexpr double kGigahertz = 1e9;

std::array<double, 4> readPower(const ModuleModelPower& power) {
  return {power.PKGEnergy(), power.CPUEnergy(), power.GPUEnergy(), power.DRAMEnergy()};
}

std::array<double, 3> readFrequency(const ModuleModelFrequency& frequency) {
  return {frequency.ECore() * kGigahertz, frequency.PCore() * kGigahertz,
          frequency.GPU() * kGigahertz};
}

std::array<double, 4> readTemperature(const ModuleModelTemperature& t) {
  return {t.CPUMin(), t.CPUAvg(), t.CPUMax(), t.GPUAvg()};
}

std::array<double, 4> readUtilization(const ModuleModelUtilization& u) {
  return {u.utilization(), u.eutilization(), u.putilization(), u.utilizationGPU()};
}

std::vector<MetricsSnapshot::SensorTemperature> readSensors(const ModuleModelTemperature& t) {
  std::vector<MetricsSnapshot::SensorTemperature> out;
  for (const auto& [key, celsius] : t.lastCPUReadings())
    out.push_back({key, "cpu", celsius});
  for (const auto& [key, celsius] : t.lastGPUReadings())
    out.push_back({key, "gpu", celsius});
  return out;
}

// The window the sampler really measured, as the document states it; the requested length when
// the document does not say.
double sampleWindowSeconds(const SGPowerMetrics& store) {
  const auto ns = store.data()["elapsed_ns"].number();
  if (ns && *ns > 0) return *ns / 1e9;
  return store.msSampling() / 1000;
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
  const std::array<double, 4> watts = readPower(model.modelPower());
  const double window = sampleWindowSeconds(model.modelPowerMetrics());
  energy_.add(now, watts, window);
  snapshot_.powerWatts = watts;
  snapshot_.frequencyHertz = readFrequency(model.modelFrequency());
  snapshot_.temperatureCelsius = readTemperature(model.modelTemperature());
  snapshot_.sensorTemperatures = readSensors(model.modelTemperature());
  snapshot_.utilizationRatio = readUtilization(model.modelUtilization());
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
