// The application's behaviour at its two ends: it quits when its last window closes, and on the
// way out it runs the termination step (telling the helper to close). Qt neither groups
// top-level windows into tabs nor gives the application a default menu bar to trim, so a
// finished launch needs nothing from it.
#pragma once

#include <QObject>

#include <functional>

class QCoreApplication;

class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // Takes effect at once on `app`. `willTerminate` runs on the main thread when the event loop
  // is about to end, however the quit was asked for (last window closed, the menu's Quit,
  // a session ending).
  AppDelegate(QCoreApplication& app, std::function<void()> willTerminate,
              QObject* parent = nullptr);

 private:
  std::function<void()> willTerminate_;
};
