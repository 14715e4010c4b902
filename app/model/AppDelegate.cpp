#include "app/model/AppDelegate.h"

#include <QCoreApplication>
#include <QGuiApplication>

AppDelegate::AppDelegate(QCoreApplication& app, std::function<void()> willTerminate,
                         QObject* parent)
    : QObject(parent), willTerminate_(std::move(willTerminate)) {
  // Only a window system has a last window; a headless run quits when told to.
  if (qobject_cast<QGuiApplication*>(&app)) QGuiApplication::setQuitOnLastWindowClosed(true);
  connect(&app, &QCoreApplication::aboutToQuit, this, [this] {
    if (willTerminate_) willTerminate_();
  });
}
