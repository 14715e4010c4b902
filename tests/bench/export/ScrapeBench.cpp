// What one Prometheus scrape of `ferrolux serve` costs the exporter: building the families and
// their text, and the whole HTTP request through the exposer (all of the process's threads).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <prometheus/exposer.h>
#include <prometheus/text_serializer.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/export/SampleCollector.h"
#include "app/headless/EnergyMeter.h"
#include "shared/xpc/Socket.h"

namespace {

fxexport::MetricsSnapshot fullSnapshot() {
  fxexport::MetricsSnapshot s;
  s.powerWatts = {{12.5, 6.25, 3.5, 0.5}};
  s.frequencyHertz = {{2.0e9, 3.5e9, 1.4e9}};
  s.temperatureCelsius = {{41, 47.5, 55, 38}};
  for (int i = 0; i < 16; ++i)
    s.sensorTemperatures.push_back({"Tp" + std::to_string(10 + i), i < 12 ? "cpu" : "gpu", 45});
  s.utilizationRatio = {{0.25, 0.5, 0.125, 0.75}};
  s.sampleDurationSeconds = 0.5;
  s.energyJoules = {{100, 50, 25, 4}};
  s.samples = 1000;
  s.helperUp = true;
  s.version = "1.0.0";
  s.platform = "sim:macbookpro-m2pro";
  s.chip = "Apple M2 Pro";
  return s;
}

void BM_FamiliesAndText(benchmark::State& state) {
  fxexport::SampleCollector collector;
  collector.publish(fullSnapshot());
  const prometheus::TextSerializer serializer;
  for (auto _ : state)
    benchmark::DoNotOptimize(serializer.Serialize(collector.Collect()));
}
BENCHMARK(BM_FamiliesAndText);

// The per-sample side: one energy step and one published snapshot.
void BM_PublishSample(benchmark::State& state) {
  fxexport::SampleCollector collector;
  headless::EnergyMeter meter;
  fxexport::MetricsSnapshot s = fullSnapshot();
  auto at = headless::EnergyMeter::Clock::now();
  for (auto _ : state) {
    at += std::chrono::seconds(1);
    meter.add(at, {12.5, 6.25, 3.5, 0.5}, 0.5);
    s.energyJoules = meter.joules();
    collector.publish(s);
  }
}
BENCHMARK(BM_PublishSample);

// A whole scrape over HTTP, as Prometheus makes it, counted on every thread of the process.
void BM_HttpScrape(benchmark::State& state) {
  auto collector = std::make_shared<fxexport::SampleCollector>();
  collector->publish(fullSnapshot());
  prometheus::Exposer exposer("127.0.0.1:0", 2);
  exposer.RegisterCollectable(collector);
  const std::string address = "127.0.0.1";
  const int port = exposer.GetListeningPorts().front();
  for (auto _ : state) {
    xpc::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
      state.SkipWithError("connect failed");
      break;
    }
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: " + address + "\r\n\r\n";
    xpc::writeAll(fd.get(), request);
    char buffer[16384];
    size_t total = 0;
    for (ssize_t n; (n = ::read(fd.get(), buffer, sizeof(buffer))) > 0;)
      total += static_cast<size_t>(n);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_HttpScrape)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
