// The application's behaviour at its two ends: it quits when its last window closes, and on the
// way out it runs the termination step (writing a running log recording, then telling the
// helper to close). At launch it saves log recordings that an earlier run left behind. Qt neither
// groups top-level windows into tabs nor gives the application a default menu bar to trim, so a
// finished launch needs nothing from it.
#pragma once

#include <QObject>

#include <functional>

class GeneralModel;
class QCoreApplication;

class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // Takes effect at once on `app`. `willTerminate` runs on the main thread when the event loop
  // is about to end, however the quit was asked for (last window closed, the menu's Quit,
  // a session ending).
  AppDelegate(QCoreApplication& app, std::function<void()> willTerminate,
              QObject* parent = nullptr);
  // The application's own: recovers leftover recordings in the first turn of the event loop,
  // and terminates with applicationWillTerminate.
  AppDelegate(QCoreApplication& app, GeneralModel& model, QObject* parent = nullptr);

  // The recording first, so its rows are on disk before anything can fail; then closeHelper.
  static void applicationWillTerminate(GeneralModel& model);

 private:
  std::function<void()> willTerminate_;
};
