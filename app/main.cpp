// The Ferrolux monitor: chooses the platform once, then prints the machine's facts or runs the
// application: the root model, the application delegate and the window.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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
#include "app/core/ExitStatus.h"
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

namespace {

// Prints `text` on standard output and gives the exit status: a listing that did not reach its
// file (a full disk, a closed descriptor) must not end as if it had.
int printOut(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  std::fprintf(stderr, "ferrolux: could not write to standard output: %s\n", std::strerror(errno));
  return exitstatus::kOutputError;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine cl = CommandLine::parse(std::vector<std::string>(argv, argv + argc));
  const std::string program = argc > 0 ? argv[0] : "ferrolux";
  if (cl.help) {
    return printOut(CommandLine::usage(program));
  }
  if (!cl.error.empty()) {
    std::fprintf(stderr, "ferrolux: %s\n%s", cl.error.c_str(), CommandLine::usage(program).c_str());
    return exitstatus::kUsage;
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
      return exitstatus::kUsage;
    }
    int plotArgc = 1;
    char* plotArgv[] = {argv[0], nullptr};
    return plot::runPlot(request, plotArgc, plotArgv);
  }

  platform::CreateResult chosen =
      platform::create(cl.platform.value_or(platform::specFromEnvironment()));
  if (!chosen.platform) {
    std::fprintf(stderr, "ferrolux: %s\n", chosen.error.c_str());
    return exitstatus::kNoPlatform;
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
    return printOut(formatMachineInfo(readMachineFacts(machine)));
  }
  if (cl.sensors) {
    QCoreApplication app(qtArgc, qtArgv.data());
    keepNumbersInCLocale();
    return printOut(formatSensors(machine));
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
