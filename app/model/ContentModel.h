// The main window's link to the helper's state: on creation it runs the start-up check of the
// helper, and afterwards it announces every change of the manager's flags so the window redraws.
// The window reads the flags themselves from the helper manager.
//
// Threads: created and announced on the main thread; refresh() may be called from any thread.
#pragma once

#include <QObject>

#include <memory>

#include "app/helperlink/Refreshable.h"

class GeneralModel;

class ContentModel : public QObject,
                     public helperlink::Refreshable,
                     public std::enable_shared_from_this<ContentModel> {
  Q_OBJECT

 public:
  // Creates the model and runs the start-up check: on a processor the platform cannot sample,
  // nothing more happens and the helper is never contacted. Otherwise the model becomes the
  // manager's content delegate and the manager asks the helper whether it answers; a current
  // helper makes the manager authorized, which starts sampling without any user action.
  static std::shared_ptr<ContentModel> create(GeneralModel& model);

  // Schedules one changed() on the main loop, unless the model is gone by then.
  void refresh() override;

 signals:
  void changed();

 private:
  ContentModel() = default;
  void checkHelper(GeneralModel& model);
};
