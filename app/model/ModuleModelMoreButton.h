// The more-button menu's link to the helper's state. It stores nothing: each change it announces
// makes the menu rebuild its rows, which read the manager's flags afresh ("Uninstall Helper" is
// enabled only while the helper is authorized).
//
// Threads: created and announced on the main thread; refresh() may be called from any thread.
#pragma once

#include <QObject>

#include <memory>

#include "app/helperlink/Refreshable.h"

class ModuleModelMoreButton : public QObject,
                              public helperlink::Refreshable,
                              public std::enable_shared_from_this<ModuleModelMoreButton> {
  Q_OBJECT

 public:
  // Held through a shared pointer, since the helper manager keeps it weakly.
  static std::shared_ptr<ModuleModelMoreButton> create();

  // Schedules one changed() on the main loop, unless the model is gone by then.
  void refresh() override;

 signals:
  void changed();

 private:
  ModuleModelMoreButton() = default;
};
