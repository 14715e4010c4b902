// Cost of one sample from reply bytes to announced models, and what the models hold after a long
// run.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelFrequency.h"
#include "app/metrics/ModuleModelPower.h"
#include "app/metrics/SGPowerMetrics.h"

namespace {

QCoreApplication* app() {
  static int argc = 1;
  static char name[] = "metrics-bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* instance = new QCoreApplication(argc, argv);
  return instance;
}

std::string fixture(const char* name) {
  std::ifstream in(std::string(FERROLUX_FIXTURES_DIR) + "/metrics/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The store and the two models as the root model wires them, on a throwaway settings file.
struct Pipeline {
  Pipeline()
      : defaults(dir.filePath("defaults.ini")),
        store(true, defaults),
        power(store, true),
        frequency(store) {
    store.setHelperLink({[](double, bool) {}, [] { return true; }});
    store.setModuleUpdate(SGPowerMetrics::Step::Power, [this] { power.update(); });
    // The utilization model reads the cluster CPU lists at this point.
    store.setModuleUpdate(SGPowerMetrics::Step::Utilization,
                          [this] { benchmark::DoNotOptimize(store.clusterCPUs()); });
    store.setModuleUpdate(SGPowerMetrics::Step::Frequency, [this] { frequency.update(); });
    QCoreApplication::processEvents();
  }
  QTemporaryDir dir;
  UserDefaults defaults;
  SGPowerMetrics store;
  ModuleModelPower power;
  ModuleModelFrequency frequency;
};

void BM_ParseSample(benchmark::State& state) {
  const std::string bytes = fixture("m1pro-os13-gpu-sample.plist");
  for (auto _ : state)
    benchmark::DoNotOptimize(SGPowerMetrics::parseSample(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseSample);

// Reply bytes -> parsed sample -> stored -> module updates -> "UpdateView" delivered.
void BM_WholeSamplePath(benchmark::State& state) {
  app();
  Pipeline p;
  const std::string bytes = fixture("m1pro-os13-gpu-sample.plist");
  for (auto _ : state) {
    p.store.receiveSample(bytes);
    QCoreApplication::processEvents();
  }
  state.counters["doc_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_WholeSamplePath);

// Heap held by the store and models after 10,000 samples, beyond what they held after the first.
// The document is parsed once: parsing only makes short-lived garbage, and what a long run keeps
// is decided by the stored sample and the histories.
void BM_MemoryAfter10000Samples(benchmark::State& state) {
  app();
  const plist::Value sample = SGPowerMetrics::parseSample(fixture("m1pro-os13-gpu-sample.plist"));
  for (auto _ : state) {
    auto p = std::make_unique<Pipeline>();
    p->store.applySample(sample);
    QCoreApplication::processEvents();
    const size_t afterFirst = mallinfo2().uordblks;
    for (int i = 1; i < 10'000; ++i) {
      p->store.applySample(sample);
      QCoreApplication::processEvents();
    }
    const size_t afterAll = mallinfo2().uordblks;
    state.counters["growth_bytes"] =
        static_cast<double>(afterAll) - static_cast<double>(afterFirst);
    state.counters["history_points"] = static_cast<double>(
        p->power.historicPKG().size() + p->power.historicCPU().size() +
        p->power.historicGPU().size() + p->power.historicDRAM().size() +
        p->frequency.historicECore().size() + p->frequency.historicPCore().size() +
        p->frequency.historicGPU().size());
  }
}
BENCHMARK(BM_MemoryAfter10000Samples)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
