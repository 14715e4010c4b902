// A QCoreApplication shared by every test of a program, and a bounded event pump.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace fxtest {

inline QCoreApplication* coreApp() {
  static int argc = 1;
  static char name[] = "ferrolux-tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                              : new QCoreApplication(argc, argv);
  return app;
}

// Runs the main event loop until `done` holds; the deadline only stops a broken test from
// hanging, it never decides a result on a healthy machine.
inline bool pumpUntil(const std::function<bool()>& done, int deadlineMs = 10000) {
  coreApp();
  QDeadlineTimer deadline(deadlineMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs whatever is already queued on the main loop (several passes, as work may queue work).
inline void drainEvents() {
  coreApp();
  for (int i = 0; i < 5; ++i)
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace fxtest
