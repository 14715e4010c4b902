#include "app/model/AppDelegate.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "app/core/Dispatch.h"
#include "app/model/GeneralModel.h"

AppDelegate::AppDelegate(QCoreApplication& app, std::function<void()> willTerminate,
                         QObject* parent)
    : QObject(parent), willTerminate_(std::move(willTerminate)) {
  // Only a window system has a last window; a headless run quits when told to.
  if (qobject_cast<QGuiApplication*>(&app)) QGuiApplication::setQuitOnLastWindowClosed(true);
  connect(&app, &QCoreApplication::aboutToQuit, this, [this] {
    if (willTerminate_) willTerminate_();
  });
}

AppDelegate::AppDelegate(QCoreApplication& app, GeneralModel& model, QObject* parent)
    : AppDelegate(
          app, [&model] { applicationWillTerminate(model); }, parent) {
  dispatch::mainAsync(this, [&model] { model.logfileModel().recoverLeftovers(); });
}

void AppDelegate::applicationWillTerminate(GeneralModel& model) {
  model.logfileModel().writeBeforeQuit();
  model.xpcmanager().client().sendCloseHelper();
}
