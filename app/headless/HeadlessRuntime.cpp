#include "app/headless/HeadlessRuntime.h"

#include <QCoreApplication>

#include <cstdio>

#include "app/ProcessSetup.h"
#include "app/QuitOnSignal.h"
#include "app/model/GeneralModel.h"

namespace headless {

namespace {

GeneralModel& modelInTheCLocale() {
  // Before the model reads its first document.
  keepNumbersInCLocale();
  return GeneralModel::shared();
}

}  // namespace

HeadlessRuntime::HeadlessRuntime(QCoreApplication& app)
    : model_(modelInTheCLocale()),
      // A command without a window is one client among others (the window, a service, other
      // commands): it closes its own connection and leaves the helper to them.
      delegate_(app, [this] { model_.xpcmanager().client().dropConnection(); }) {
  quitOnTerminationSignals(app);
}

void say(const std::string& line) {
  std::fprintf(stderr, "ferrolux: %s\n", line.c_str());
}

}  // namespace headless
