// The pieces of `ferrolux serve` that decide what a scrape says: the exposition text of one
// sample, the energy behind the counters, and which listen addresses are taken.
#include <gtest/gtest.h>

#include <prometheus/text_serializer.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "app/export/ListenAddress.h"
#include "app/export/SampleCollector.h"
#include "app/headless/EnergyMeter.h"

namespace {

using fxexport::MetricsSnapshot;

// Every family, with a GPU power that is not a number: its line, and only its line, is absent.
TEST(Exposition, OneSampleAsText) {
  fxexport::SampleCollector collector;
  MetricsSnapshot s;
  s.powerWatts = {{12.5, 6.25, fxexport::kNaN, 0.5}};
  s.frequencyHertz = {{2.0e9, 3.5e9, 1.4e9}};
  s.temperatureCelsius = {{41, 47.5, 55, 38}};
  s.sensorTemperatures = {{"Tp01", "cpu", 47.5}, {"Tg05", "gpu", fxexport::kNaN}};
  s.utilizationRatio = {{0.25, 0.5, 0.125, 0.75}};
  s.sampleDurationSeconds = 0.5;
  s.energyJoules = {{100, 50, 0, 4}};
  s.samples = 8;
  s.helperUp = true;
  s.version = "1.0.0";
  s.platform = "sim:macbookpro-m2pro";
  s.chip = "Apple M2 Pro";
  collector.publish(s);
  const std::string text = prometheus::TextSerializer().Serialize(collector.Collect());
  EXPECT_EQ(text, R"(# HELP ferrolux_power_watts Power of the latest sample, per domain, in watts.
# TYPE ferrolux_power_watts gauge
ferrolux_power_watts{domain="package"} 12.5
ferrolux_power_watts{domain="cpu"} 6.25
ferrolux_power_watts{domain="dram"} 0.5
# HELP ferrolux_energy_joules_total Energy since the exporter started, per domain, in joules: each sample's power over the real time since the sample before.
# TYPE ferrolux_energy_joules_total counter
ferrolux_energy_joules_total{domain="package"} 100
ferrolux_energy_joules_total{domain="cpu"} 50
ferrolux_energy_joules_total{domain="gpu"} 0
ferrolux_energy_joules_total{domain="dram"} 4
# HELP ferrolux_frequency_hertz Highest cluster frequency of the latest sample, in hertz.
# TYPE ferrolux_frequency_hertz gauge
ferrolux_frequency_hertz{domain="ecore"} 2000000000
ferrolux_frequency_hertz{domain="pcore"} 3500000000
ferrolux_frequency_hertz{domain="gpu"} 1400000000
# HELP ferrolux_temperature_celsius CPU minimum, average and maximum and GPU average temperature, in degrees Celsius.
# TYPE ferrolux_temperature_celsius gauge
ferrolux_temperature_celsius{reading="cpu_min"} 41
ferrolux_temperature_celsius{reading="cpu_avg"} 47.5
ferrolux_temperature_celsius{reading="cpu_max"} 55
ferrolux_temperature_celsius{reading="gpu_avg"} 38
# HELP ferrolux_sensor_temperature_celsius Temperature of each sensor that counts towards the CPU or GPU readings, in degrees Celsius.
# TYPE ferrolux_sensor_temperature_celsius gauge
ferrolux_sensor_temperature_celsius{key="Tp01",kind="cpu"} 47.5
# HELP ferrolux_utilization_ratio CPU, E-core, P-core and GPU utilization, from 0 to 1.
# TYPE ferrolux_utilization_ratio gauge
ferrolux_utilization_ratio{domain="cpu"} 0.25
ferrolux_utilization_ratio{domain="ecore"} 0.5
ferrolux_utilization_ratio{domain="pcore"} 0.125
ferrolux_utilization_ratio{domain="gpu"} 0.75
# HELP ferrolux_helper_up 1 while the helper is authorized and answering, else 0.
# TYPE ferrolux_helper_up gauge
ferrolux_helper_up 1
# HELP ferrolux_samples_total Samples received since the exporter started.
# TYPE ferrolux_samples_total counter
ferrolux_samples_total 8
# HELP ferrolux_sample_duration_seconds The sampler's window behind the latest sample, in seconds.
# TYPE ferrolux_sample_duration_seconds gauge
ferrolux_sample_duration_seconds 0.5
# HELP ferrolux_build_info Always 1; the labels name the build, the platform and the chip.
# TYPE ferrolux_build_info gauge
ferrolux_build_info{chip="Apple M2 Pro",platform="sim:macbookpro-m2pro",version="1.0.0"} 1
)");

  // Before the first sample only the counters, the helper's state and the build remain.
  collector.publish(MetricsSnapshot{});
  std::vector<std::string> names;
  for (const auto& f : collector.Collect())
    names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ferrolux_energy_joules_total", "ferrolux_helper_up",
                                             "ferrolux_samples_total", "ferrolux_build_info"}));
}

TEST(EnergyMeter, PowerHeldForTheRealIntervals) {
  using namespace std::chrono_literals;
  using headless::EnergyMeter;
  struct Step {
    std::chrono::milliseconds at;
    double packageWatts;
    double expectedHeld;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    double joules;
  } rows[] = {
      // The first sample knows only its own 0.5 s window.
      {"first sample counts its window", {{0ms, 10, 0.5}}, 5},
      {"then the time since the sample before",
       {{0ms, 10, 0.5}, {1000ms, 20, 1}, {2200ms, 10, 1.2}},
       5 + 20 + 12},
      {"a gap counts the window alone", {{0ms, 10, 0.5}, {10000ms, 10, 0.5}}, 10},
      {"NaN and negative add nothing", {{0ms, 10, 0.5}, {1000ms, NAN, 1}, {2000ms, -3, 1}}, 5},
      {"a clock that did not move holds the window", {{0ms, 10, 0.5}, {0ms, 10, 0.5}}, 10},
      {"samples closer than their window hold the interval",
       {{0ms, 10, 0.5}, {300ms, 10, 0.3}},
       5 + 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EnergyMeter meter;
    const EnergyMeter::Clock::time_point start{std::chrono::hours(1)};
    for (const Step& s : row.steps)
      EXPECT_DOUBLE_EQ(meter.add(start + s.at, {s.packageWatts, 0, 0, 0}, 0.5), s.expectedHeld);
    EXPECT_DOUBLE_EQ(meter.joules(EnergyMeter::Package), row.joules);
  }
}

TEST(ListenAddress, ParsesNumericAddressesOnly) {
  struct Row {
    const char* text;
    bool ok;
    const char* host;
    int port;
    bool loopback;
  } rows[] = {
      {"127.0.0.1:10073", true, "127.0.0.1", 10073, true},
      {"127.8.9.10:0", true, "127.8.9.10", 0, true},
      {"0.0.0.0:9000", true, "0.0.0.0", 9000, false},
      {"[::1]:80", true, "::1", 80, true},
      {"[fe80::1]:80", true, "fe80::1", 80, false},
      {"localhost:9000", false, "", 0, false},
      {"127.0.0.1", false, "", 0, false},
      {"127.0.0.1:", false, "", 0, false},
      {"127.0.0.1:65536", false, "", 0, false},
      {"127.0.0.1:12ab", false, "", 0, false},
      {"::1:80", false, "", 0, false},
      {"[::1]80", false, "", 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::string error;
    const auto a = fxexport::ListenAddress::parse(row.text, &error);
    EXPECT_EQ(error.empty(), row.ok) << error;
    if (!row.ok) continue;
    EXPECT_EQ(a.host, row.host);
    EXPECT_EQ(a.port, row.port);
    EXPECT_EQ(a.isLoopback(), row.loopback);
  }
}

}  // namespace
