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
      delegate_(app, [this] { model_.xpcmanager().client().sendCloseHelper(); }) {
  quitOnTerminationSignals(app);
}

void say(const std::string& line) {
  std::fprintf(stderr, "ferrolux: %s\n", line.c_str());
}

}  // namespace headless
