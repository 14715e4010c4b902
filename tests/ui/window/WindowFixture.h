// The monitor window over a real root model on a simulated Mac, with no helper answering, its
// defaults, state and chosen folder inside a temporary directory.
#pragma once

#include <QCoreApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVariantMap>

#include <memory>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/GraphLineTitle.h"
#include "app/ui/LegendViewGeometry.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/graph/GraphView.h"
#include "unit/metrics/SampleBuilders.h"

namespace fxtest {

struct Window {
  QTemporaryDir dir;
  UserDefaults defaults{dir.filePath("defaults.ini")};
  std::unique_ptr<platform::Platform> machine;
  std::unique_ptr<GeneralModel> model;
  std::unique_ptr<MainWindow> window;

  explicit Window(const QString& profile = "macbookpro-m2pro") {
    // Nobody listens there: the helper never answers and stays unauthorized.
    qputenv("FERROLUX_HELPER_ENDPOINT", dir.filePath("nobody.sock").toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    defaults.setValue(defaults::kPathFolderLocation, dir.path());
    // "linux:<tree>" is the real back end over a captured machine tree; anything else a profile.
    const bool onLinux = profile.startsWith("linux:");
    if (onLinux)
      qputenv("FERROLUX_SYSFS_ROOT", FERROLUX_FIXTURES_DIR "/sysfs/" + profile.mid(6).toUtf8());
    machine =
        std::move(platform::create(onLinux ? "linux" : "sim:" + profile.toStdString()).platform);
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = &defaults;
    model = std::make_unique<GeneralModel>(std::move(env));
    window = std::make_unique<MainWindow>(*model, defaults);
    window->show();
    if (onLinux) qunsetenv("FERROLUX_SYSFS_ROOT");
  }
  MainInterface& interface() const { return *window->contentView()->interface(); }
  ModuleView& module(int i) const { return *interface().modules().at(i); }
  ModuleViewMoreButton& button() const {
    return *qobject_cast<ModuleViewMoreButton*>(window->contentView()->moreButton());
  }
  QMenu& menu() const { return *button().trigger()->menu(); }
  QAction* row(const QString& title) const {
    for (QAction* a : menu().actions())
      if (a->text() == title) return a;
    return nullptr;
  }
  // Each legend entry of module `i` as "NAME=value".
  QStringList legend(int i) const {
    QStringList texts;
    for (const LegendEntry* entry : module(i).legend()->entries()) {
      const auto* single = qobject_cast<const GraphSingleLineTitle*>(entry);
      texts << (single ? single->label() : "") + "=" + entry->value();
    }
    return texts;
  }
  // Samples as the sample store would apply them from helper replies.
  void feed(const plist::Value& sample, int times = 1) {
    SGPowerMetrics& store = model->modelPowerMetrics();
    store.setHelperLink({[](double, bool) {}, [] { return true; }});
    for (int i = 0; i < times; ++i)
      store.applySample(sample);
    QCoreApplication::processEvents();  // "UpdateView" comes asynchronously
  }
};

// A sample with both clusters and the GPU at fixed frequencies. `wobble` moves every figure a
// little, so that no curve is a flat line between two pixel rows. `unread` lists energy entries
// the sampler could not read, with why; they are left out.
inline plist::Value sample(double cpuEnergy, int wobble = 0, const QVariantMap& unread = {}) {
  const double w = wobble % 5;
  plist::Dict processor{{"combined_power", 12000.0 + 1500 * w},
                        {"cpu_energy", cpuEnergy},
                        {"gpu_energy", 500.0 + 300 * w},
                        {"dram_energy", 400.0 + 200 * w},
                        {"clusters", plist::Array{fxtest::cluster("E-Cluster", 2.0e9),
                                                  fxtest::cluster("P-Cluster", 3.2e9)}}};
  plist::Dict why;
  for (auto it = unread.cbegin(); it != unread.cend(); ++it) {
    processor.erase(it.key().toStdString());
    why.emplace(it.key().toStdString(), it.value().toString().toStdString());
  }
  if (!why.empty()) processor.emplace("unread_energy", std::move(why));
  return fxtest::withProcessor(std::move(processor),
                               plist::Dict{{"gpu", plist::Dict{{"freq_hz", 1000.0}}}});
}

}  // namespace fxtest
