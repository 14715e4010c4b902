// The Ferrolux monitor: chooses the platform once, then prints the machine's facts or runs the
// application: the root model, the application delegate and the window.
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "app/CommandLine.h"
#include "app/MachineInfo.h"
#include "app/QuitOnSignal.h"
#include "app/export/ServeCommand.h"
#include "app/model/AppDelegate.h"
#include "app/model/ContentModel.h"
#include "app/model/GeneralModel.h"
#include "platform/Platform.h"

namespace {

// Qt adopts the user's locale for the C library too. libplist reads and writes reals with the C
// library, so a decimal comma would turn 1.5 W into 1; numbers stay in the C locale while Qt
// keeps the user's for everything it shows.
void keepNumbersInCLocale() {
  std::setlocale(LC_NUMERIC, "C");
}

// What the window says about the helper, until the monitor window replaces this placeholder.
QString helperStateText(GeneralModel& model) {
  if (model.processorType() != "ARM")
    return QStringLiteral(
        "This app is only for Apple Silicon Cores.\nIt is not working on Intel "
        "Cores");
  helperlink::XPCManager& manager = model.xpcmanager();
  if (manager.isAuthorized()) return QStringLiteral("Sampling");
  if (manager.isUpdateNeeded())
    return QStringLiteral("The Ferrolux Powermetrics Helper need being updated");
  return QStringLiteral("Before to start you need to install the Ferrolux Powermetrics Helper");
}

}  // namespace

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

  if (cl.command == "serve") return fxexport::runServe(cl.listen, machine, qtArgc, qtArgv.data());

  if (cl.machineInfo) {
    QCoreApplication app(qtArgc, qtArgv.data());
    keepNumbersInCLocale();
    std::fputs(formatMachineInfo(readMachineFacts(machine)).c_str(), stdout);
    return 0;
  }

  QApplication app(qtArgc, qtArgv.data());
  keepNumbersInCLocale();
  // Every model exists before the first window is shown.
  GeneralModel& model = GeneralModel::shared();
  AppDelegate delegate(app, [&model] { model.xpcmanager().client().sendCloseHelper(); });
  quitOnTerminationSignals(app);

  const MachineFacts facts = machineFacts(machine, model.modelMainTitle());
  const QString title = QString::fromStdString(chipLine(facts) + "\n" + gpuLine(facts));
  // A placeholder until the monitor window lands: the title lines, the helper's state and the
  // prompt's button.
  QWidget window;
  window.setWindowTitle(QStringLiteral("Ferrolux"));
  // Neither zoomed nor full screen: the window keeps its one size.
  window.setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(24, 24, 24, 24);
  auto* text = new QLabel(&window);
  auto* button = new QPushButton(&window);
  layout->addWidget(text);
  layout->addWidget(button, 0, Qt::AlignHCenter);
  helperlink::XPCManager& manager = model.xpcmanager();
  // Pressing "Update Helper" hides it until the manager reports the new state, so it cannot be
  // pressed twice while the update runs.
  bool hideUpdateButton = false;
  QObject::connect(button, &QPushButton::clicked, &window, [&] {
    if (manager.isUpdateNeeded()) {
      hideUpdateButton = true;
      button->hide();
      manager.updateHelper();
    } else {
      manager.installHelper();
    }
  });
  const std::shared_ptr<ContentModel> content = ContentModel::create(model);
  auto redraw = [&] {
    text->setText(title + "\n\n" + helperStateText(model));
    const bool prompt = model.processorType() == "ARM" && !manager.isAuthorized();
    const bool update = manager.isUpdateNeeded();
    if (!update) hideUpdateButton = false;
    button->setText(update ? QStringLiteral("Update Helper") : QStringLiteral("Install Helper"));
    button->setVisible(prompt && !(update && hideUpdateButton));
  };
  QObject::connect(content.get(), &ContentModel::changed, &window, redraw);
  redraw();
  window.show();
  return app.exec();
}
