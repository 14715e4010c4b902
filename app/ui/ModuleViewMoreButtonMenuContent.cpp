#include "app/ui/ModuleViewMoreButtonMenuContent.h"

#include <QMenu>
#include <QUuid>

#include "app/model/GeneralModel.h"

ModuleViewMoreButtonMenuContent::ModuleViewMoreButtonMenuContent(GeneralModel& model,
                                                                 Commands commands, QMenu* menu)
    : QObject(menu), model_(model), commands_(std::move(commands)), menu_(menu) {
  connect(menu_, &QMenu::aboutToShow, this, &ModuleViewMoreButtonMenuContent::rebuild);
  // The rows also follow the models while the menu is closed, so what an accessibility client
  // reads from the menu is current. Queued: the checkbox's own toggle announces a change of the
  // log recorder, and its action must outlive that signal.
  connect(&model_.modelMoreButton(), &ModuleModelMoreButton::changed, this,
          &ModuleViewMoreButtonMenuContent::rebuild, Qt::QueuedConnection);
  connect(&model_.logfileModel(), &LogFileModel::changed, this,
          &ModuleViewMoreButtonMenuContent::rebuild, Qt::QueuedConnection);
  rebuild();
}

QString ModuleViewMoreButtonMenuContent::settingsTitle(bool isOS13OrLater) {
  return isOS13OrLater ? QStringLiteral("Settings...") : QStringLiteral("Preferences...");
}

QList<MenuItem> ModuleViewMoreButtonMenuContent::rows(GeneralModel& model,
                                                      const Commands& commands) {
  auto command = [](QString title, std::function<void()> action, bool isDisabled = false) {
    return MenuItem{QUuid::createUuid().toString(QUuid::WithoutBraces), -1, std::move(title),
                    std::move(action), isDisabled};
  };
  auto separator = [&] { return command(MenuItem::kSeparator, {}); };
  MenuItem logToFile = command(QStringLiteral("Log to file"), {});
  logToFile.isChecked = 0;
  helperlink::XPCManager& manager = model.xpcmanager();
  return {
      command(QStringLiteral("Check for Update"), [&model] { model.sparkle().checkForUpdates(); }),
      command(
          QStringLiteral("Uninstall Helper"), [&manager] { manager.uninstallHelper(); },
          !manager.isAuthorized()),
      separator(),
      logToFile,
      command(settingsTitle(model.isOS13OrLater()), commands.showSettings),
      separator(),
      command(QStringLiteral("Try Trayline..."), &GeneralModel::openOtherProductPage),
      command(QStringLiteral("Paypal Tip 5 Euros"), &GeneralModel::donate5),
      command(QStringLiteral("Paypal Tip 10 Euros"), &GeneralModel::donate10),
      command(QStringLiteral("Paypal Tip 15 Euros"), &GeneralModel::donate15),
      command(QStringLiteral("Paypal Tip 20 Euros"), &GeneralModel::donate20),
      separator(),
      command(QStringLiteral("Follow on Twitter"), &GeneralModel::followOnTwitter),
      command(QStringLiteral("Follow on Mastodon"), &GeneralModel::followOnMastodon),
      command(QStringLiteral("Contact Developer"), &GeneralModel::contactDeveloper),
      separator(),
      command(QStringLiteral("Quit Ferrolux"), commands.quit),
  };
}

void ModuleViewMoreButtonMenuContent::rebuild() {
  menu_->clear();
  LogFileModel& log = model_.logfileModel();
  for (const MenuItem& row : rows(model_, commands_)) {
    if (row.isSeparator()) {
      menu_->addSeparator();
      continue;
    }
    // Titles are shown as they stand, never looked up for translation.
    QAction* action = menu_->addAction(row.title);
    if (row.isCommand()) {
      action->setEnabled(!row.isDisabled);
      if (row.action) connect(action, &QAction::triggered, this, [run = row.action] { run(); });
      continue;
    }
    action->setCheckable(true);
    action->setChecked(log.isLogEnabled());
    connect(action, &QAction::toggled, &log, [&log](bool on) { log.setIsLogEnabled(on); });
  }
}
