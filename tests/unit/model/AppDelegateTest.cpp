// The application quits when its last window closes, and the termination step runs on the way
// out whatever asked for the quit.
#include "app/model/AppDelegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

QApplication& guiApp() {
  static int argc = 1;
  static char name[] = "app-delegate-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Runs the event loop until it quits; a stuck loop ends with 99 after a few seconds.
int runLoop() {
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
  return QCoreApplication::exec();
}

TEST(AppDelegate, ClosingTheLastWindowQuitsAndTerminates) {
  QApplication& app = guiApp();
  QGuiApplication::setQuitOnLastWindowClosed(false);
  int terminations = 0;
  int openWhenTerminated = -1;
  QWidget first;
  QWidget second;
  AppDelegate delegate(app, [&] {
    ++terminations;
    openWhenTerminated = int(first.isVisible()) + int(second.isVisible());
  });
  EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
  first.show();
  second.show();
  QTimer::singleShot(0, &first, &QWidget::close);
  QTimer::singleShot(50, &second, &QWidget::close);
  EXPECT_EQ(runLoop(), 0);
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(openWhenTerminated, 0);  // not after the first window alone
}

TEST(AppDelegate, AQuitFromElsewhereAlsoTerminates) {
  QApplication& app = guiApp();
  int terminations = 0;
  AppDelegate delegate(app, [&] { ++terminations; });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  EXPECT_EQ(runLoop(), 0);
  EXPECT_EQ(terminations, 1);
}

}  // namespace
