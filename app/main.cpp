// The Ferrolux monitor: chooses the platform once, then prints the machine's facts or opens the
// window.
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>

#include "app/CommandLine.h"
#include "app/MachineInfo.h"
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

  if (cl.machineInfo) {
    QCoreApplication app(qtArgc, qtArgv.data());
    std::fputs(formatMachineInfo(readMachineFacts(machine)).c_str(), stdout);
    return 0;
  }

  QApplication app(qtArgc, qtArgv.data());
  const MachineFacts facts = readMachineFacts(machine);
  // A placeholder until the monitor window lands: the title lines only.
  QLabel window(QString::fromStdString(chipLine(facts) + "\n" + gpuLine(facts)));
  window.setWindowTitle(QStringLiteral("Ferrolux"));
  window.setMargin(24);
  window.show();
  return app.exec();
}
