// The Ferrolux monitor: chooses the platform once, then prints the machine's facts or runs the
// application: the root model, the application delegate and the window.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>

#include "app/CommandLine.h"
#include "app/MachineInfo.h"
#include "app/ProcessSetup.h"
#include "app/QuitOnSignal.h"
#include "app/Sensors.h"
#include "app/core/UserDefaults.h"
#include "app/export/ServeCommand.h"
#include "app/helperlink/Log.h"
#include "app/model/AppDelegate.h"
#include "app/model/GeneralModel.h"
#include "app/plot/PlotCommand.h"
#include "app/record/RecordCommand.h"
#include "app/ui/ApplicationIdentity.h"
#include "app/ui/DesktopAppearance.h"
#include "app/ui/MainWindow.h"
#include "app/ui/Snapshot.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  const CommandLine cl = CommandLine::parse(std::vector<std::string>(argv, argv + argc));
  const std::string program = argc > 0 ? argv[0] : "ferrolux";
  if (cl.help) {
    std::fputs(CommandLine::usage(program).c_str(), stdout);
    return 0;
  }
  if (!cl.error.empty()) {
    std::fprintf(stderr, "ferrolux: %s\n%s", cl.error.c_str(), CommandLine::usage(program).c_str());
    return 64;
  }

  if (!cl.command.empty()) {
    // Standard output belongs to the command's own result.
    helperlink::debugLinesToStandardError();
    // A closed pipe on either output (`| head`) must not kill the command before it saves: a
    // failed write is reported where it happens. A command that `record` runs gets the default
    // back (Recorder).
    std::signal(SIGPIPE, SIG_IGN);
  }

  if (cl.command == "plot") {
    // A picture of a file: no machine is watched, so no platform is chosen.
    const plot::PlotRequest request = plot::PlotRequest::parse(cl.plotArgs);
    if (!request.error.empty()) {
      std::fprintf(stderr, "ferrolux: %s\n%s", request.error.c_str(),
                   CommandLine::usage(program).c_str());
      return 64;
    }
    int plotArgc = 1;
    char* plotArgv[] = {argv[0], nullptr};
    return plot::runPlot(request, plotArgc, plotArgv);
  }

  platform::CreateResult chosen =
      platform::create(cl.platform.value_or(platform::specFromEnvironment()));
  if (!chosen.platform) {
    std::fprintf(stderr, "ferrolux: %s\n", chosen.error.c_str());
    return 2;
  }
  platform::setCurrent(std::move(chosen.platform));
  platform::Platform& machine = platform::current();
  std::fprintf(stderr, "ferrolux: platform %s\n", machine.name().c_str());

  // Qt gets the arguments that are not ours.
  std::vector<std::string> rest = cl.rest;
  std::vector<char*> qtArgv;
  for (auto& a : rest)
    qtArgv.push_back(a.data());
  qtArgv.push_back(nullptr);
  int qtArgc = static_cast<int>(rest.size());

  if (cl.command == "serve") return fxexport::runServe(cl.listen, machine, qtArgc, qtArgv.data());
  if (cl.command == "record")
    return record::runRecord({cl.duration, cl.output, cl.recordArgv, {}, cl.plot}, qtArgc,
                             qtArgv.data());

  if (cl.machineInfo) {
    QCoreApplication app(qtArgc, qtArgv.data());
    keepNumbersInCLocale();
    std::fputs(formatMachineInfo(readMachineFacts(machine)).c_str(), stdout);
    return 0;
  }
  if (cl.sensors) {
    QCoreApplication app(qtArgc, qtArgv.data());
    keepNumbersInCLocale();
    std::fputs(formatSensors(machine).c_str(), stdout);
    return 0;
  }

  if (cl.snapshot) Snapshot::prepareEnvironment();
  QApplication app(qtArgc, qtArgv.data());
  keepNumbersInCLocale();
  ApplicationIdentity::apply();
  // Every model exists before the first window is shown.
  GeneralModel& model = GeneralModel::shared();
  if (cl.snapshot) {
    return Snapshot::run(model, UserDefaults::standard(), machine,
                         {QString::fromStdString(*cl.snapshot), cl.samples, cl.dark});
  }
  AppDelegate delegate(app, model);
  quitOnTerminationSignals(app);

  // A hand edit of the settings file shows at once, as a change from the settings window does.
  UserDefaults::standard().watchForOutsideEdits();
  DesktopAppearance appearance(QDBusConnection::sessionBus());
  MainWindow window(model, UserDefaults::standard());
  window.show();
  return app.exec();
}
