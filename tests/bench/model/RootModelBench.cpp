// One sample through the root model as the application wires it: the reply's bytes arrive on
// another thread (as the helper link's reader delivers them), are parsed there, hop to the main
// loop, run the module updates and end with "UpdateView" delivered. And what the whole root
// model holds after a long run.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "app/core/NotificationCenter.h"
#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "model-bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

std::string fixture(const char* name) {
  std::ifstream in(std::string(FERROLUX_FIXTURES_DIR) + "/metrics/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A root model on a simulated macOS 13 machine, authorized as after a successful start-up check,
// with its settings in a throwaway file and no helper behind it.
struct Root {
  Root() : defaults(dir.filePath("defaults.ini")) {
    machine = std::move(platform::create("sim:macbookpro-m2pro").platform);
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = &defaults;
    model = std::make_unique<GeneralModel>(std::move(env));
    model->xpcmanager().setAuthorized(true);
    views = NotificationCenter::defaultCenter().addObserver(notifications::kUpdateView,
                                                            [this] { ++delivered; });
    QCoreApplication::processEvents();
  }
  ~Root() { NotificationCenter::defaultCenter().removeObserver(views); }

  // Delivers one reply from another thread and runs the main loop until its "UpdateView" came.
  void reply(const std::string& bytes) {
    const long before = delivered;
    std::thread reader([&] { model->modelPowerMetrics().receiveSample(bytes); });
    reader.join();
    while (delivered == before)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }

  QTemporaryDir dir;
  UserDefaults defaults;
  std::unique_ptr<platform::Platform> machine;
  std::unique_ptr<GeneralModel> model;
  NotificationCenter::Token views = 0;
  long delivered = 0;
};

void BM_RootModelSamplePath(benchmark::State& state) {
  ensureApp();
  Root root;
  const std::string bytes = fixture("m1pro-os13-gpu-sample.plist");
  for (auto _ : state)
    root.reply(bytes);
  state.counters["doc_bytes"] = static_cast<double>(bytes.size());
  state.counters["pkg_watts"] = root.model->modelPower().PKGEnergy();
}
// Wall time: the parse runs on the other thread, outside the main thread's CPU time.
BENCHMARK(BM_RootModelSamplePath)->Unit(benchmark::kMillisecond)->UseRealTime();

// Heap held by the root model after 10,000 samples: in all (from before it was built) and beyond
// what it held after the first sample. Replies are applied on the main thread directly, parsed
// once: parsing leaves nothing behind, and a long run keeps only the last sample and the
// bounded histories.
void BM_RootModelMemoryAfter10000Samples(benchmark::State& state) {
  ensureApp();
  const plist::Value sample = SGPowerMetrics::parseSample(fixture("m1pro-os13-gpu-sample.plist"));
  for (auto _ : state) {
    const size_t beforeModel = mallinfo2().uordblks;
    auto root = std::make_unique<Root>();
    SGPowerMetrics& store = root->model->modelPowerMetrics();
    store.applySample(sample);
    QCoreApplication::processEvents();
    const size_t afterFirst = mallinfo2().uordblks;
    for (int i = 1; i < 10'000; ++i) {
      store.applySample(sample);
      QCoreApplication::processEvents();
    }
    const size_t afterAll = mallinfo2().uordblks;
    state.counters["held_bytes"] = static_cast<double>(afterAll - beforeModel);
    state.counters["growth_bytes"] =
        static_cast<double>(afterAll) - static_cast<double>(afterFirst);
    state.counters["pkg_history"] =
        static_cast<double>(root->model->modelPower().historicPKG().size());
  }
}
BENCHMARK(BM_RootModelMemoryAfter10000Samples)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
