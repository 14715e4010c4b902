// The monitor window over a real root model on a simulated Mac, with no helper answering, its
// defaults, state and chosen folder inside a temporary directory.
#pragma once

#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMoreButton.h"

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
};

}  // namespace fxtest
