// The machine's facts as the usage request describes them.
#include <QGuiApplication>
#include <QScreen>
#include <QSysInfo>

#include "app/metrics/sysinfo/SGSystemInfo.h"
#include "app/telemetry/MatomoTracker.h"

namespace telemetry {

MatomoTracker::Sources MatomoTracker::Sources::of(platform::Platform& platform) {
  Sources s;
  s.now = [] { return QDateTime::currentDateTime(); };
  s.hardwareModel = [&platform] {
    return QString::fromStdString(SGSystemInfo::machineModel(platform.sysctl()));
  };
  s.osVersion = [&platform] {
    // A platform that stands for a Mac answers with that system's version; the real machine
    // with its distribution's name and the kernel it runs.
    const platform::OSVersion v = platform.osVersion();
    if (v != platform::OSVersion{})
      return QStringLiteral("Version %1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
    return QStringLiteral("%1, kernel %2")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion());
  };
  s.screens = [] {
    Screens screens;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return screens;
    screens.count = static_cast<int>(QGuiApplication::screens().size());
    if (const QScreen* main = QGuiApplication::primaryScreen()) {
      screens.width = main->size().width();
      screens.height = main->size().height();
      screens.scale = main->devicePixelRatio();
    }
    return screens;
  };
  return s;
}

}  // namespace telemetry
