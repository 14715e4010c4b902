// What one sample costs the window, with its four cards of full 350-point histories drawn into the
// (offscreen) backing store:
//   Sample:      the models take a sample, the cards refresh, and what changed is repainted
//                (legend values and graphs), as on screen.
//   FullRepaint: the same, then the whole window repainted (an expose, a theme switch).
// The scale comes from QT_SCALE_FACTOR (1 by default; CTest runs 1 and 2) and is shown as the
// benchmark's label. CPU time is the whole process's: Qt hands large fills to its thread pool.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cmath>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViews.h"
#include "app/ui/Style.h"
#include "platform/Platform.h"
#include "shared/plist/Plist.h"

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "window_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing widgets' application down among the other static objects at exit
  // crashes, and there is nothing left to clean up by then.
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

plist::Value sample(long n) {
  const auto wave = [n](double phase) {
    return 0.5 + 0.45 * std::sin(n * 0.071 + phase) * std::cos(n * 0.013 + 2 * phase);
  };
  const auto cluster = [](const char* name, double hz) {
    return plist::Value(plist::Dict{{"name", name}, {"freq_hz", hz}, {"cpus", plist::Array{}}});
  };
  plist::Dict processor{{"combined_power", 20000.0 * wave(0)},
                        {"cpu_energy", 6000.0 * wave(1)},
                        {"gpu_energy", 4000.0 * wave(2)},
                        {"dram_energy", 500.0 * wave(3)},
                        {"clusters", plist::Array{cluster("E-Cluster", 2.0e9 * wave(4)),
                                                  cluster("P-Cluster", 3.5e9 * wave(5))}}};
  return plist::Value(plist::Dict{{"processor", plist::Value(std::move(processor))},
                                  {"gpu", plist::Dict{{"freq_hz", 1200.0 * wave(6)}}}});
}

void run(benchmark::State& state, bool fullRepaint) {
  app();
  QTemporaryDir dir;
  UserDefaults defaults(dir.filePath("defaults.ini"));
  defaults.setValue(defaults::kGPUFrequency, true);
  platform::CreateResult chosen = platform::create("sim:macbookpro-m2pro");
  if (!chosen.platform) {  // the profiles are found beside the build, not beside a copy
    state.SkipWithError(chosen.error.c_str());
    return;
  }
  auto machine = std::move(chosen.platform);
  qputenv("FERROLUX_HELPER_ENDPOINT", dir.filePath("nobody.sock").toUtf8());
  GeneralModel::Environment env;
  env.platform = machine.get();
  env.defaults = &defaults;
  GeneralModel model(std::move(env));
  SGPowerMetrics& store = model.modelPowerMetrics();
  store.setHelperLink({[](double, bool) {}, [] { return true; }});

  // The window's four cards, every optional series on.
  defaults.setValue(defaults::kGPUUtilization, true);
  QWidget window;
  window.setPalette(Style::windowPalette(false));
  auto* column = new QVBoxLayout(&window);
  for (ModuleView* card : ModuleViews::create(model, defaults))
    column->addWidget(card);
  window.setFixedWidth(400);
  window.show();
  long n = 0;
  for (; n < 360; ++n)
    store.applySample(sample(n));
  QCoreApplication::processEvents();
  window.repaint();

  for (auto _ : state) {
    store.applySample(sample(++n));
    QCoreApplication::processEvents();  // "UpdateView": the cards refresh
    QCoreApplication::processEvents();  // the repaint they asked for
    if (fullRepaint) window.repaint();
  }
  state.SetLabel(QString("%1x").arg(window.devicePixelRatioF()).toStdString());
}

void BM_WindowSample(benchmark::State& state) {
  run(state, false);
}
BENCHMARK(BM_WindowSample)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void BM_WindowFullRepaint(benchmark::State& state) {
  run(state, true);
}
BENCHMARK(BM_WindowFullRepaint)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace
