// The application without a window, for the log recorder's end-to-end tests: the program's root
// model, application delegate and signal handling, with logging switched on at launch. Prints
// "rows N" after every sample. With --stop-after N it stops logging after N rows and quits once
// the file is written; otherwise it records until a signal ends it.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QCoreApplication>

#include "app/QuitOnSignal.h"
#include "app/core/Dispatch.h"
#include "app/model/AppDelegate.h"
#include "app/model/ContentModel.h"
#include "app/model/GeneralModel.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  size_t stopAfter = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--stop-after") == 0)
      stopAfter = std::strtoul(argv[i + 1], nullptr, 10);

  GeneralModel& model = GeneralModel::shared();
  AppDelegate delegate(app, model);
  quitOnTerminationSignals(app);
  const auto content = ContentModel::create(model);
  LogFileModel& log = model.logfileModel();
  // After the delegate's recovery of leftovers, which is queued first.
  dispatch::mainAsync([&log] { log.setIsLogEnabled(true); });

  bool stopped = false;
  NotificationCenter::defaultCenter().addObserver(notifications::kUpdateView, &app, [&] {
    if (stopped) return;
    std::printf("rows %zu\n", log.rowCount());
    std::fflush(stdout);
    if (stopAfter && log.rowCount() >= stopAfter) {
      stopped = true;
      log.setIsLogEnabled(false);
    }
  });
  QObject::connect(&log, &LogFileModel::logFileWritten, &app, [&] {
    if (stopped) app.quit();
  });
  return app.exec();
}
