#include "app/export/SampleCollector.h"

#include <cmath>
#include <string>
#include <utility>

namespace fxexport {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

MetricFamily family(std::string name, std::string help, MetricType type) {
  MetricFamily f;
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

// A family with no sample left says nothing; leave it out of the scrape.
void keep(std::vector<MetricFamily>& out, MetricFamily f) {
  if (!f.metric.empty()) out.push_back(std::move(f));
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
    MetricFamily f = family("ferrolux_power_watts",
                            "Power of the latest sample, per domain, in watts.", MetricType::Gauge);
    addLabelled(f, "domain", S::kPowerDomains, *s.powerWatts);
    keep(out, std::move(f));
  }
  {
    MetricFamily f = family("ferrolux_energy_joules_total",
                            "Energy since the exporter started, per domain, in joules: each "
                            "sample's power over the real time since the sample before.",
                            MetricType::Counter);
    addLabelled(f, "domain", S::kPowerDomains, s.energyJoules);
    keep(out, std::move(f));
  }
  if (s.frequencyHertz) {
    MetricFamily f =
        family("ferrolux_frequency_hertz",
               "Highest cluster frequency of the latest sample, in hertz.", MetricType::Gauge);
    addLabelled(f, "domain", S::kFrequencyDomains, *s.frequencyHertz);
    keep(out, std::move(f));
  }
  if (s.temperatureCelsius) {
    MetricFamily f = family("ferrolux_temperature_celsius",
                            "CPU minimum, average and maximum and GPU average temperature, in "
                            "degrees Celsius.",
                            MetricType::Gauge);
    addLabelled(f, "reading", S::kTemperatureReadings, *s.temperatureCelsius);
    keep(out, std::move(f));
  }
  {
    MetricFamily f = family("ferrolux_sensor_temperature_celsius",
                            "Temperature of each sensor that counts towards the CPU or GPU "
                            "readings, in degrees Celsius.",
                            MetricType::Gauge);
    for (const S::SensorTemperature& t : s.sensorTemperatures)
      add(f, t.celsius, {{"key", t.key}, {"kind", t.kind}});
    keep(out, std::move(f));
  }
  if (s.utilizationRatio) {
    MetricFamily f =
        family("ferrolux_utilization_ratio",
               "CPU, E-core, P-core and GPU utilization, from 0 to 1.", MetricType::Gauge);
    addLabelled(f, "domain", S::kUtilizationDomains, *s.utilizationRatio);
    keep(out, std::move(f));
  }
  {
    MetricFamily f =
        family("ferrolux_helper_up", "1 while the helper is authorized and answering, else 0.",
               MetricType::Gauge);
    add(f, s.helperUp ? 1 : 0);
    keep(out, std::move(f));
  }
  {
    MetricFamily f = family("ferrolux_samples_total",
                            "Samples received since the exporter started.", MetricType::Counter);
    add(f, static_cast<double>(s.samples));
    keep(out, std::move(f));
  }
  {
    MetricFamily f =
        family("ferrolux_sample_duration_seconds",
               "The sampler's window behind the latest sample, in seconds.", MetricType::Gauge);
    add(f, s.sampleDurationSeconds);
    keep(out, std::move(f));
  }
  {
    MetricFamily f = family("ferrolux_build_info",
                            "Always 1; the labels name the build, the platform and the chip.",
                            MetricType::Gauge);
    add(f, 1, {{"chip", s.chip}, {"platform", s.platform}, {"version", s.version}});
    keep(out, std::move(f));
  }
  return out;
}

}  // namespace fxexport
