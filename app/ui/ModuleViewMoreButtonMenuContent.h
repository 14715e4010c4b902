// The more button's menu: seventeen rows (updates, helper removal, the log switch, settings,
// links, quit), rebuilt from the models each time the menu opens, so the enabled state of
// "Uninstall Helper" and the logging checkbox are never stale.
//
// Threads: main thread only.
#pragma once

#include <QList>
#include <QObject>

#include <functional>

#include "app/ui/MenuItem.h"

class GeneralModel;
class QMenu;

class ModuleViewMoreButtonMenuContent : public QObject {
  Q_OBJECT

 public:
  // What the rows call besides the root model: opening the settings window and quitting.
  struct Commands {
    std::function<void()> showSettings;
    std::function<void()> quit;
  };

  // Fills `menu` now and again every time it is about to show.
  ModuleViewMoreButtonMenuContent(GeneralModel& model, Commands commands, QMenu* menu);

  // The rows as they read at this moment.
  static QList<MenuItem> rows(GeneralModel& model, const Commands& commands);
  // "Settings..." where the platform stands for macOS 13 or later, else "Preferences...".
  static QString settingsTitle(bool isOS13OrLater);

  QMenu* menu() const { return menu_; }
  // Clears the menu and adds one entry per row.
  void rebuild();

 private:
  GeneralModel& model_;
  Commands commands_;
  QMenu* menu_;
};
