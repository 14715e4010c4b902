#include "app/export/SampleCollector.h"

#include <cmath>
#include <string>
#include <utility>

namespace fxexport {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

// Opens the next family of the scrape.
MetricFamily& open(std::vector<MetricFamily>& out, std::string name, std::string help,
                   MetricType type) {
  MetricFamily& f = out.emplace_back();
  f.name = std::move(name);
  f.help = std::move(help);
  f.type = type;
  return f;
}

// Adds one sample unless its value is not a number.
void add(MetricFamily& f, double value, std::vector<ClientMetric::Label> labels = {}) {
  if (!std::isfinite(value)) return;
  ClientMetric m;
  m.label = std::move(labels);
  if (f.type == MetricType::Counter)
    m.counter.value = value;
  else
    m.gauge.value = value;
  f.metric.push_back(std::move(m));
}

template <std::size_t N>
void addLabelled(MetricFamily& f, const char* label, const std::array<const char*, N>& names,
                 const std::array<double, N>& values) {
  for (std::size_t i = 0; i < N; ++i)
    add(f, values[i], {{label, names[i]}});
}

}  // namespace

void SampleCollector::publish(MetricsSnapshot snapshot) {
  std::lock_guard lock(mutex_);
  snapshot_ = std::move(snapshot);
}

MetricsSnapshot SampleCollector::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

std::vector<MetricFamily> SampleCollector::Collect() const {
  return families(snapshot());
}

std::vector<MetricFamily> SampleCollector::families(const MetricsSnapshot& s) {
  using S = MetricsSnapshot;
  std::vector<MetricFamily> out;

  if (s.powerWatts) {
    addLabelled(open(out, "ferrolux_power_watts",
                     "Power of the latest sample, per domain, in watts.", MetricType::Gauge),
                "domain", S::kPowerDomains, *s.powerWatts);
  }
  addLabelled(open(out, "ferrolux_energy_joules_total",
                   "Energy since the exporter started, per domain, in joules: each "
                   "sample's power over the real time since the sample before.",
                   MetricType::Counter),
              "domain", S::kPowerDomains, s.energyJoules);
  if (s.frequencyHertz) {
    addLabelled(
        open(out, "ferrolux_frequency_hertz",
             "Highest cluster frequency of the latest sample, in hertz.", MetricType::Gauge),
        "domain", S::kFrequencyDomains, *s.frequencyHertz);
  }
  if (s.temperatureCelsius) {
    addLabelled(open(out, "ferrolux_temperature_celsius",
                     "CPU minimum, average and maximum and GPU average temperature, in "
                     "degrees Celsius.",
                     MetricType::Gauge),
                "reading", S::kTemperatureReadings, *s.temperatureCelsius);
  }
  MetricFamily& sensors = open(out, "ferrolux_sensor_temperature_celsius",
                               "Temperature of each sensor that counts towards the CPU or GPU "
                               "readings, in degrees Celsius.",
                               MetricType::Gauge);
  for (const S::SensorTemperature& t : s.sensorTemperatures)
    add(sensors, t.celsius, {{"key", t.key}, {"kind", t.kind}});
  if (s.utilizationRatio) {
    addLabelled(open(out, "ferrolux_utilization_ratio",
                     "CPU, E-core, P-core and GPU utilization, from 0 to 1.", MetricType::Gauge),
                "domain", S::kUtilizationDomains, *s.utilizationRatio);
  }
  add(open(out, "ferrolux_helper_up", "1 while the helper is authorized and answering, else 0.",
           MetricType::Gauge),
      s.helperUp ? 1 : 0);
  add(open(out, "ferrolux_samples_total", "Samples received since the exporter started.",
           MetricType::Counter),
      static_cast<double>(s.samples));
  add(open(out, "ferrolux_sample_duration_seconds",
           "The sampler's window behind the latest sample, in seconds.", MetricType::Gauge),
      s.sampleDurationSeconds);
  add(open(out, "ferrolux_build_info",
           "Always 1; the labels name the build, the platform and the chip.", MetricType::Gauge),
      1, {{"chip", s.chip}, {"platform", s.platform}, {"version", s.version}});
  // A family with no sample left says nothing; it is left out of the scrape.
  std::erase_if(out, [](const MetricFamily& f) { return f.metric.empty(); });
  return out;
}

}  // namespace fxexport
