// The two per-sample costs of the utilization module and the log recorder: one utilization
// update on this machine (reading /proc/stat and the GPU as the Linux back end does) and one
// row added to a running recording (with its safety copy).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

#include "app/core/UserDefaults.h"
#include "app/log/LogFileModel.h"
#include "app/metrics/ModuleModelUtilization.h"
#include "app/metrics/SGPowerMetrics.h"
#include "app/metrics/sysinfo/SGSystemGPUInfo.h"
#include "platform/Platform.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "log-bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

void BM_UtilizationUpdate(benchmark::State& state) {
  ensureApp();
  QTemporaryDir dir;
  UserDefaults defaults(dir.filePath("d.ini"));
  SGPowerMetrics store(true, defaults);
  auto machine = platform::create("linux");
  ModuleModelUtilization model(store, *machine.platform);
  for (auto _ : state) {
    model.update();
    benchmark::DoNotOptimize(model.utilization());
  }
}
BENCHMARK(BM_UtilizationUpdate);

// The two system reads inside one update, on their own.
void BM_ReadCPUSnapshot(benchmark::State& state) {
  auto machine = platform::create("linux");
  for (auto _ : state)
    benchmark::DoNotOptimize(readCPUSnapshot(machine.platform->processorLoad()));
}
BENCHMARK(BM_ReadCPUSnapshot);

void BM_ReadGPUInfo(benchmark::State& state) {
  auto machine = platform::create("linux");
  for (auto _ : state)
    benchmark::DoNotOptimize(SGSystemGPUInfo::readGPUInfo(*machine.platform));
}
BENCHMARK(BM_ReadGPUInfo);

void BM_AddRow(benchmark::State& state) {
  ensureApp();
  QTemporaryDir dir;
  UserDefaults defaults(dir.filePath("d.ini"));
  defaults.setValue(defaults::kPathFolderLocation, dir.path());
  LogFileModel model(defaults, nullptr, dir.filePath("state").toStdString());
  const LogRowValues values{14.35, 2.4,  0.05, 0.1234, 2.064, 3.228,  0.389, 41.4,
                            44.6,  47.5, 38.2, 0.08,   0.5,   0.0125, 0};
  model.setRowSource([&] { return values; });
  model.setIsLogEnabled(true);
  for (auto _ : state)
    model.addRow();
  state.counters["rows"] = static_cast<double>(model.rowCount());
  model.setIsLogEnabled(false);
}
// About fourteen hours of one-second samples: memory stays bounded whatever the timing.
BENCHMARK(BM_AddRow)->Iterations(50000);

}  // namespace
